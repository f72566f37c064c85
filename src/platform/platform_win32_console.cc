// SPDX-License-Identifier: MIT
// The Windows console: what it shows, and the events that end a run in it.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/platform.h"

// The C runtime's own split of the wide command line, as argv is split.
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int glob, int* mode);

namespace trackmeter {

std::string Narrow(const std::wstring& wide);  // platform_win32.cc

namespace {

// A console event that ends the process (Ctrl-C, Ctrl-Break, a closed
// window) deletes the file set here, on a thread of the handler's own: the
// file shares the right to delete, so the deletion holds although it is
// open. The first call, on the main thread, makes the lock.
CRITICAL_SECTION g_lock;
bool g_made = false;
std::wstring g_path;

BOOL WINAPI OnConsoleEnd(DWORD) {
  EnterCriticalSection(&g_lock);
  if (!g_path.empty()) DeleteFileW(g_path.c_str());
  LeaveCriticalSection(&g_lock);
  return FALSE;  // the default handler ends the process
}

}  // namespace

void RemoveOnConsoleEnd(const std::wstring& path) {
  std::wstring copy = path;  // a failed allocation must not hold the lock
  if (!g_made) InitializeCriticalSection(&g_lock);
  g_made = true;
  EnterCriticalSection(&g_lock);
  const bool was = !g_path.empty();
  g_path.swap(copy);
  LeaveCriticalSection(&g_lock);
  if (was != !path.empty()) SetConsoleCtrlHandler(OnConsoleEnd, was ? FALSE : TRUE);
}

// Bytes written to a console show in its code page; its own characters
// show as themselves, whatever the code page.
bool WriteWide(DWORD handle, const std::wstring& text) {
  const HANDLE console = GetStdHandle(handle);
  DWORD mode = 0, wrote = 0;
  if (!GetConsoleMode(console, &mode)) return false;
  WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
  return true;
}

// Wherever a manifest's UTF-8 code page is not honoured (before Windows 10
// 1903), argv is in the ANSI code page, which cannot hold every name.
std::vector<std::string> CommandLine(int argc, const char* const* argv) {
  int count = 0, mode = 0;
  wchar_t **wide = nullptr, **env = nullptr;
  if (__wgetmainargs(&count, &wide, &env, 0, &mode) != 0 || wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(Narrow(wide[i]));
  return args;
}

int ConsoleColumns(DWORD handle) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(handle), &info)) return -1;  // no console
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace trackmeter
