// SPDX-License-Identifier: MIT
// Real Ogg Vorbis files made on the spot, for the tests, the sample tree and
// the benchmarks, so that no audio of unknown origin sits in the tree.
#ifndef TRACKMETER_TOOLS_OGG_MAKER_H_
#define TRACKMETER_TOOLS_OGG_MAKER_H_

#include <string>

namespace trackmeter {

// The bytes of an Ogg Vorbis stream of exactly frames samples per channel at
// rate Hz: a quiet tone of the given pitch, with white noise of the given
// amplitude mixed in (noise makes big files). serial tells the streams of a
// chained file apart; concatenate two encodings with different serials for
// one. Aborts if the encoder refuses the settings.
std::string EncodeVorbis(int channels, long rate, long frames, int serial = 1,
                         double pitch = 440.0, double noise = 0.0);

// stream (pages as EncodeVorbis gives them) with every page moved to the
// given serial number: cheap copies for the links of a long chain.
std::string WithSerial(const std::string& stream, int serial);

// Writes bytes to path, replacing it. False on failure.
bool WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace trackmeter

#endif  // TRACKMETER_TOOLS_OGG_MAKER_H_
