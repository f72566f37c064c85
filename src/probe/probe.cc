// SPDX-License-Identifier: MIT
#include "probe/probe.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>
#include <optional>

#include "common/shortage.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

namespace trackmeter {

namespace {

// More than the library needs for any common file (about 100 KiB of headers
// and codebooks), with the stream's windows.
constexpr std::size_t kProbeHeadroom = 2 << 20;

// What the calling thread's stack holds besides the library's recursion.
constexpr std::size_t kCallerStack = 64 << 10;

// Many of the library's allocations go unchecked, and a failed one may
// crash it; the others come back as a file it cannot open. So where memory
// may be refused it never starts on a file short of this headroom, and a
// file it refuses once the headroom is gone was refused for want of
// memory, not for its bytes. (The check would race with another prober's
// library, so there only one prober runs.) The headroom is asked for and
// given back untouched: it costs no memory.
void RequireHeadroom(const Prober& prober) {
  if (!prober.headroom) return;
  void* const room = std::malloc(kProbeHeadroom);
  if (room == nullptr) ThrowOutOfMemory();
  std::free(room);
}

// The library's view of an OggStream: the calls it makes of a stdio stream
// through ov_open, with ours in place of stdio's. It tells a read error
// from the end by errno, as it does after fread. No exception may pass
// through the library: a failed allocation is a failed read here, and the
// probe raises it once the library has let go.
std::size_t ReadStream(void* out, std::size_t size, std::size_t count, void* source) {
  auto* stream = static_cast<OggStream*>(source);
  if (size == 0) return 0;
  std::size_t got = 0;
  try {
    // The library hands over the buffer it failed to allocate unchecked.
    if (out == nullptr) stream->FailForWantOfMemory();
    else got = stream->Read(out, size * count);
  } catch (const std::bad_alloc&) {
    stream->FailForWantOfMemory();
  }
  if (got == 0 && stream->failed()) errno = EIO;
  return got / size;
}

int SeekStream(void* source, ogg_int64_t offset, int whence) {
  return static_cast<OggStream*>(source)->Seek(offset, whence) ? 0 : -1;
}

// A long is 32 bits on Windows; a position it cannot hold is an error, not
// a wrapped number.
long TellStream(void* source) {
  const uint64_t at = static_cast<OggStream*>(source)->Tell();
  return at > static_cast<uint64_t>(LONG_MAX) ? -1 : static_cast<long>(at);
}

// No close: the probe owns the file and closes it itself.
constexpr ov_callbacks kStreamCallbacks = {ReadStream, SeekStream, nullptr, TellStream};

// The file was refused: for its bytes, or for want of memory.
ProbeResult Refused(Prober& prober, const OggStream& stream) {
  if (stream.out_of_memory()) ThrowOutOfMemory();
  RequireHeadroom(prober);
  return {Outcome::kNotOggVorbis, 0.0f};
}

}  // namespace

bool MemoryMayBeRefused(System& system) {
  if (system.MemoryLimited()) return true;
  std::unique_ptr<InputFile> mode;  // Linux's; "2": never overcommit
  char c = 0;
  return system.OpenForReading("/proc/sys/vm/overcommit_memory", &mode) == Error::kNone &&
         mode->ReadAt(0, &c, 1) == 1 && c == '2';
}

ProbeResult ProbeDuration(Prober& prober, const std::string& path) {
  RequireHeadroom(prober);
  std::unique_ptr<InputFile> input;
  std::optional<OggStream> stream;
  {
    // The open and the stream's first reads are what waits on slow storage.
    const Seat::StorageWait waiting(prober.seat);
    const Error opened = prober.system.OpenForReading(path, &input);
    ThrowIfShortage(opened);
    if (opened != Error::kNone) return {Outcome::kCouldNotOpen, 0.0f};
    stream.emplace(*input, &prober.buffers);
  }
  // Where no thread could be had for it, the calling thread measures: a
  // chain it has not the stack for is a shortage, not a crash.
  if (prober.seat.stack() == 0 && stream->streams() > 1 && stream->length() > 0 &&
      kStackPerStream * stream->streams() + kCallerStack > prober.system.MainStackLimit())
    ThrowOutOfMemory();
  OggVorbis_File vf;
  if (ov_open_callbacks(&*stream, &vf, nullptr, 0, kStreamCallbacks) != 0)
    return Refused(prober, *stream);
  const double total = ov_time_total(&vf, -1);
  ov_clear(&vf);
  // A read that failed while the library opened the file (or a stream that
  // refuses to serve a file many times over) leaves no trustworthy total.
  if (stream->failed()) return Refused(prober, *stream);
  // A negative total is the library's error value, not a time.
  return {Outcome::kMeasured, total < 0.0 ? 0.0f : static_cast<float>(total)};
}

}  // namespace trackmeter
