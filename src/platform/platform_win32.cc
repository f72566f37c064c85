// SPDX-License-Identifier: MIT
// The Win32 side of the seam. Names cross it as UTF-8, as on Linux, so a
// tree gives the same ids on both; behind it every call is a wide one, on
// the \\?\ form of the full path, which goes beyond MAX_PATH.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/platform.h"

namespace trackmeter {

const char kPathSeparator = '\\';

// platform_win32_console.cc: the file removed when the console ends the
// run ("" for none); a console's width (-1 if the handle is none), its wide
// writer.
void RemoveOnConsoleEnd(const std::wstring& path);
int ConsoleColumns(DWORD handle);
bool WriteWide(DWORD handle, const std::wstring& text);

std::wstring Widen(const std::string& text, UINT code_page) {
  const int size = static_cast<int>(text.size());
  std::wstring wide(MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  const int size = static_cast<int>(wide.size());
  std::string text(WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr),
                   '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), static_cast<int>(text.size()),
                      nullptr, nullptr);
  return text;
}

namespace {

// What call(size, buffer) gives, in a buffer grown to the size it asks for.
template <typename Call>
std::wstring Grown(Call call) {
  std::wstring text(MAX_PATH, L'\0');
  DWORD n = call(static_cast<DWORD>(text.size()), text.data());
  if (n >= text.size()) {
    text.resize(n);
    n = call(n, text.data());
  }
  return n < text.size() ? text.substr(0, n) : std::wstring();  // n is 0 when it failed
}

bool StartsWith(const std::wstring& text, const wchar_t* start) {
  return text.compare(0, std::wcslen(start), start) == 0;
}

// path as the \\?\ form of its full path: the current directory stays
// below MAX_PATH, but a path below it need not.
std::wstring LongPath(const std::string& path) {
  const std::wstring wide = Widen(path.empty() ? "." : path, CP_UTF8);
  const std::wstring full = Grown([&](DWORD n, wchar_t* buffer) {
    return GetFullPathNameW(wide.c_str(), n, buffer, nullptr);
  });
  if (full.empty()) return wide;  // the call itself then fails
  if (StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\")) return full;
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

Error ErrorOf(DWORD e) {
  return e == ERROR_SUCCESS ? Error::kNone
       : e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_DIRECTORY
           ? Error::kNotFound
       : e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS ? Error::kExists
       : e == ERROR_SHARING_VIOLATION ? Error::kBusy
       : e == ERROR_NOT_ENOUGH_MEMORY || e == ERROR_OUTOFMEMORY ? Error::kNoMemory
       : e == ERROR_TOO_MANY_OPEN_FILES ? Error::kNoDescriptors
       : e == ERROR_BROKEN_PIPE || e == ERROR_NO_DATA ? Error::kClosed : Error::kOther;
}

Error Failed() { return ErrorOf(GetLastError()); }
Error Done(BOOL ok) { return ok ? Error::kNone : Failed(); }

// The volume and the 128-bit file id (ReFS needs all of it), else the 64-bit
// index of older systems; all zeros or all ones, as some give, say nothing.
Error IdentifyHandle(HANDLE handle, DirectoryId* id) {
  FILE_ID_INFO id_info;
  if (GetFileInformationByHandleEx(handle, FileIdInfo, &id_info, sizeof id_info)) {
    uint64_t low, high;
    static_assert(sizeof id_info.FileId.Identifier == sizeof low + sizeof high);
    std::memcpy(&low, id_info.FileId.Identifier, sizeof low);
    std::memcpy(&high, id_info.FileId.Identifier + sizeof low, sizeof high);
    if ((low != 0 || high != 0) && (low != ~uint64_t{0} || high != ~uint64_t{0})) {
      *id = DirectoryId{id_info.VolumeSerialNumber, low, high};
      return Error::kNone;
    }
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return Failed();
  const uint64_t index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  if (index == 0 || index == ~uint64_t{0}) return Error::kOther;
  *id = DirectoryId{info.dwVolumeSerialNumber, index, 0};
  return Error::kNone;
}

Error WriteFully(HANDLE handle, const void* data, std::size_t size) {
  for (const char* p = static_cast<const char*>(data); size > 0;) {
    DWORD wrote = 0;
    if (!WriteFile(handle, p, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)), &wrote,
                   nullptr))
      return Failed();
    if (wrote == 0) return Error::kOther;
    p += wrote;
    size -= wrote;
  }
  return Error::kNone;
}

// A file by its handle, read at an offset of each call's own (no shared position).
class Win32File final : public InputFile, public OutputFile {
 public:
  explicit Win32File(HANDLE handle = INVALID_HANDLE_VALUE, uint64_t size = 0)
      : handle_(handle), size_(size) {}
  ~Win32File() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  void Adopt(HANDLE handle) { handle_ = handle; }
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
  Error Write(const void* data, std::size_t size) override { return WriteFully(handle_, data, size); }
  Error Flush() override { return Done(FlushFileBuffers(handle_)); }
  Error Close() override { return Done(CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE))); }
  Error SetOwner(uint32_t, uint32_t) override { return Error::kNone; }
  Error SetMode(uint32_t) override { return Error::kNone; }

