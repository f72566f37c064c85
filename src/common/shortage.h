// SPDX-License-Identifier: MIT
// Failures of the machine rather than of the tree: out of memory
// (std::bad_alloc) or of file descriptors (DescriptorShortage). Either ends
// the run wherever it is met, with nothing written; the run turns it into
// its one line.
#ifndef TRACKMETER_COMMON_SHORTAGE_H_
#define TRACKMETER_COMMON_SHORTAGE_H_

#include <exception>
#include <new>

#include "platform/platform.h"

namespace trackmeter {

class DescriptorShortage : public std::exception {
 public:
  const char* what() const noexcept override { return "too many open files"; }
};

// Sets memory aside, and has every failed allocation give it back before
// std::bad_alloc is thrown, so that the exception itself and the line that
// reports it always find room. Called first, before any allocation; false
// if even that memory cannot be had.
bool PrepareForShortage();

// Throws std::bad_alloc, the memory set aside given back first.
[[noreturn]] void ThrowOutOfMemory();

// Throws if error says the machine ran out.
inline void ThrowIfShortage(Error error) {
  if (error == Error::kNoMemory) ThrowOutOfMemory();
  if (error == Error::kNoDescriptors) throw DescriptorShortage();
}

}  // namespace trackmeter

#endif  // TRACKMETER_COMMON_SHORTAGE_H_
