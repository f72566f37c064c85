// SPDX-License-Identifier: MIT
// The table the tool exists to write: Durations.bin.
//
// Layout, all integers little-endian, no padding:
//   offset 0   uint32  pass     ids use multiplier pass + 1
//   offset 4   int32   count    n, at least 1
//   offset 8   n records of 8 bytes, ascending by id as unsigned:
//              uint32 id, IEEE 754 binary32 seconds
#ifndef TRACKMETER_OUTPUT_DURATIONS_FILE_H_
#define TRACKMETER_OUTPUT_DURATIONS_FILE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/platform.h"

namespace trackmeter {

extern const char kDurationsFileName[];

// Orders records by id, ascending, compared as unsigned numbers.
void SortRecords(RecordTable* records);

// The bytes of the table for pass and records, in the order records holds.
std::vector<unsigned char> EncodeDurations(uint32_t pass,
                                           const RecordTable& records);

// Replaces Durations.bin in the current directory with the table, in one
// step: it is written to a temporary file beside it, which is then renamed
// over it. False if any step failed; then no temporary file is left and an
// earlier table is as it was. The same holds when a ResourceShortage
// passes through.
bool WriteDurationsFile(Platform& platform, uint32_t pass,
                        const RecordTable& records);

}  // namespace trackmeter

#endif  // TRACKMETER_OUTPUT_DURATIONS_FILE_H_
