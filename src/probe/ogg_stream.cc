// SPDX-License-Identifier: MIT
#include "probe/ogg_stream.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "probe/ogg_pages.h"

namespace trackmeter {

namespace {

// Files up to this size are read whole with one call and served from
// memory: the library's many small reads and seeks cost more than reading
// it all. Above it the library reads little of a file (its head and its
// tail), and reading all of it would cost more than the calls.
constexpr uint64_t kWholeFileBound = 128 * 1024;
// What a stream reads from the file for the library at one time.
constexpr std::size_t kReadStep = 16 * 1024;

constexpr std::size_t kSpareBuffers = 4;
constexpr std::size_t kLargestSpare = 256 * 1024;

// Exactly size bytes at offset into out, or false.
bool ReadExactly(InputFile& input, uint64_t offset, unsigned char* out, std::size_t size) {
  return input.ReadAt(offset, out, size) == static_cast<int64_t>(size);
}

// The page scan's view of a large file, read through two windows; the
// stream then takes over the one at the head and the one at the tail.
class FileBytes final : public ByteSource {
 public:
  FileBytes(InputFile& input, StreamBuffers* pool)
      : input_(input), windows_{Window(pool), Window(pool)} {}

  const unsigned char* Bytes(uint64_t offset, std::size_t size) override {
    for (Window& w : windows_)
      if (w.size > 0 && w.Holds(offset, size)) return w.data() + (offset - w.offset);
    Window& w = windows_[next_];
    next_ ^= 1;
    w.Resize(size);
    w.offset = offset;
    if (!ReadExactly(input_, offset, w.data(), size)) {
      w.size = 0;
      return nullptr;
    }
    return w.data();
  }

  // The window that starts at offset, or leaves into as it is.
  void Take(uint64_t offset, Window* into) {
    for (Window& w : windows_)
      if (w.size > 0 && w.offset == offset) {
        *into = std::move(w);
        return;
      }
  }

 private:
  InputFile& input_;
  Window windows_[2];
  int next_ = 0;
};

class MemoryBytes final : public ByteSource {
 public:
  explicit MemoryBytes(const Window& w) : w_(w) {}
  const unsigned char* Bytes(uint64_t offset, std::size_t size) override {
    return w_.Holds(offset, size) ? w_.data() + offset : nullptr;
  }

 private:
  const Window& w_;
};

}  // namespace

uint64_t StreamReadCap(uint64_t length) { return 64 * length + (64u << 20); }

std::unique_ptr<unsigned char[]> StreamBuffers::Take(std::size_t n, std::size_t* capacity) {
  auto fits = std::find_if(spares_.begin(), spares_.end(),
                           [n](const Spare& s) { return s.capacity >= n; });
  if (fits == spares_.end()) {
    *capacity = n;
    return std::unique_ptr<unsigned char[]>(new unsigned char[n]);
  }
  std::unique_ptr<unsigned char[]> bytes = std::move(fits->bytes);
  *capacity = fits->capacity;
  spares_.erase(fits);
  return bytes;
}

void StreamBuffers::Give(std::unique_ptr<unsigned char[]> bytes, std::size_t capacity) {
  if (bytes != nullptr && capacity <= kLargestSpare && spares_.size() < kSpareBuffers)
    spares_.push_back(Spare{std::move(bytes), capacity});
}

Window::Window(Window&& other) noexcept
    : size(other.size), offset(other.offset), pool_(other.pool_),
      bytes_(std::move(other.bytes_)), capacity_(other.capacity_) {
  other.size = other.capacity_ = 0;
}

Window& Window::operator=(Window&& other) noexcept {
  if (this != &other) {
    Release();
    size = other.size;
    offset = other.offset;
    pool_ = other.pool_;
    bytes_ = std::move(other.bytes_);
    capacity_ = other.capacity_;
    other.size = other.capacity_ = 0;
  }
  return *this;
}

void Window::Resize(std::size_t n) {
  if (n > capacity_) {
    Release();
    bytes_ = pool_->Take(n, &capacity_);
  }
  size = n;
}

void Window::Release() {
  if (bytes_ != nullptr) pool_->Give(std::move(bytes_), capacity_);
  capacity_ = size = 0;
}

OggStream::OggStream(InputFile& input, StreamBuffers* buffers)
    : input_(&input), head_(buffers), tail_(buffers), step_(buffers) {
  uint64_t size = input.Size();
  if (size <= kWholeFileBound) {
    // One read, one byte more than the file had: a short count is its end.
    head_.Resize(static_cast<std::size_t>(size) + 1);
    const int64_t got = input.ReadAt(0, head_.data(), head_.size);
    if (got < 0) {
      failed_ = true;
      head_.size = 0;
      return;
    }
    if (static_cast<uint64_t>(got) <= size) {
      head_.size = static_cast<std::size_t>(got);
      MemoryBytes bytes(head_);
      length_ = OggBytesToShow(bytes, head_.size, &streams_).value_or(head_.size);
      cap_ = StreamReadCap(length_);
      input_ = nullptr;
      return;
    }
    head_.size = 0;  // it grew since it was opened: the size it had counts
  }
  FileBytes bytes(input, buffers);
  const std::optional<uint64_t> show = OggBytesToShow(bytes, size, &streams_);
  if (!show) {
    failed_ = true;
    return;
  }
  length_ = *show;
  cap_ = StreamReadCap(length_);
  bytes.Take(0, &head_);
  bytes.Take(size > kTailView ? size - kTailView : 0, &tail_);
}

std::size_t OggStream::Read(void* out, std::size_t n) {
  if (failed_) return 0;
  if (served_ > cap_) {
    failed_ = true;
    return 0;
  }
  if (pos_ >= length_) return 0;
  n = static_cast<std::size_t>(std::min<uint64_t>(n, length_ - pos_));
  unsigned char* const to = static_cast<unsigned char*>(out);
  std::size_t done = 0;
  while (done < n) {
    const Window* w = head_.Holds(pos_) ? &head_ : tail_.Holds(pos_) ? &tail_
                    : step_.Holds(pos_) ? &step_ : nullptr;
    if (w == nullptr) {
      if (input_ == nullptr) break;
      step_.Resize(static_cast<std::size_t>(std::min<uint64_t>(kReadStep, length_ - pos_)));
      step_.offset = pos_;
      const int64_t got = input_->ReadAt(pos_, step_.data(), step_.size);
      if (got < 0) {
        step_.size = 0;
        failed_ = true;
        break;
      }
      step_.size = static_cast<std::size_t>(got);
      if (got == 0) break;  // the file shrank: its end is here now
      w = &step_;
    }
    const std::size_t take = static_cast<std::size_t>(
        std::min<uint64_t>(n - done, w->offset + w->size - pos_));
    std::memcpy(to + done, w->data() + (pos_ - w->offset), take);
    done += take;
    pos_ += take;
  }
  served_ += done;
  return done;
}

bool OggStream::Seek(int64_t offset, int whence) {
  int64_t base;
  switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<int64_t>(pos_); break;
    case SEEK_END: base = static_cast<int64_t>(length_); break;
    default: return false;
  }
  if (offset < -base || offset > INT64_MAX - base) return false;
  pos_ = static_cast<uint64_t>(base + offset);
  return true;
}

}  // namespace trackmeter
