// SPDX-License-Identifier: MIT
// Threads for the stages that work file by file or pass by pass.
#ifndef TRACKMETER_CATALOGUE_WORKERS_H_
#define TRACKMETER_CATALOGUE_WORKERS_H_

#include <exception>
#include <functional>
#include <mutex>

namespace trackmeter {

// The most worker threads a stage starts, whatever was asked for.
constexpr unsigned kMaxWorkers = 1024;

// Starts body on up to count new threads, runs meanwhile on this thread,
// and returns once every thread has ended. A thread that cannot be started
// is left out; returns how many started (when none did, meanwhile is not
// run). Should meanwhile throw, the bodies must end on their own.
unsigned RunOnThreads(unsigned count, const std::function<void()>& body,
                      const std::function<void()>& meanwhile);

// The first failure of any of a stage's threads, to be raised again on the
// thread that runs the stage once they have all ended.
class FirstFailure {
 public:
  // Keeps the exception being handled, unless one was kept already.
  void Keep();
  // Throws the kept exception, if any.
  void Rethrow();

 private:
  std::mutex lock_;
  std::exception_ptr failure_;
};

}  // namespace trackmeter

#endif  // TRACKMETER_CATALOGUE_WORKERS_H_
