// The Win32 side of the platform seam.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

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

// --- The kind of a file, asked before it is opened -------------------------
// A directory, a device, or a reserved device name (NUL, COM1, with or
// without an extension) is refused without being opened: opening a device
// can do things of its own.
bool NamesPlainFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
    return false;
  // Reserved names resolve to the device namespace, \\.\NAME.
  const DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return false;
  std::vector<char> full(size + 1);
  const DWORD length = GetFullPathNameA(path.c_str(), size + 1, full.data(), nullptr);
  return length > 0 && length <= size && std::strncmp(full.data(), "\\\\.\\", 4) != 0;
}

// --- A table the user protected -------------------------------------------
// The read-only attribute, as version control that locks files leaves it,
// protects Durations.bin on purpose: the run fails and leaves it as it is,
// as the POSIX build does with a table the user may not write. The
// attribute is the entry's own: a link is not followed, so a link without
// it is replaced by the table, and its target is never written.
bool IsReadOnlyFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// --- Removing the temporary table when the console ends the run -----------
// Ctrl-C, Ctrl-Break or a closed console window while the temporary table
// exists: the handler, which Windows runs on a thread of its own, deletes
// the file and lets the default handler end the process with its usual
// status. The file is created sharing the right to delete, so the deletion
// holds although the main thread still has it open; it is done when the
// process's handles close. Outside that window the handler is not
// installed and the default stands.
class TemporaryRemoval {
 public:
  // One temporary file at a time: a newer one takes the place of the last.
  static void Arm(const std::string& path) {
    Lock();
    const bool was = armed_;
    path_ = path;
    armed_ = true;
    Unlock();
    if (!was) SetConsoleCtrlHandler(OnConsoleEnd, TRUE);
  }

  // Once the file is renamed or removed.
  static void Disarm(const std::string& path) {
    if (!initialized_) return;
    Lock();
    const bool was = armed_ && path == path_;
    if (was) armed_ = false;
    Unlock();
    if (was) SetConsoleCtrlHandler(OnConsoleEnd, FALSE);
  }

 private:
  static BOOL WINAPI OnConsoleEnd(DWORD) {
    Lock();
    if (armed_) DeleteFileA(path_.c_str());
    Unlock();
    return FALSE;  // the default handler ends the process
  }

  static void Lock() {
    if (!initialized_) {  // first called on the main thread, from Arm
      InitializeCriticalSection(&lock_);
      initialized_ = true;
    }
    EnterCriticalSection(&lock_);
  }
  static void Unlock() { LeaveCriticalSection(&lock_); }

  static inline CRITICAL_SECTION lock_;
  static inline bool initialized_ = false;
  static inline bool armed_ = false;
  static inline std::string path_;
};

// As _open(_O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY), but sharing the
// right to delete, for the console handler above.
int CreateNewDeletable(const std::string& name) {
  HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                         nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST : EACCES;
    return -1;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd < 0) CloseHandle(h);
  return fd;
}

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
    if (!NamesPlainFile(path)) return nullptr;
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
    if (IsReadOnlyFile(path)) return nullptr;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = path + ".tmp" + std::to_string(GetCurrentProcessId()) +
                         "-" + std::to_string(attempt);
      TemporaryRemoval::Arm(name);  // before it exists: no moment unguarded
      const int fd = CreateNewDeletable(name);
      if (fd < 0) {
        TemporaryRemoval::Disarm(name);
        if (errno == EEXIST) continue;
        return nullptr;
      }
      *temp_path = std::move(name);
      return std::make_unique<Win32OutputFile>(fd);
    }
    return nullptr;
  }

  // A link at to is itself replaced, never written through.
  bool ReplaceFile(const std::string& from, const std::string& to) override {
    if (MoveFileExA(from.c_str(), to.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0)
      return false;
    TemporaryRemoval::Disarm(from);
    return true;
  }

  void RemoveFile(const std::string& path) override {
    DeleteFileA(path.c_str());
    TemporaryRemoval::Disarm(path);
  }
};

}  // namespace

Platform& SystemPlatform() {
  static Win32Platform platform;
  (void)kBinaryStdout;
  return platform;
}

}  // namespace trackmeter
