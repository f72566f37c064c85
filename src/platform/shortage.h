// SPDX-License-Identifier: MIT
// Failures of the machine rather than of the tree: running out of memory or
// of file descriptors. Any of them ends the run at once with nothing
// written, whichever file or directory met it.
#ifndef TRACKMETER_PLATFORM_SHORTAGE_H_
#define TRACKMETER_PLATFORM_SHORTAGE_H_

#include <exception>
#include <new>

namespace trackmeter {

// What the machine ran out of.
enum class Resource { kMemory, kFileDescriptors };

// Thrown where a shortage is met, on whatever thread; a worker hands it to
// the thread that ends the run through std::exception_ptr. A failed new
// throws std::bad_alloc instead, which means Resource::kMemory.
class ResourceShortage : public std::exception {
 public:
  explicit ResourceShortage(Resource resource) : resource_(resource) {}
  Resource resource() const { return resource_; }
  const char* what() const noexcept override;

 private:
  Resource resource_;
};

// Gives the memory reserve back, then throws ResourceShortage.
[[noreturn]] void ThrowShortage(Resource resource);

// Throws ResourceShortage if error, the errno value of a failed call, says
// the machine ran out: ENOMEM, EMFILE or ENFILE.
void ThrowIfShortage(int error);

// Memory set aside for as long as it lives, and given back the moment the
// machine runs out (a failed new, or ThrowShortage), so that the failure can
// still be thrown, reported and cleaned up after even when the runtime's
// own emergency memory could not be had. One at a time.
class MemoryReserve {
 public:
  MemoryReserve();
  ~MemoryReserve();
  MemoryReserve(const MemoryReserve&) = delete;
  MemoryReserve& operator=(const MemoryReserve&) = delete;

  // False if the reserve could not be had: memory was short from the start.
  bool held() const { return held_; }

 private:
  bool held_;
  std::new_handler previous_;
};

}  // namespace trackmeter

#endif  // TRACKMETER_PLATFORM_SHORTAGE_H_
