// SPDX-License-Identifier: MIT
// A list that one thread adds to while others use the entries it added
// before: an entry never moves. Who uses entry i must have learnt of it
// after it was added, through a lock (the scheduler's), as for any value.
#ifndef TRACKMETER_COMMON_GROWING_LIST_H_
#define TRACKMETER_COMMON_GROWING_LIST_H_

#include <cstddef>
#include <memory>
#include <utility>

namespace trackmeter {

template <typename T>
class GrowingList {
 public:
  std::size_t size() const { return size_; }
  T& operator[](std::size_t i) { return blocks_[Block(i)][i + kFirst - (kFirst << Block(i))]; }

  void push_back(T value) {
    const int b = Block(size_);
    if (!blocks_[b]) blocks_[b] = std::make_unique<T[]>(kFirst << b);
    (*this)[size_] = std::move(value);
    ++size_;
  }

  // Each entry, in order, moved to take; the memory goes as it goes.
  template <typename Take>
  void Drain(Take take) {
    for (std::size_t i = 0; i < size_; ++i) {
      take(std::move((*this)[i]));
      if (i + 1 == size_ || Block(i + 1) != Block(i)) blocks_[Block(i)].reset();
    }
    size_ = 0;
  }

 private:
  // Block b holds kFirst << b entries, from (kFirst << b) - kFirst on, so a
  // list of n entries holds room for at most 2n + kFirst.
  static constexpr std::size_t kFirst = 64;
  static int Block(std::size_t i) {
    int b = 0;
    for (std::size_t at = (i + kFirst) / kFirst; at > 1; at >>= 1) ++b;
    return b;
  }

  std::unique_ptr<T[]> blocks_[8 * sizeof(std::size_t) - 6];
  std::size_t size_ = 0;
};

}  // namespace trackmeter

#endif  // TRACKMETER_COMMON_GROWING_LIST_H_
