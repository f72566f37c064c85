// SPDX-License-Identifier: MIT
// The POSIX side of the seam: POSIX and BSD calls only, as macOS and the
// BSDs have them (the one Linux call is in platform_affinity.cc).
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

#include "platform/platform.h"

namespace trackmeter {

const char kPathSeparator = '/';

unsigned CpusInAffinityMask();  // platform_affinity.cc; 0 where unknown

namespace {
Error ErrorOf(int e) {
  return e == 0 ? Error::kNone : e == ENOENT || e == ENOTDIR ? Error::kNotFound
       : e == EEXIST ? Error::kExists : e == ENOMEM ? Error::kNoMemory : e == EPIPE ? Error::kClosed
       : e == EMFILE || e == ENFILE ? Error::kNoDescriptors : Error::kOther;
}

Error Done(bool ok) { return ok ? Error::kNone : ErrorOf(errno); }

Error WriteFully(int fd, const void* data, std::size_t size) {
  for (const char* p = static_cast<const char*>(data); size > 0;) {
    const ssize_t n = write(fd, p, size);
    if (n > 0) {
      p += n;
      size -= static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd room = {fd, POLLOUT, 0};  // a pipe set not to block, full: wait for room
      poll(&room, 1, -1);
    } else if (n == 0 || errno != EINTR) {
      return n < 0 ? ErrorOf(errno) : Error::kOther;
    }
  }
  return Error::kNone;
}

// The entry's kind from the listing where the file system gives it, else
// from stat; a link is followed. An entry that cannot be asked about (gone,
// no permission) is left as kOther or kMissing.
Error Describe(const std::string& path, const dirent& e, RawEntry* entry) {
#ifdef DT_UNKNOWN
  entry->link = e.d_type == DT_LNK;
  entry->kind = e.d_type == DT_DIR ? Kind::kDirectory : e.d_type == DT_REG ? Kind::kFile : Kind::kOther;
  if (e.d_type != DT_UNKNOWN && e.d_type != DT_LNK) return Error::kNone;
#endif
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno == ENOMEM ? Error::kNoMemory : Error::kNone;
  entry->link = S_ISLNK(st.st_mode);
  entry->kind = Kind::kMissing;
  if (entry->link && stat(path.c_str(), &st) != 0) return errno == ENOMEM ? Error::kNoMemory : Error::kNone;
  entry->kind = S_ISREG(st.st_mode) ? Kind::kFile : S_ISDIR(st.st_mode) ? Kind::kDirectory : Kind::kOther;
  return Error::kNone;
}

// The signals that end a run from outside: Ctrl-C, kill, a closed terminal.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The file an ending signal removes before it ends the process as the
// signal would have; the handler only reads it, and sees the old name or
// the new, both valid. While none is set, the signals keep the action the
// process was started with (an ignored SIGHUP stays ignored).
char* volatile g_armed = nullptr;
struct sigaction g_previous[std::size(kEndingSignals)];

extern "C" void RemoveAndEnd(int sig) {
  if (g_armed != nullptr) unlink(g_armed);
  signal(sig, SIG_DFL);
  raise(sig);  // delivered with the default action once the handler returns
}

extern "C" void* RunThread(void* body) {
  static_cast<ThreadBody*>(body)->Run();
  return nullptr;
}

// A file by its descriptor, as the Windows side keeps one by its handle;
// read with pread, which leaves no shared offset behind.
class PosixFile final : public InputFile, public OutputFile {
 public:
  explicit PosixFile(int fd = -1, uint64_t size = 0) : fd_(fd), size_(size) {}
  ~PosixFile() override { close(fd_); }  // -1 if never adopted or closed: no harm
  void Adopt(int fd) { fd_ = fd; }
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
  Error Write(const void* data, std::size_t size) override { return WriteFully(fd_, data, size); }
  Error Flush() override { return Done(fsync(fd_) == 0); }
  Error Close() override { return Done(close(std::exchange(fd_, -1)) == 0); }
  Error SetOwner(uint32_t owner, uint32_t group) override {
    return Done(fchown(fd_, static_cast<uid_t>(owner), static_cast<gid_t>(group)) == 0);
  }
  Error SetMode(uint32_t mode) override { return Done(fchmod(fd_, static_cast<mode_t>(mode)) == 0); }

 private:
  int fd_;
  uint64_t size_;
};

rlim_t Limit(int resource) {
  struct rlimit limit;
  return getrlimit(resource, &limit) == 0 ? limit.rlim_cur : RLIM_INFINITY;
}

class PosixSystem final : public System {
 public:
  Error ListDirectory(const std::string& path, std::vector<RawEntry>* entries) override {
    const std::string dir = path.empty() ? "." : path;
    DIR* const d = opendir(dir.c_str());
    if (d == nullptr) return ErrorOf(errno);
    Error error = Error::kNone;
    for (errno = 0; const dirent* e = readdir(d); errno = 0) {
      RawEntry entry{e->d_name, Kind::kOther, false};
      if ((error = Describe(dir + "/" + entry.name, *e, &entry)) != Error::kNone) break;
      entries->push_back(std::move(entry));
    }
    if (error == Error::kNone) error = ErrorOf(errno);
    closedir(d);
    return error;
  }

  Error EnterDirectory(const std::string& path) override { return Done(chdir(path.c_str()) == 0); }

  Error CurrentDirectory(std::string* path) override {
    std::vector<char> buf(4096);
    while (getcwd(buf.data(), buf.size()) == nullptr) {
      if (errno != ERANGE) return ErrorOf(errno);
      buf.resize(buf.size() * 2);
    }
    *path = buf.data();
    return Error::kNone;
  }

