// SPDX-License-Identifier: MIT
#include "console/progress.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>

namespace trackmeter {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kEvery = std::chrono::milliseconds(100);

std::atomic<bool> g_enabled{false};
std::mutex g_lock;
Clock::time_point g_last;  // when the line was last drawn
bool g_drawn = false;      // ever
std::size_t g_shown = 0;   // its length; 0 when none is shown

// Spaces over what is shown, and back to the margin: carriage returns and
// blanks work on every terminal, the Windows console included.
void EraseLocked() {
  if (g_shown == 0) return;
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(g_shown), "");
  std::fflush(stderr);
  g_shown = 0;
}

template <typename... Args>
void Show(const char* format, Args... args) {
  if (!g_enabled.load(std::memory_order_relaxed)) return;
  const std::unique_lock<std::mutex> hold(g_lock, std::try_to_lock);
  if (!hold.owns_lock()) return;  // another thread is drawing
  const Clock::time_point now = Clock::now();
  if (g_drawn && now - g_last < kEvery) return;
  char text[96];
  const int n = std::snprintf(text, sizeof text, format, args...);
  if (n <= 0) return;
  const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1);
  std::fprintf(stderr, "\r%s%*s", text,
               static_cast<int>(g_shown > length ? g_shown - length : 0), "");
  std::fflush(stderr);
  g_shown = length;
  g_last = now;
  g_drawn = true;
}

}  // namespace

void EnableProgress() { g_enabled = true; }

void ShowFilesFound(std::size_t found) { Show("Looking for Ogg files: %zu found", found); }

void ShowFilesMeasured(std::size_t measured, std::size_t total) {
  Show("Measuring: %zu of %zu files", measured, total);
}

void ShowPassesTried(uint64_t passes) {
  Show("Looking for distinct ids: %llu passes tried", static_cast<unsigned long long>(passes));
}

void EraseProgress() {
  if (!g_enabled.load(std::memory_order_relaxed)) return;
  const std::lock_guard<std::mutex> hold(g_lock);
  EraseLocked();
}

}  // namespace trackmeter
