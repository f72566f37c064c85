// SPDX-License-Identifier: MIT
#include "temp_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "ogg_maker.h"

#ifndef TRACKMETER_EMULATOR
#define TRACKMETER_EMULATOR ""
#endif

namespace trackmeter {

namespace {

int RemoveEntry(const char* path, const struct stat* st, int, struct FTW*) {
  if (S_ISDIR(st->st_mode)) {
    chmod(path, 0700);  // a test may have locked it
    return rmdir(path) == 0 ? 0 : 0;
  }
  unlink(path);
  return 0;
}

int UnlockEntry(const char* path, const struct stat* st, int, struct FTW*) {
  if (S_ISDIR(st->st_mode)) chmod(path, 0700);
  return 0;
}

int GiveToNobody(const char* path, const struct stat*, int, struct FTW*) {
  if (lchown(path, 65534, 65534) != 0) return -1;
  return 0;
}

// Reads both pipes to the end without letting either fill up.
void Drain(int out_fd, int err_fd, RunResult* r) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&r->out, &r->err};
  int open_fds = 2;
  char buf[65536];
  while (open_fds > 0) {
    if (poll(fds, 2, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
      }
    }
  }
}

// The command line that starts program: through the emulator if it is one
// this build made, as it is if it is the host's (/bin/rm, say).
std::vector<std::string> CommandLine(const std::string& program,
                                     const std::vector<std::string>& args) {
  std::vector<std::string> line;
  if (program == TRACKMETER_EXE || program == TRACKMETER_LOOKUP_EXE) line = Emulator();
  line.push_back(program);
  line.insert(line.end(), args.begin(), args.end());
  return line;
}

void Exec(const std::vector<std::string>& line) {
  std::vector<char*> argv;
  for (const std::string& a : line) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
}

}  // namespace

const std::vector<std::string>& Emulator() {
  static const std::vector<std::string> words = [] {
    std::vector<std::string> split;
    std::istringstream in(TRACKMETER_EMULATOR);
    for (std::string word; in >> word;) split.push_back(word);
    return split;
  }();
  return words;
}

void ExecBuilt(const std::string& program, const std::vector<std::string>& args) {
  Exec(CommandLine(program, args));
}

TempTree::TempTree() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/trackmeter-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  // Readable for a child that runs as another user.
  chmod(pattern.c_str(), 0755);
  root_ = pattern;
}

TempTree::~TempTree() {
  nftw(root_.c_str(), UnlockEntry, 64, FTW_PHYS);
  nftw(root_.c_str(), RemoveEntry, 64, FTW_PHYS | FTW_DEPTH);
}

std::string TempTree::Path(const std::string& relative) const {
  return relative.empty() ? root_ : root_ + "/" + relative;
}

void TempTree::MakeDir(const std::string& relative) const {
  std::string path = root_;
  std::size_t from = 0;
  while (from <= relative.size()) {
    const std::size_t slash = std::min(relative.find('/', from), relative.size());
    path = root_ + "/" + relative.substr(0, slash);
    mkdir(path.c_str(), 0755);
    from = slash + 1;
  }
}

void TempTree::Write(const std::string& relative, const std::string& bytes) const {
  const std::size_t slash = relative.rfind('/');
  if (slash != std::string::npos) MakeDir(relative.substr(0, slash));
  std::FILE* f = std::fopen(Path(relative).c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot write " + Path(relative));
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

ScopedDirectory::ScopedDirectory(const std::string& dir) {
  char old[4096];
  if (getcwd(old, sizeof old) == nullptr || chdir(dir.c_str()) != 0)
    throw std::runtime_error("cannot enter " + dir);
  old_ = old;
}

ScopedDirectory::~ScopedDirectory() {
  if (chdir(old_.c_str()) != 0) std::abort();
}

std::string ReadBytes(const std::string& path) {
  std::string bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  std::fclose(f);
  return bytes;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, bool as_nobody,
                     const std::function<void()>& in_child, bool err_on_terminal) {
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
  std::string terminal;
  if (err_on_terminal) {  // standard error on a pseudo-terminal, read from its master
    close(err_pipe[0]);
    close(err_pipe[1]);
    err_pipe[0] = posix_openpt(O_RDWR | O_NOCTTY);
    if (err_pipe[0] < 0 || grantpt(err_pipe[0]) != 0 || unlockpt(err_pipe[0]) != 0)
      throw std::runtime_error("no pseudo-terminal");
    terminal = ptsname(err_pipe[0]);
    err_pipe[1] = -1;
  }
  const std::vector<std::string> line = CommandLine(program, args);
  const pid_t pid = fork();
  if (pid == 0) {
    if (!terminal.empty()) err_pipe[1] = open(terminal.c_str(), O_RDWR | O_NOCTTY);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(err_pipe[0]);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    if (as_nobody && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 ||
                      setuid(65534) != 0))
      _exit(125);
    if (in_child) in_child();
    Exec(line);
    _exit(127);
  }
  close(out_pipe[1]);
  if (err_pipe[1] >= 0) close(err_pipe[1]);
  RunResult r;
  Drain(out_pipe[0], err_pipe[0], &r);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

RunResult RunTrackmeter(const std::vector<std::string>& args,
                        const std::string& cwd, bool as_nobody,
                        const std::function<void()>& in_child) {
  return RunProgram(TRACKMETER_EXE, args, cwd, as_nobody, in_child);
}

void ChownToNobody(const std::string& path) {
  if (nftw(path.c_str(), GiveToNobody, 64, FTW_PHYS) != 0)
    throw std::runtime_error("cannot chown " + path);
}

const std::string& Short() {
  static const std::string bytes = EncodeVorbis(1, 8000, 2000);
  return bytes;
}

std::string Header(const std::string& absolute) {
  return "OGG File Duration/Hash Generator V1.0 [Written by Quillon]\n"
         "USAGE: trackmeter [basepath]\n\n"
         "Generating ogg hashs id relative to '" + absolute + "'.\n\n";
}

}  // namespace trackmeter
