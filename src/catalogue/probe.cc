// SPDX-License-Identifier: MIT
#include "catalogue/probe.h"

#include <cerrno>
#include <climits>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>


namespace trackmeter {

namespace {

// The library's view of an OggStream: the calls it makes of a stdio stream
// through ov_open, with ours in place of stdio's. It tells a read error
// from the end by errno, as it does after fread.
std::size_t ReadStream(void* out, std::size_t size, std::size_t count, void* source) {
  auto* stream = static_cast<OggStream*>(source);
  if (size == 0) return 0;
  const std::size_t got = stream->Read(out, size * count);
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

}  // namespace

ProbeResult ProbeDuration(Prober& prober, const std::string& path) {
  const std::unique_ptr<InputFile> input = prober.platform.OpenForReading(path);
  if (input == nullptr) return {ProbeResult::Outcome::kCouldNotOpen, 0.0f};
  OggStream stream(*input, &prober.buffers);
  OggVorbis_File vf;
  if (ov_open_callbacks(&stream, &vf, nullptr, 0, kStreamCallbacks) != 0)
    return {ProbeResult::Outcome::kNotOggVorbis, 0.0f};
  const double total = ov_time_total(&vf, -1);
  ov_clear(&vf);
  // A read that failed while the library opened the file (or a stream that
  // refuses to serve a file many times over) leaves no trustworthy total.
  if (stream.failed()) return {ProbeResult::Outcome::kNotOggVorbis, 0.0f};
  // A negative total is the library's error value, not a time.
  return {ProbeResult::Outcome::kMeasured, total < 0.0 ? 0.0f : static_cast<float>(total)};
}

}  // namespace trackmeter