 private:
  HANDLE handle_;
  uint64_t size_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

DWORD WINAPI RunThread(void* body) {
  static_cast<ThreadBody*>(body)->Run();
  return 0;
}

class Win32System final : public System {
 public:
  Error ListDirectory(const std::string& path, std::vector<RawEntry>* entries) override {
    WIN32_FIND_DATAW found;
    const HANDLE search =
        FindFirstFileW(LongPath(path.empty() ? "*" : path + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return Failed();
    do {
      const DWORD a = found.dwFileAttributes, tag = found.dwReserved0;
      const bool link = (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                        (tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT);
      entries->push_back(RawEntry{Narrow(found.cFileName),
                                  (a & FILE_ATTRIBUTE_DIRECTORY) ? Kind::kDirectory : Kind::kFile, link});
    } while (FindNextFileW(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    return error == ERROR_NO_MORE_FILES ? Error::kNone : ErrorOf(error);
  }
  Error EnterDirectory(const std::string& path) override {
    return Done(SetCurrentDirectoryW(Widen(path, CP_UTF8).c_str()));
  }
  Error CurrentDirectory(std::string* path) override {
    const std::wstring dir = Grown(GetCurrentDirectoryW);
    *path = Narrow(dir);
    return Done(!dir.empty());
  }
  Error IdentifyDirectory(const std::string& path, DirectoryId* id) override {
    const HANDLE handle = CreateFileW(LongPath(path).c_str(), 0, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return Failed();
    const Error error = IdentifyHandle(handle, id);
    CloseHandle(handle);
    return error;
  }
  Error OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) override {
    // A directory, a device or a reserved name (NUL, COM1: \\.\NAME) is
    // refused unopened; the file is shared for every access, so that the
    // tool never stands in the way of a program that changes it meanwhile.
    const std::wstring full = LongPath(path);
    if (StartsWith(full, L"\\\\.\\")) return Error::kOther;
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Failed();
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) return Error::kOther;
    const HANDLE handle = CreateFileW(full.c_str(), GENERIC_READ, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return Failed();
    // Again on the opened file, in case it changed in between.
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
      CloseHandle(handle);
      return Error::kOther;
    }
    const uint64_t size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    *file = std::make_unique<Win32File>(handle, size);
    return Error::kNone;
  }
  // The attributes are the entry's own: a link is not followed.
  Error StatusOf(const std::string& path, FileStatus* status) override {
    const DWORD a = GetFileAttributesW(LongPath(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return Failed();
    *status = FileStatus{(a & FILE_ATTRIBUTE_DIRECTORY) == 0, (a & FILE_ATTRIBUTE_READONLY) == 0};
    return Error::kNone;
  }
  Error CreateExclusive(const std::string& path, std::unique_ptr<OutputFile>* file) override {
    auto out = std::make_unique<Win32File>();  // every allocation first
    const HANDLE handle = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return Failed();
    out->Adopt(handle);
    *file = std::move(out);
    return Error::kNone;
  }
  Error RemoveOnEnd(const std::string& path) override {
    RemoveOnConsoleEnd(path.empty() ? std::wstring() : LongPath(path));
    return Error::kNone;
  }
  // A link at to is itself replaced, never written through. A program that
  // holds to for a moment (an indexer, a virus scanner) makes it kBusy.
  Error RenameOver(const std::string& from, const std::string& to) override {
    if (MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return Error::kNone;
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED ? Error::kBusy : ErrorOf(error);
  }
  Error Remove(const std::string& path) override { return Done(DeleteFileW(LongPath(path).c_str())); }
  unsigned long ProcessId() override { return GetCurrentProcessId(); }
  unsigned CountCpus() override {
    DWORD_PTR mask = 0, system = 0;
    unsigned cpus = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &mask, &system))
      for (; mask != 0; mask &= mask - 1) ++cpus;
    return cpus > 0 ? cpus : std::max<DWORD>(GetActiveProcessorCount(ALL_PROCESSOR_GROUPS), 1);
  }
  // Handles are limited only by memory, and memory only by the system's
  // commit limit, which a run does not plan for.
  unsigned FreeDescriptors(unsigned most) override { return most; }
  bool MemoryLimited() override { return false; }
  std::size_t MainStackLimit() override {  // what the program's header reserves
    const auto* image = reinterpret_cast<const char*>(GetModuleHandleW(nullptr));
    const LONG at = reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew;
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(image + at)->OptionalHeader.SizeOfStackReserve;
  }
  Error StartThread(std::size_t stack, ThreadBody* body, ThreadHandle* thread) override {
    const HANDLE started =
        CreateThread(nullptr, stack, RunThread, body, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    *thread = reinterpret_cast<ThreadHandle>(started);
    return started == nullptr ? Failed() : Error::kNone;
  }
  void JoinThread(ThreadHandle thread) override {
    WaitForSingleObject(reinterpret_cast<HANDLE>(thread), INFINITE);
    CloseHandle(reinterpret_cast<HANDLE>(thread));
  }
  int TerminalColumns(Stream s) override { return ConsoleColumns(Handle(s)); }
  bool WriteConsole(Stream s, std::string_view text) override {
    return WriteWide(Handle(s), Widen(std::string(text), CP_UTF8));
  }
  static DWORD Handle(Stream s) { return s == Stream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE; }
};

}  // namespace

System& SystemCalls() {
  static Win32System system;
  return system;
}

// "\n" stays "\n", names go out as UTF-8; a write to a closed pipe just fails.
void PrepareStandardOutput() { _setmode(_fileno(stdout), _O_BINARY); }

Error WriteAll(std::FILE* file, const void* data, std::size_t size) {
  return WriteFully(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), data, size);
}

}  // namespace trackmeter
