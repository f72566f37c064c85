// The POSIX side of the platform seam.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/platform.h"

namespace trackmeter {

const char kPathSeparator = '/';

namespace {

struct Entry {
  std::string name;
  unsigned char type;  // d_type, DT_UNKNOWN where the file system has none
};

// Reads the whole directory when the search starts, so that a walk holds no
// descriptor open while it descends: a tree 1,000 folders deep must not run
// into the limit on open files.
class PosixDirectorySearch final : public DirectorySearch {
 public:
  bool Start(const std::string& pattern) override {
    End();
    const std::size_t slash = pattern.rfind('/');
    if (slash == std::string::npos) {
      dir_ = ".";
      prefix_.clear();
    } else {
      dir_ = pattern.substr(0, slash);
      prefix_ = pattern.substr(0, slash + 1);
    }
    const std::string name_pattern =
        slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    // As on Windows, "*.*" matches every name, also one without a dot.
    const bool match_all = name_pattern == "*.*" || name_pattern == "*";

    DIR* d = opendir(dir_.c_str());
    if (d == nullptr) return false;
    while (const dirent* e = readdir(d)) {
      if (match_all || fnmatch(name_pattern.c_str(), e->d_name, 0) == 0)
        entries_.push_back(Entry{e->d_name, e->d_type});
    }
    closedir(d);
    // Byte order, so that a run prints its lines in the same order on every
    // machine whatever order the file system keeps.
    std::sort(entries_.begin(), entries_.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return !entries_.empty();
  }

  bool Advance() override {
    ++current_;
    return current_ + 1 < entries_.size();
  }

  bool IsDots() const override {
    const std::string& n = Name();
    return n == "." || n == "..";
  }

  bool IsDirectory() const override {
    switch (entries_[current_].type) {
      case DT_DIR:
        return true;
      case DT_LNK:
      case DT_UNKNOWN: {
        // Follow links; a broken link is no directory.
        struct stat st;
        const std::string path = prefix_ + Name();
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

class PosixOutputFile final : public OutputFile {
 public:
  explicit PosixOutputFile(int fd) : fd_(fd) {}
  ~PosixOutputFile() override {
    if (fd_ >= 0) close(fd_);
  }

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
  int fd_;
};

class PosixPlatform final : public Platform {
 public:
  std::unique_ptr<DirectorySearch> NewSearch() override {
    return std::make_unique<PosixDirectorySearch>();
  }

  bool EnterDirectory(const std::string& path) override {
    return chdir(path.c_str()) == 0;
  }

  std::string CurrentDirectory() override {
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
    if (stat(path.empty() ? "." : path.c_str(), &st) != 0) return std::nullopt;
    return DirectoryId{static_cast<uint64_t>(st.st_dev),
                       static_cast<uint64_t>(st.st_ino)};
  }

  std::FILE* OpenForReading(const std::string& path) override {
    // O_NONBLOCK so that a FIFO without a writer cannot stall the run; it
    // changes nothing for the regular files that are let through.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      return nullptr;
    }
    std::FILE* f = fdopen(fd, "rb");
    if (f == nullptr) close(fd);
    return f;
  }

  std::unique_ptr<OutputFile> CreateTemporary(
      const std::string& path, std::string* temp_path) override {
    struct stat old;
    const bool replaces = stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = path + ".tmp" + std::to_string(getpid()) + "-" +
                         std::to_string(attempt);
      // 0666 less the umask, as a plain create would give.
      const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0) {
        if (errno == EEXIST) continue;
        return nullptr;
      }
      if (replaces) fchmod(fd, old.st_mode & 07777);
      *temp_path = std::move(name);
      return std::make_unique<PosixOutputFile>(fd);
    }
    return nullptr;
  }

  bool ReplaceFile(const std::string& from, const std::string& to) override {
    return rename(from.c_str(), to.c_str()) == 0;
  }

  void RemoveFile(const std::string& path) override { unlink(path.c_str()); }
};

}  // namespace

Platform& SystemPlatform() {
  static PosixPlatform platform;
  return platform;
}

}  // namespace trackmeter
