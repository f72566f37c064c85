// SPDX-License-Identifier: MIT
// The POSIX side of the platform seam.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "platform/cpus.h"
#include "platform/platform.h"

namespace trackmeter {

const char kPathSeparator = '/';

namespace {

struct Entry {
  std::string name;
  unsigned char type;  // d_type, DT_UNKNOWN where the file system has none
};

// stat, or lstat without follow; false if path cannot be asked about.
bool StatPath(const std::string& path, struct stat* st, bool follow = true) {
  if ((follow ? stat(path.c_str(), st) : lstat(path.c_str(), st)) == 0) return true;
  ThrowIfShortage(errno);
  return false;
}

// What a directory that could not be listed counts as.
Listing FailedListing(int error) {
  ThrowIfShortage(error);
  // Removed, or replaced by a file, while the walk ran: a race, not a fault.
  return error == ENOENT || error == ENOTDIR ? Listing::kNone : Listing::kUnreadable;
}

// Reads the whole directory when the search starts, so that a walk holds no
// descriptor open while it descends: a tree 1,000 folders deep must not run
// into the limit on open files. The walk only ever asks for every entry
// ("dir/*.*"), so the pattern's last component is not looked at.
class PosixDirectorySearch final : public DirectorySearch {
 public:
  Listing Start(const std::string& pattern) override {
    End();
    const std::size_t slash = pattern.rfind('/');
    if (slash == std::string::npos) {
      dir_ = ".";
      prefix_.clear();
    } else {
      dir_ = pattern.substr(0, slash);
      prefix_ = pattern.substr(0, slash + 1);
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir_.c_str()), closedir);
    if (d == nullptr) return FailedListing(errno);
    for (;;) {
      errno = 0;
      const dirent* e = readdir(d.get());
      if (e == nullptr) break;
      entries_.push_back(Entry{e->d_name, e->d_type});
    }
    if (errno != 0) {
      const int error = errno;
      End();
      return FailedListing(error);
    }
    // Byte order, so that a run prints its lines in the same order on every
    // machine whatever order the file system keeps.
    std::sort(entries_.begin(), entries_.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries_.empty() ? Listing::kNone : Listing::kEntries;
  }

  bool Advance() override {
    ++current_;
    return current_ + 1 < entries_.size();
  }

  bool IsDots() const override {
    const std::string& n = Name();
    return n == "." || n == "..";
  }

  bool IsLink() const override {
    switch (entries_[current_].type) {
      case DT_LNK:
        return true;
      case DT_UNKNOWN: {
        struct stat st;
        return StatPath(prefix_ + Name(), &st, false) && S_ISLNK(st.st_mode);
      }
      default:
        return false;
    }
  }

  bool IsDirectory() const override {
    switch (entries_[current_].type) {
      case DT_DIR:
        return true;
      case DT_LNK:
      case DT_UNKNOWN: {
        // Follow links; a broken link is no directory.
        struct stat st;
        return StatPath(prefix_ + Name(), &st) && S_ISDIR(st.st_mode);
      }
      default:
        return false;
    }
  }

  const std::string& Name() const override { return entries_[current_].name; }

  void End() override {
    entries_.clear();
    current_ = static_cast<std::size_t>(-1);
  }

 private:
  std::string dir_;
  std::string prefix_;
  std::vector<Entry> entries_;
  std::size_t current_ = static_cast<std::size_t>(-1);
};

// The signals that end a run from outside: Ctrl-C, kill, a closed terminal.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Holds the ending signals back for as long as it lives, so that the
// handler never sees the temporary file half armed.
class EndingSignalsHeld {
 public:
  EndingSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int sig : kEndingSignals) sigaddset(&held, sig);
    sigprocmask(SIG_BLOCK, &held, &old_);
  }
  ~EndingSignalsHeld() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

// While a temporary table exists, an ending signal removes it and then ends
// the process as the signal would have, so no stray file is left in the
// tree to be committed with it. Outside that window the signals keep
// whatever action the process was started with (an ignored SIGHUP stays
// ignored).
char* g_temporary = nullptr;  // built before arming: the handler only reads it
volatile sig_atomic_t g_temporary_armed = 0;
struct sigaction g_previous_actions[std::size(kEndingSignals)];

extern "C" void RemoveTemporaryAndEnd(int sig) {
  if (g_temporary_armed) unlink(g_temporary);
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(sig, &fallback, nullptr);
  raise(sig);  // delivered with the default action once the handler returns
}

// Call with the ending signals held; takes copy, the file's name from strdup.
// One temporary file at a time: a newer one takes the place of the one
// before.
void ArmTemporaryRemoval(char* copy) {
  if (g_temporary == nullptr) {
    struct sigaction remove {};
    remove.sa_handler = RemoveTemporaryAndEnd;
    sigemptyset(&remove.sa_mask);
    for (int sig : kEndingSignals) sigaddset(&remove.sa_mask, sig);
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      sigaction(kEndingSignals[i], nullptr, &g_previous_actions[i]);
      if (g_previous_actions[i].sa_handler != SIG_IGN)
        sigaction(kEndingSignals[i], &remove, nullptr);
    }
  }
  std::free(g_temporary);
  g_temporary = copy;
  g_temporary_armed = 1;
}

