// SPDX-License-Identifier: MIT
// The Win32 side of the platform seam.
//
// Names cross the seam as UTF-8, as they do on Linux, so a tree gives the
// same ids on both. Behind it every call is a wide one: the path is turned
// into UTF-16 and into the \\?\ form of its full path, which the wide calls
// take beyond MAX_PATH without any system setting.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace trackmeter {

const char kPathSeparator = '\\';

namespace {

// --- Text and paths ----------------------------------------------------------

std::wstring Widen(const std::string& text, UINT code_page) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int n =
      MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), n);
  return wide;
}

std::string Narrow(const wchar_t* wide, std::size_t length) {
  if (length == 0) return std::string();
  const int size = static_cast<int>(length);
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, size, text.data(), n, nullptr, nullptr);
  return text;
}

bool StartsWith(const std::wstring& text, const wchar_t* start) {
  return text.compare(0, std::wcslen(start), start) == 0;
}

// path, relative to the current directory or absolute, as the \\?\ form of
// its full path. The current directory stays below MAX_PATH, but a path
// below it need not.
std::wstring LongPath(const std::string& path) {
  const std::wstring wide = Widen(path.empty() ? "." : path, CP_UTF8);
  std::wstring full(MAX_PATH, L'\0');
  DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()),
                             full.data(), nullptr);
  if (n >= full.size()) {
    full.resize(n);
    n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  }
  if (n == 0 || n >= full.size()) return wide;  // the call itself then fails
  full.resize(n);
  if (StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\")) return full;
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// Throws ResourceShortage if error, from GetLastError, says the machine ran
// out.
void ThrowIfWin32Shortage(DWORD error) {
  if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY)
    ThrowShortage(Resource::kMemory);
  if (error == ERROR_TOO_MANY_OPEN_FILES) ThrowShortage(Resource::kFileDescriptors);
}

// --- Directory search --------------------------------------------------------

struct Entry {
  std::string name;
  bool directory;
  bool link;  // a symbolic link or a junction
};

// What a directory that could not be listed counts as.
Listing FailedListing(DWORD error) {
  ThrowIfWin32Shortage(error);
  // Removed, or replaced by a file, while the walk ran: a race, not a fault.
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                 error == ERROR_DIRECTORY
             ? Listing::kNone
             : Listing::kUnreadable;
}

struct SearchCloser {
  void operator()(HANDLE handle) const { FindClose(handle); }
};