  Error IdentifyDirectory(const std::string& path, DirectoryId* id) override {
    struct stat st;
    if (stat(path.empty() ? "." : path.c_str(), &st) != 0) return ErrorOf(errno);
    *id = DirectoryId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return Error::kNone;
  }

  Error OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) override {
    // The kind first: opening a FIFO would release a writer blocked on it.
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return ErrorOf(errno);
    if (!S_ISREG(st.st_mode)) return Error::kOther;
    // O_NONBLOCK, and the kind again, in case it changed in between.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return ErrorOf(errno);
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      *file = std::make_unique<PosixFile>(fd, static_cast<uint64_t>(st.st_size));
      return Error::kNone;
    }
    close(fd);
    return Error::kOther;
  }

  Error StatusOf(const std::string& path, FileStatus* status) override {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return ErrorOf(errno);
    *status = FileStatus{S_ISREG(st.st_mode), false, true, static_cast<uint32_t>(st.st_uid),
                         static_cast<uint32_t>(st.st_gid), static_cast<uint32_t>(st.st_mode)};
    // As the effective user, as a plain open would ask.
    if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0) status->writable = true;
    else if (ErrorOf(errno) == Error::kNoMemory) return Error::kNoMemory;
    return Error::kNone;
  }

  Error CreateExclusive(const std::string& path, std::unique_ptr<OutputFile>* file) override {
    auto out = std::make_unique<PosixFile>();  // no allocation may fail once the file exists
    // 0666 less the umask, as a plain create gives.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return ErrorOf(errno);
    out->Adopt(fd);
    *file = std::move(out);
    return Error::kNone;
  }

  // With no other thread running, which the handler could interrupt.
  Error RemoveOnEnd(const std::string& path) override {
    char* const name = path.empty() ? nullptr : strdup(path.c_str());
    if (!path.empty() && name == nullptr) return Error::kNoMemory;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      if (name != nullptr && g_armed == nullptr) {
        struct sigaction remove {};
        remove.sa_handler = RemoveAndEnd;
        sigemptyset(&remove.sa_mask);
        for (int sig : kEndingSignals) sigaddset(&remove.sa_mask, sig);
        sigaction(kEndingSignals[i], nullptr, &g_previous[i]);
        if (g_previous[i].sa_handler != SIG_IGN) sigaction(kEndingSignals[i], &remove, nullptr);
      } else if (name == nullptr && g_armed != nullptr) {
        sigaction(kEndingSignals[i], &g_previous[i], nullptr);
      }
    }
    char* const old = g_armed;
    g_armed = name;
    std::free(old);
    return Error::kNone;
  }

  Error RenameOver(const std::string& from, const std::string& to) override {
    // Until the directory is flushed, a power loss can bring the old file
    // back. It is opened first, so that nothing fails once to is replaced.
    const std::size_t slash = to.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : to.substr(0, slash + 1);
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return ErrorOf(errno);
    const bool renamed = rename(from.c_str(), to.c_str()) == 0;
    const Error error = renamed ? Done(fsync(fd) == 0) : ErrorOf(errno);
    close(fd);
    return error;
  }

  Error Remove(const std::string& path) override { return Done(unlink(path.c_str()) == 0); }
  unsigned long ProcessId() override { return static_cast<unsigned long>(getpid()); }
  unsigned CountCpus() override {
    const unsigned mask = CpusInAffinityMask();
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return mask > 0 ? mask : online > 0 ? static_cast<unsigned>(online) : 1;
  }

  // Looks at the lowest descriptors: it stops as soon as it found most free.
  unsigned FreeDescriptors(unsigned most) override {
    const rlim_t limit = std::min<rlim_t>(Limit(RLIMIT_NOFILE), INT_MAX);
    unsigned free = 0;
    for (rlim_t fd = 0; fd < limit && free < most; ++fd)
      if (fcntl(static_cast<int>(fd), F_GETFD) == -1 && errno == EBADF) ++free;
    return free;
  }

  bool MemoryLimited() override {
    return Limit(RLIMIT_AS) != RLIM_INFINITY || Limit(RLIMIT_DATA) != RLIM_INFINITY;
  }
  std::size_t MainStackLimit() override {
    return static_cast<std::size_t>(std::min<rlim_t>(Limit(RLIMIT_STACK), SIZE_MAX));
  }

  Error StartThread(std::size_t stack, ThreadBody* body, ThreadHandle* thread) override {
    static_assert(sizeof(pthread_t) <= sizeof(ThreadHandle), "a thread fits its handle");
    pthread_attr_t attr;
    pthread_t started;
    if (pthread_attr_init(&attr) != 0) return Error::kNoMemory;
    int e = stack > 0 ? pthread_attr_setstacksize(&attr, stack) : 0;
    if (e == 0) e = pthread_create(&started, &attr, RunThread, body);
    pthread_attr_destroy(&attr);
    if (e == 0) std::memcpy(thread, &started, sizeof started);
    return ErrorOf(e);
  }
  void JoinThread(ThreadHandle thread) override {
    pthread_t t;
    std::memcpy(&t, &thread, sizeof t);
    pthread_join(t, nullptr);
  }

  int TerminalColumns(Stream s) override {
    struct winsize size;
    const int fd = s == Stream::kOutput ? 1 : 2;
    return isatty(fd) != 1 ? -1 : ioctl(fd, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
  }
  bool WriteConsole(Stream, std::string_view) override { return false; }  // bytes as they are
};

}  // namespace

System& SystemCalls() {
  static PosixSystem system;
  return system;
}

void PrepareStandardOutput() { signal(SIGPIPE, SIG_IGN); }

Error WriteAll(std::FILE* file, const void* data, std::size_t size) {
  return WriteFully(fileno(file), data, size);
}

std::vector<std::string> CommandLine(int argc, const char* const* argv) { return {argv, argv + argc}; }

}  // namespace trackmeter