// Ends the window once the temporary file is renamed or removed.
void DisarmTemporaryRemoval(const std::string& path) {
  if (g_temporary == nullptr || path != g_temporary) return;
  const EndingSignalsHeld held;
  g_temporary_armed = 0;
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
    sigaction(kEndingSignals[i], &g_previous_actions[i], nullptr);
  std::free(g_temporary);
  g_temporary = nullptr;
}

// path with "." and ".." folded by name, links left as they are, as the
// Windows build's _fullpath does.
std::string FoldDotsByName(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  while (from <= path.size()) {
    const std::size_t slash = std::min(path.find('/', from), path.size());
    const std::string part = path.substr(from, slash - from);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    from = slash + 1;
  }
  std::string folded = path.empty() || path[0] != '/' ? "." : "";
  for (const std::string& part : parts) folded += "/" + part;
  if (folded.empty()) return "/";
  return folded.size() > 2 && folded[0] == '.' ? folded.substr(2) : folded;
}

class PosixOutputFile final : public OutputFile {
 public:
  ~PosixOutputFile() override {
    if (fd_ >= 0) close(fd_);
  }
  void Adopt(int fd) { fd_ = fd; }

  bool Write(const void* data, std::size_t size) override {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
      const ssize_t n = write(fd_, p, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      p += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  bool Flush() override { return fsync(fd_) == 0; }

  bool Close() override {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_ = -1;
};

// A replaced table keeps its owner and group as far as this process may set
// them: run as root over a user's tree, the user must still be able to
// replace it next time. Of its mode it keeps the permission bits only, never
// setuid, setgid or sticky.
void KeepOwnerAndPermissions(int fd, const struct stat& old) {
  if (fchown(fd, old.st_uid, old.st_gid) != 0 &&
      fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    // Neither: the table is this user's, in this user's group.
  }
  fchmod(fd, old.st_mode & 0777);
}

// Whether this process can be refused memory it asks for: a limit on its
// address space or data, or a kernel that never overcommits. Otherwise only
// requests larger than the machine's memory are refused.
bool AskWhetherMemoryMayBeRefused() {
  for (const auto resource : {RLIMIT_AS, RLIMIT_DATA}) {
    struct rlimit limit;
    if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) return true;
  }
  char mode = '0';
  const int fd = open("/proc/sys/vm/overcommit_memory", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    if (read(fd, &mode, 1) != 1) mode = '0';
    close(fd);
  }
  return mode == '2';
}

// A regular file read with pread, which leaves no shared offset behind.
class PosixInputFile final : public InputFile {
 public:
  PosixInputFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~PosixInputFile() override { close(fd_); }

  uint64_t Size() const override { return size_; }

  int64_t ReadAt(uint64_t offset, void* buffer, std::size_t size) override {
    unsigned char* const out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -1;
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return static_cast<int64_t>(done);
  }

 private:
  int fd_;
  uint64_t size_;
};

class PosixPlatform final : public Platform {
 public:
  PosixPlatform() : memory_may_be_refused_(AskWhetherMemoryMayBeRefused()) {}

  std::unique_ptr<DirectorySearch> NewSearch() override {
    return std::make_unique<PosixDirectorySearch>();
  }

  bool EnterDirectory(const std::string& path) override {
    const std::string from = !path.empty() && path[0] == '/' ? "" : CurrentDirectory();
    if (chdir(path.c_str()) != 0) {
      ThrowIfShortage(errno);
      return false;
    }
    entered_ = FoldDotsByName(from + "/" + path);
    entered_id_ = IdentifyDirectory("");
    return true;
  }

  // The path as it was entered, not as getcwd would resolve its links;
  // getcwd only for the directory the process started in, or when someone
  // changed the directory behind this platform's back.
  std::string CurrentDirectory() override {
    if (!entered_.empty() && entered_id_ && IdentifyDirectory("") == entered_id_)
      return entered_;
    std::vector<char> buf(4096);
    while (getcwd(buf.data(), buf.size()) == nullptr) {
      if (errno != ERANGE) return ".";
      buf.resize(buf.size() * 2);
    }
    return buf.data();
  }

  std::optional<DirectoryId> IdentifyDirectory(
      const std::string& path) override {
    struct stat st;
    if (!StatPath(path.empty() ? "." : path, &st)) return std::nullopt;
    return DirectoryId{static_cast<uint64_t>(st.st_dev),
                       static_cast<uint64_t>(st.st_ino)};
  }

  // The size is mapped, never touched: it counts against the limits as
  // the library's allocations would, and costs no memory.
  bool MemoryMayBeRefused() override { return memory_may_be_refused_; }

  bool MemoryAvailable(std::size_t bytes) override {
    if (!memory_may_be_refused_) return true;
    void* const p =
        mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return false;
    munmap(p, bytes);
    return true;
  }

  std::unique_ptr<InputFile> OpenForReading(const std::string& path) override {
    // The kind first: opening a FIFO would release a writer blocked on it,
    // and opening a device can do things of its own.
    struct stat before;
    if (!StatPath(path, &before) || !S_ISREG(before.st_mode)) return nullptr;
    // Again on the opened file, in case it changed in between; O_NONBLOCK so
    // that such a FIFO cannot stall the run.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
      ThrowIfShortage(errno);
      return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      return nullptr;
    }
    return std::make_unique<PosixInputFile>(fd, static_cast<uint64_t>(st.st_size));
  }

  std::unique_ptr<OutputFile> CreateTemporary(
      const std::string& path, std::string* temp_path) override {
    // lstat: a link at path is replaced, never followed, so its target
    // (perhaps outside the tree) is neither written nor asked for its mode.
    struct stat old;
    const bool replaces = StatPath(path, &old, false) && S_ISREG(old.st_mode);
    // A table the user may not write is protected on purpose; the rename
    // would not ask, so ask as a plain create would (as the effective user).
    if (replaces && faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
      ThrowIfShortage(errno);
      return nullptr;
    }
    // All the memory the file needs is had before it exists, so that a
    // shortage never leaves it behind.
    auto out = std::make_unique<PosixOutputFile>();
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = path + ".tmp" + std::to_string(getpid()) + "-" +
                         std::to_string(attempt);
      char* const armed_name = strdup(name.c_str());
      if (armed_name == nullptr) ThrowShortage(Resource::kMemory);
      const EndingSignalsHeld held;
      // 0666 less the umask, as a plain create would give.
      const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0) {
        const int error = errno;
        std::free(armed_name);
        if (error == EEXIST) continue;
        ThrowIfShortage(error);
        return nullptr;
      }
      ArmTemporaryRemoval(armed_name);
      out->Adopt(fd);
      if (replaces) KeepOwnerAndPermissions(fd, old);
      *temp_path = std::move(name);
      return out;
    }
    return nullptr;
  }

  bool ReplaceFile(const std::string& from, const std::string& to) override {
    // Until the directory is flushed, a power loss can bring the old table
    // back although the run said it wrote the new one. It is opened first:
    // once the table stands, nothing may fail for want of memory or
    // descriptors.
    const std::size_t slash = to.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : to.substr(0, slash + 1);
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      ThrowIfShortage(errno);
      return false;
    }
    if (rename(from.c_str(), to.c_str()) != 0) {
      close(fd);
      return false;
    }
    DisarmTemporaryRemoval(from);
    const bool flushed = fsync(fd) == 0;
    close(fd);
    return flushed;
  }

  void RemoveFile(const std::string& path) override {
    unlink(path.c_str());
    DisarmTemporaryRemoval(path);
  }

 private:
  const bool memory_may_be_refused_;
  std::string entered_;  // the base directory as entered, "" before
  std::optional<DirectoryId> entered_id_;
};

}  // namespace

Platform& SystemPlatform() {
  static PosixPlatform platform;
  return platform;
}

void PrepareStandardOutput() { signal(SIGPIPE, SIG_IGN); }

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

unsigned AvailableCpus() {
  return UsableCpus(CpusInAffinityMask(), sysconf(_SC_NPROCESSORS_ONLN), CgroupCpuQuota());
}

}  // namespace trackmeter