// Reads the whole directory when the search starts, as on POSIX: a walk
// holds no handle open while it descends, and the entries come in the byte
// order of their UTF-8 names, so a run prints its lines in the same order
// as the Linux build.
class Win32DirectorySearch final : public DirectorySearch {
 public:
  Listing Start(const std::string& pattern) override {
    End();
    WIN32_FIND_DATAW found;
    const HANDLE handle = FindFirstFileW(LongPath(pattern).c_str(), &found);
    if (handle == INVALID_HANDLE_VALUE) return FailedListing(GetLastError());
    const std::unique_ptr<void, SearchCloser> search(handle);
    do {
      entries_.push_back(
          Entry{Narrow(found.cFileName, std::wcslen(found.cFileName)),
                (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                    (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
                     found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT)});
    } while (FindNextFileW(handle, &found));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) {
      End();
      return FailedListing(error);
    }
    std::sort(entries_.begin(), entries_.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries_.empty() ? Listing::kNone : Listing::kEntries;
  }

  bool Advance() override {
    ++current_;
    return current_ + 1 < entries_.size();
  }

  bool IsDots() const override { return Name() == "." || Name() == ".."; }
  bool IsDirectory() const override { return entries_[current_].directory; }
  bool IsLink() const override { return entries_[current_].link; }
  const std::string& Name() const override { return entries_[current_].name; }

  void End() override {
    entries_.clear();
    current_ = static_cast<std::size_t>(-1);
  }

 private:
  std::vector<Entry> entries_;
  std::size_t current_ = static_cast<std::size_t>(-1);
};

// --- Directory identity ------------------------------------------------------

// A file id of all zeros or all ones says nothing: some file systems give
// one for every file.
bool IsUsableId(uint64_t low, uint64_t high) {
  return (low != 0 || high != 0) &&
         (low != ~uint64_t{0} || high != ~uint64_t{0});
}

// The volume and the full 128-bit file id (ReFS needs all of it), else the
// 64-bit file index of older systems.
std::optional<DirectoryId> IdentifyHandle(HANDLE handle) {
  FILE_ID_INFO id_info;
  if (GetFileInformationByHandleEx(handle, FileIdInfo, &id_info,
                                   sizeof id_info)) {
    uint64_t low, high;
    static_assert(sizeof id_info.FileId.Identifier == sizeof low + sizeof high);
    std::memcpy(&low, id_info.FileId.Identifier, sizeof low);
    std::memcpy(&high, id_info.FileId.Identifier + sizeof low, sizeof high);
    if (IsUsableId(low, high))
      return DirectoryId{id_info.VolumeSerialNumber, low, high};
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
  const uint64_t index =
      (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  if (index == 0 || index == ~uint64_t{0}) return std::nullopt;
  return DirectoryId{info.dwVolumeSerialNumber, index, 0};
}

// --- Files -------------------------------------------------------------------

// The kind of a file, asked before it is opened: a directory, a device, or a
// reserved device name (NUL, COM1, with or without an extension) is refused
// without being opened, since opening a device can do things of its own.
// Reserved names resolve to the device namespace, \\.\NAME.
bool NamesPlainFile(const std::wstring& full) {
  if (StartsWith(full, L"\\\\.\\")) return false;
  const DWORD attributes = GetFileAttributesW(full.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// The read-only attribute, as version control that locks files leaves it,
// protects Durations.bin on purpose: the run fails and leaves it as it is,
// as the POSIX build does with a table the user may not write. The
// attribute is the entry's own: a link is not followed, so a link without
// it is replaced by the table, and its target is never written.
bool IsReadOnlyFile(const std::wstring& full) {
  const DWORD attributes = GetFileAttributesW(full.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Removing the temporary table when the console ends the run: Ctrl-C,
// Ctrl-Break or a closed console window while the temporary table exists.
// The handler, which Windows runs on a thread of its own, deletes the file
// and lets the default handler end the process with its usual status. The
// file is created sharing the right to delete, so the deletion holds
// although the main thread still has it open; it is done when the
// process's handles close. Outside that window the handler is not
// installed and the default stands.
class TemporaryRemoval {
 public:
  // One temporary file at a time: a newer one takes the place of the last.
  static void Arm(const std::wstring& path) {
    std::wstring copy = path;  // a failed allocation must not hold the lock
    Lock();
    const bool was = armed_;
    path_.swap(copy);
    armed_ = true;
    Unlock();
    if (!was) SetConsoleCtrlHandler(OnConsoleEnd, TRUE);
  }

  // Once the file is renamed or removed.
  static void Disarm(const std::wstring& path) {
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
    if (armed_) DeleteFileW(path_.c_str());
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
  static inline std::wstring path_;
};

// As _wopen(_O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY), but sharing the
// right to delete, for the console handler above.
int CreateNewDeletable(const std::wstring& name) {
  const HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST
            : error == ERROR_TOO_MANY_OPEN_FILES                        ? EMFILE
            : error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY
                ? ENOMEM
                : EACCES;
    return -1;
  }
  const int fd =
      _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    const int error = errno;  // EMFILE: the runtime's table of descriptors is full
    CloseHandle(h);
    DeleteFileW(name.c_str());
    errno = error;
  }
  return fd;
}

class Win32OutputFile final : public OutputFile {
 public:
  ~Win32OutputFile() override {
    if (fd_ >= 0) _close(fd_);
  }
  void Adopt(int fd) { fd_ = fd; }
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
  int fd_ = -1;
};

// An indexer or a virus scanner may hold the just-closed table for a moment;
// the rename is tried again for about a second before it counts as failed.
constexpr int kReplaceRetries = 5;
constexpr DWORD kReplaceRetryMilliseconds = 200;

bool IsTransientRenameError(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

// A regular file read with ReadFile at an offset of the call's own, so no
// shared file position is involved.
class Win32InputFile final : public InputFile {
 public:
  Win32InputFile(HANDLE handle, uint64_t size) : handle_(handle), size_(size) {}
  ~Win32InputFile() override { CloseHandle(handle_); }

  uint64_t Size() const override { return size_; }

  int64_t ReadAt(uint64_t offset, void* buffer, std::size_t size) override {
    unsigned char* const out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
      OVERLAPPED at{};
      const uint64_t from = offset + done;
      at.Offset = static_cast<DWORD>(from);
      at.OffsetHigh = static_cast<DWORD>(from >> 32);
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(handle_, out + done, want, &got, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        return -1;
      }
      if (got == 0) break;
      done += got;
    }
    return static_cast<int64_t>(done);
  }

 private:
  HANDLE handle_;
  uint64_t size_;
};

// --- The platform ------------------------------------------------------------

class Win32Platform final : public Platform {
 public:
  std::unique_ptr<DirectorySearch> NewSearch() override {
    return std::make_unique<Win32DirectorySearch>();
  }

  // The base path comes from the command line, in the process's code page:
  // UTF-8 where the exe's manifest is honoured, the ANSI code page before.
  bool EnterDirectory(const std::string& path) override {
    if (SetCurrentDirectoryW(Widen(path, CP_ACP).c_str()) != 0) return true;
    ThrowIfWin32Shortage(GetLastError());
    return false;
  }

  std::string CurrentDirectory() override {
    std::wstring dir(MAX_PATH, L'\0');
    DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(dir.size()), dir.data());
    if (n >= dir.size()) {
      dir.resize(n);
      n = GetCurrentDirectoryW(n, dir.data());
    }
    if (n == 0 || n >= dir.size()) return ".";
    return Narrow(dir.data(), n);
  }

  std::optional<DirectoryId> IdentifyDirectory(
      const std::string& path) override {
    const HANDLE handle = CreateFileW(
        LongPath(path).c_str(), 0,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      ThrowIfWin32Shortage(GetLastError());
      return std::nullopt;
    }
    const std::optional<DirectoryId> id = IdentifyHandle(handle);
    CloseHandle(handle);
    return id;
  }

  // Windows commits memory when it is asked for: the answer is always real.
  // Only at the system's commit limit, which a run does not plan for.
  bool MemoryMayBeRefused() override { return false; }

  bool MemoryAvailable(std::size_t bytes) override {
    void* const p = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (p == nullptr) return false;
    VirtualFree(p, 0, MEM_RELEASE);
    return true;
  }

  std::unique_ptr<InputFile> OpenForReading(const std::string& path) override {
    const std::wstring full = LongPath(path);
    if (!NamesPlainFile(full)) return nullptr;
    // Shared for every access, so that the tool never stands in the way of
    // a program that writes, renames or deletes the file meanwhile.
    const HANDLE handle =
        CreateFileW(full.c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      ThrowIfWin32Shortage(GetLastError());
      return nullptr;
    }
    // Again on the opened file, in case it changed in between.
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
      CloseHandle(handle);
      return nullptr;
    }
    const uint64_t size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    return std::make_unique<Win32InputFile>(handle, size);
  }

  std::unique_ptr<OutputFile> CreateTemporary(const std::string& path,
                                              std::string* temp_path) override {
    if (IsReadOnlyFile(LongPath(path))) return nullptr;
    // All the memory the file needs is had before it exists, so that a
    // shortage never leaves it behind.
    auto out = std::make_unique<Win32OutputFile>();
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = path + ".tmp" + std::to_string(GetCurrentProcessId()) +
                         "-" + std::to_string(attempt);
      const std::wstring full = LongPath(name);
      TemporaryRemoval::Arm(full);  // before it exists: no moment unguarded
      const int fd = CreateNewDeletable(full);
      if (fd < 0) {
        const int error = errno;
        TemporaryRemoval::Disarm(full);
        if (error == EEXIST) continue;
        ThrowIfShortage(error);
        return nullptr;
      }
      out->Adopt(fd);
      *temp_path = std::move(name);
      return out;
    }
    return nullptr;
  }

  // A link at to is itself replaced, never written through.
  bool ReplaceFile(const std::string& from, const std::string& to) override {
    const std::wstring source = LongPath(from);
    const std::wstring target = LongPath(to);
    for (int retry = 0;; ++retry) {
      if (MoveFileExW(source.c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        TemporaryRemoval::Disarm(source);
        return true;
      }
      if (retry == kReplaceRetries || !IsTransientRenameError(GetLastError()))
        return false;
      Sleep(kReplaceRetryMilliseconds);
    }
  }

  void RemoveFile(const std::string& path) override {
    const std::wstring full = LongPath(path);
    DeleteFileW(full.c_str());
    TemporaryRemoval::Disarm(full);
  }
};

}  // namespace

Platform& SystemPlatform() {
  static Win32Platform platform;
  return platform;
}

// Lines end in "\n" as written, not "\r\n", and names go out as their UTF-8
// bytes. Windows has no SIGPIPE: a write to a closed pipe just fails.
void PrepareStandardOutput() { _setmode(_fileno(stdout), _O_BINARY); }

bool StandardErrorIsTerminal() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

unsigned AvailableCpus() {
  DWORD_PTR process = 0, system = 0;
  unsigned cpus = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
    for (; process != 0; process &= process - 1) ++cpus;
  if (cpus == 0) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    cpus = info.dwNumberOfProcessors;
  }
  return cpus > 0 ? cpus : 1;
}

}  // namespace trackmeter
