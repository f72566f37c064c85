// SPDX-License-Identifier: MIT
// The bytes the vorbisfile library reads of one file, through positional
// reads of the system's file: no more of it than the library needs
// (OggBytesToShow), a small file from memory, a large one from windows at
// its head and tail and from steps of 16 KiB elsewhere, and no more in all
// than a bound that a real file never meets.
#ifndef TRACKMETER_PROBE_OGG_STREAM_H_
#define TRACKMETER_PROBE_OGG_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/platform.h"

namespace trackmeter {

// Memory for a stream's windows, kept for the next file: fresh memory from
// the system would be cleared page by page for every file. Belongs to one
// prober, so to one thread.
class StreamBuffers {
 public:
  // A buffer of at least n bytes, not cleared; its size goes to *capacity.
  std::unique_ptr<unsigned char[]> Take(std::size_t n, std::size_t* capacity);
  // Takes back a buffer from Take, to keep or to free.
  void Give(std::unique_ptr<unsigned char[]> bytes, std::size_t capacity);

 private:
  struct Spare {
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t capacity;
  };
  std::vector<Spare> spares_;
};

// Bytes [offset, offset + size) of a file, in a buffer of the pool's.
class Window {
 public:
  explicit Window(StreamBuffers* pool) : pool_(pool) {}
  Window(Window&& other) noexcept;
  Window& operator=(Window&& other) noexcept;
  ~Window() { Release(); }

  // Room for n bytes; what it held is lost.
  void Resize(std::size_t n);
  bool Holds(uint64_t at) const { return at >= offset && at - offset < size; }
  bool Holds(uint64_t at, std::size_t n) const {
    return at >= offset && at - offset <= size && size - (at - offset) >= n;
  }
  unsigned char* data() const { return bytes_.get(); }

  std::size_t size = 0;
  uint64_t offset = 0;

 private:
  void Release();

  StreamBuffers* pool_;
  std::unique_ptr<unsigned char[]> bytes_;  // not cleared: every byte is read over
  std::size_t capacity_ = 0;
};

// A read-only stream over the first length() bytes of input, with the
// semantics of a stdio stream opened "rb": Read as fread, Seek as fseek,
// Tell as ftell. input must outlive it.
class OggStream {
 public:
  // Reads what the page scan needs of input at once.
  OggStream(InputFile& input, StreamBuffers* buffers);

  // How many bytes of the file the library is shown, and how many chained
  // streams it will recurse through in them.
  uint64_t length() const { return length_; }
  uint64_t streams() const { return streams_; }
  // Up to size bytes from the current position; fewer only at the end of
  // what is shown, or when the stream has failed.
  std::size_t Read(void* out, std::size_t size);
  // False, and no move, for a position before the start or an unknown
  // whence (SEEK_SET, SEEK_CUR or SEEK_END).
  bool Seek(int64_t offset, int whence);
  uint64_t Tell() const { return pos_; }
  // A read of the file failed, or the stream served more than its bound:
  // whatever the library made of the file is not to be trusted.
  bool failed() const { return failed_; }
  // Fails the stream because memory ran out while it served a read.
  void FailForWantOfMemory() { failed_ = out_of_memory_ = true; }
  bool out_of_memory() const { return out_of_memory_; }

 private:
  InputFile* input_;  // null once everything shown is in memory
  uint64_t length_ = 0;
  uint64_t streams_ = 1;
  uint64_t cap_ = 0;
  uint64_t pos_ = 0;
  uint64_t served_ = 0;
  bool failed_ = false;
  bool out_of_memory_ = false;
  Window head_, tail_, step_;
};

// How many bytes a stream over a file of length bytes serves before it
// fails: the library reads a file a few times over at most, a long chain
// (4,096 links) about 60 times.
uint64_t StreamReadCap(uint64_t length);

}  // namespace trackmeter

#endif  // TRACKMETER_PROBE_OGG_STREAM_H_
