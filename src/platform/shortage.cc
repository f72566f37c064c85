// SPDX-License-Identifier: MIT
#include "platform/shortage.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace trackmeter {

namespace {

// Enough to allocate an exception, unwind and print a line; not touched, so
// it costs no resident memory.
constexpr std::size_t kReserveBytes = 64 * 1024;

std::atomic<void*> g_reserve{nullptr};

void GiveBackReserve() { std::free(g_reserve.exchange(nullptr)); }

// A new that failed ends the run; it does not try again with the reserve.
void OnNewFailed() {
  GiveBackReserve();
  throw std::bad_alloc();
}

}  // namespace

const char* ResourceShortage::what() const noexcept {
  return resource_ == Resource::kMemory ? "out of memory" : "too many open files";
}

void ThrowShortage(Resource resource) {
  GiveBackReserve();
  throw ResourceShortage(resource);
}

void ThrowIfShortage(int error) {
  if (error == ENOMEM) ThrowShortage(Resource::kMemory);
  if (error == EMFILE || error == ENFILE) ThrowShortage(Resource::kFileDescriptors);
}

MemoryReserve::MemoryReserve() {
  GiveBackReserve();
  g_reserve.store(std::malloc(kReserveBytes));
  held_ = g_reserve.load() != nullptr;
  previous_ = std::set_new_handler(OnNewFailed);
}

MemoryReserve::~MemoryReserve() {
  std::set_new_handler(previous_);
  GiveBackReserve();
}

}  // namespace trackmeter
