// The Win32 side of the platform seam.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdlib>

#include "platform/platform.h"

namespace trackmeter {

const char kPathSeparator = '\\';

namespace {

// Lines end in "\n" as written, not "\r\n".
const bool kBinaryStdout = [] {
  _setmode(_fileno(stdout), _O_BINARY);
  return true;
}();

// Windows hands out the first entry with the handle; Advance moves onto the
// entry found ahead and looks one further, as the classic file finder does.
class Win32DirectorySearch final : public DirectorySearch {
 public:
  ~Win32DirectorySearch() override { End(); }

  bool Start(const std::string& pattern) override {
    End();
    handle_ = FindFirstFileA(pattern.c_str(), &ahead_);
    return handle_ != INVALID_HANDLE_VALUE;
  }

  bool Advance() override {
    current_ = ahead_;
    name_ = current_.cFileName;
    return FindNextFileA(handle_, &ahead_) != 0;
  }

  bool IsDots() const override { return name_ == "." || name_ == ".."; }
  bool IsDirectory() const override {
    return (current_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
  const std::string& Name() const override { return name_; }

  void End() override {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA ahead_{};
  WIN32_FIND_DATAA current_{};
  std::string name_;
};

class Win32OutputFile final : public OutputFile {
 public:
  explicit Win32OutputFile(int fd) : fd_(fd) {}
  ~Win32OutputFile() override {
    if (fd_ >= 0) _close(fd_);
  }
  bool Write(const void* data, std::size_t size) override {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
      const int n = _write(fd_, p, static_cast<unsigned>(size));
      if (n <= 0) return false;
      p += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }
  bool Flush() override { return _commit(fd_) == 0; }
  bool Close() override {
    const int fd = fd_;
    fd_ = -1;
    return _close(fd) == 0;
  }

 private:
  int fd_;
};

class Win32Platform final : public Platform {
 public:
  std::unique_ptr<DirectorySearch> NewSearch() override {
    return std::make_unique<Win32DirectorySearch>();
  }

  bool EnterDirectory(const std::string& path) override {
    return SetCurrentDirectoryA(path.c_str()) != 0;
  }

  std::string CurrentDirectory() override {
    char* full = _fullpath(nullptr, ".", 0);  // allocated: no length limit
    if (full == nullptr) return ".";
    std::string result = full;
    std::free(full);
    return result;
  }

  std::optional<DirectoryId> IdentifyDirectory(const std::string& path) override {
    HANDLE h = CreateFileA(path.empty() ? "." : path.c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!ok) return std::nullopt;
    return DirectoryId{info.dwVolumeSerialNumber,
                       (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  }

  std::FILE* OpenForReading(const std::string& path) override {
    const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) return nullptr;
    struct _stat64 st;
    if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
      _close(fd);
      return nullptr;
    }
    std::FILE* f = _fdopen(fd, "rb");
    if (f == nullptr) _close(fd);
    return f;
  }

  std::unique_ptr<OutputFile> CreateTemporary(const std::string& path,
                                              std::string* temp_path) override {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = path + ".tmp" + std::to_string(GetCurrentProcessId()) +
                         "-" + std::to_string(attempt);
      const int fd = _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                           _S_IREAD | _S_IWRITE);
      if (fd < 0) {
        if (errno == EEXIST) continue;
        return nullptr;
      }
      *temp_path = std::move(name);
      return std::make_unique<Win32OutputFile>(fd);
    }
    return nullptr;
  }

  bool ReplaceFile(const std::string& from, const std::string& to) override {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }

  void RemoveFile(const std::string& path) override { DeleteFileA(path.c_str()); }
};

}  // namespace

Platform& SystemPlatform() {
  static Win32Platform platform;
  (void)kBinaryStdout;
  return platform;
}

}  // namespace trackmeter
