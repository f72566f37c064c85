// SPDX-License-Identifier: MIT
#include "common/shortage.h"

#include <atomic>
#include <cstdlib>

namespace trackmeter {

namespace {

// Enough for the exception and for what unwinding and the last line ask;
// the C++ runtime's own pool for exceptions is not there when its start
// already ran out.
constexpr std::size_t kSetAside = 64 << 10;

std::atomic<void*> g_set_aside{nullptr};

void GiveBack() { std::free(g_set_aside.exchange(nullptr)); }

void OnFailedAllocation() { ThrowOutOfMemory(); }

}  // namespace

bool PrepareForShortage() {
  if (g_set_aside.load() == nullptr) g_set_aside = std::malloc(kSetAside);
  std::set_new_handler(OnFailedAllocation);
  return g_set_aside.load() != nullptr;
}

void ThrowOutOfMemory() {
  GiveBack();
  throw std::bad_alloc();
}

}  // namespace trackmeter
