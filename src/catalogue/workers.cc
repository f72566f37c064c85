// SPDX-License-Identifier: MIT
#include "catalogue/workers.h"

#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace trackmeter {

unsigned RunOnThreads(unsigned count, const std::function<void()>& body,
                      const std::function<void()>& meanwhile) {
  std::vector<std::thread> threads;
  threads.reserve(count);
  for (unsigned i = 0; i < count; ++i) {
    // Out of threads, or of memory for a stack or the thread's state:
    // fewer do the work, and the threads already started must be joined.
    try {
      threads.emplace_back(body);
    } catch (const std::system_error&) {
      break;
    } catch (const std::bad_alloc&) {
      break;
    }
  }
  if (threads.empty()) return 0;
  std::exception_ptr failure;
  try {
    meanwhile();
  } catch (...) {
    failure = std::current_exception();
  }
  for (std::thread& t : threads) t.join();
  if (failure) std::rethrow_exception(failure);
  return static_cast<unsigned>(threads.size());
}

void FirstFailure::Keep() {
  const std::lock_guard<std::mutex> hold(lock_);
  if (!failure_) failure_ = std::current_exception();
}

void FirstFailure::Rethrow() {
  if (failure_) std::rethrow_exception(failure_);
}

}  // namespace trackmeter
