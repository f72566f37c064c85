// SPDX-License-Identifier: MIT
// A file held in memory, for tests of what reads files, with a range of
// bytes that no read may touch without failing.
#ifndef TRACKMETER_TEST_MEMORY_INPUT_H_
#define TRACKMETER_TEST_MEMORY_INPUT_H_

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace trackmeter {

class MemoryInput final : public InputFile {
 public:
  // A read that touches [fail_from, fail_to) fails.
  explicit MemoryInput(std::string bytes, uint64_t fail_from = UINT64_MAX,
                       uint64_t fail_to = UINT64_MAX)
      : bytes_(std::move(bytes)), fail_from_(fail_from), fail_to_(fail_to) {}

  uint64_t Size() const override { return bytes_.size(); }

  int64_t ReadAt(uint64_t offset, void* buffer, std::size_t size) override {
    ++reads;
    if (size > 0 && offset + size > fail_from_ && offset < fail_to_) return -1;
    if (offset >= bytes_.size()) return 0;
    const std::size_t n = std::min<std::size_t>(size, bytes_.size() - offset);
    std::memcpy(buffer, bytes_.data() + offset, n);
    return static_cast<int64_t>(n);
  }

  int reads = 0;

 private:
  std::string bytes_;
  uint64_t fail_from_, fail_to_;
};

}  // namespace trackmeter

#endif  // TRACKMETER_TEST_MEMORY_INPUT_H_
