// SPDX-License-Identifier: MIT
// The items every stage of a run shares: the files found, what measuring
// each gave, and one record per file that the probe, the id search and the
// writer fill in turn.
#ifndef TRACKMETER_COMMON_TYPES_H_
#define TRACKMETER_COMMON_TYPES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace trackmeter {

// Relative paths of the Ogg files, in the order the walk met them. An
// entry's position is its index; entries are never removed or reordered.
using FileList = std::vector<std::string>;

// What measuring one file gave.
enum class Outcome : uint8_t {
  kMeasured,
  kCouldNotOpen,  // missing, no permission, or no regular file
  kNotOggVorbis,  // the library does not take it, or a read failed
};

// One file's entry in the table.
struct DurationRecord {
  uint32_t id = 0;
  float seconds = 0.0f;
};

// Record i stands for FileList entry i until the writer sorts it by id.
using RecordTable = std::vector<DurationRecord>;

}  // namespace trackmeter

#endif  // TRACKMETER_COMMON_TYPES_H_
