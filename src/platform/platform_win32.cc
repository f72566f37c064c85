// The Win32 side of the platform seam.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/ogg_pages.h"
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

// The page scan's view of a file, read through its descriptor.
class Win32FileBytes final : public ByteSource {
 public:
  explicit Win32FileBytes(int fd) : fd_(fd) {}
  const unsigned char* Bytes(uint64_t offset, std::size_t size) override {
    buffer_.resize(size);
    if (_lseeki64(fd_, static_cast<__int64>(offset), SEEK_SET) < 0) return nullptr;
    for (std::size_t done = 0; done < size;) {
      const int n = _read(fd_, buffer_.data() + done,
                          static_cast<unsigned>(std::min<std::size_t>(size - done, 1u << 30)));
      if (n <= 0) return nullptr;
      done += static_cast<std::size_t>(n);
    }
    return buffer_.data();
  }

 private:
  int fd_;
  std::vector<unsigned char> buffer_;
};

// A stream of the first length bytes of fd's file, from a copy in a
// temporary file that Windows deletes when the stream is closed: msvcrt has
// no stream over memory or over a part of a file. Null on failure; fd stays
// open either way.
std::FILE* OpenCopyOfHead(int fd, uint64_t length) {
  char dir[MAX_PATH + 1];
  char name[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof dir, dir);
  if (n == 0 || n > MAX_PATH || GetTempFileNameA(dir, "tm", 0, name) == 0) return nullptr;
  HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DeleteFileA(name);
    return nullptr;
  }
  bool ok = _lseeki64(fd, 0, SEEK_SET) == 0;
  std::vector<char> buffer(1 << 20);
  for (uint64_t left = length; ok && left > 0;) {
    const int got = _read(fd, buffer.data(),
                          static_cast<unsigned>(std::min<uint64_t>(left, buffer.size())));
    DWORD written = 0;
    ok = got > 0 && WriteFile(h, buffer.data(), static_cast<DWORD>(got), &written, nullptr) &&
         written == static_cast<DWORD>(got);
    left -= ok ? static_cast<uint64_t>(got) : 0;
  }
  const int copy = ok && SetFilePointer(h, 0, nullptr, FILE_BEGIN) == 0
                       ? _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY)
                       : -1;
  if (copy < 0) {
    CloseHandle(h);  // deletes it
    return nullptr;
  }
  std::FILE* f = _fdopen(copy, "rb");
  if (f == nullptr) _close(copy);
  return f;
}

// The stream the library reads a regular file through: the file itself, or
// when it holds more than the library needs (OggBytesToShow) a copy of the
// part it needs; the file itself again if no copy can be made. Takes fd.
std::FILE* OpenOggStream(int fd, uint64_t size) {
  Win32FileBytes bytes(fd);
  const std::optional<uint64_t> show = OggBytesToShow(bytes, size);
  if (show && *show < size) {
    if (std::FILE* copy = OpenCopyOfHead(fd, *show)) {
      _close(fd);
      return copy;
    }
  }
  if (_lseeki64(fd, 0, SEEK_SET) != 0) {
    _close(fd);
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, "rb");
  if (f == nullptr) _close(fd);
  return f;
}

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
    return OpenOggStream(fd, static_cast<uint64_t>(st.st_size));
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
