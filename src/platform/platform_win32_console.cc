// SPDX-License-Identifier: MIT
// The Windows console: what it shows, and the events that end a run in it.
#include <windows.h>

#include <string>

namespace trackmeter {

namespace {

// While a new file exists, a console event that ends the process (Ctrl-C,
// Ctrl-Break, a closed window) deletes it, on a thread of the handler's own:
// the file shares the right to delete, so the deletion holds although it is
// open. One file at a time; the first Arm, on the main thread, makes the lock.
CRITICAL_SECTION g_lock;
bool g_made = false, g_armed = false;
std::wstring g_path;

BOOL WINAPI OnConsoleEnd(DWORD) {
  EnterCriticalSection(&g_lock);
  if (g_armed) DeleteFileW(g_path.c_str());
  LeaveCriticalSection(&g_lock);
  return FALSE;  // the default handler ends the process
}

}  // namespace

void ArmRemoval(const std::wstring& path) {
  std::wstring copy = path;  // a failed allocation must not hold the lock
  if (!g_made) InitializeCriticalSection(&g_lock);
  g_made = true;
  EnterCriticalSection(&g_lock);
  const bool was = g_armed;
  g_path.swap(copy);
  g_armed = true;
  LeaveCriticalSection(&g_lock);
  if (!was) SetConsoleCtrlHandler(OnConsoleEnd, TRUE);
}

void DisarmRemoval(const std::wstring& path) {
  if (!g_made) return;
  EnterCriticalSection(&g_lock);
  const bool was = g_armed && path == g_path;
  if (was) g_armed = false;
  LeaveCriticalSection(&g_lock);
  if (was) SetConsoleCtrlHandler(OnConsoleEnd, FALSE);
}

int ConsoleColumns(DWORD handle) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(handle), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace trackmeter
