// SPDX-License-Identifier: MIT
// The table the tool exists to write: Durations.bin, laid out as
// include/trackmeter/durations.h describes it.
#ifndef TRACKMETER_OUTPUT_DURATIONS_FILE_H_
#define TRACKMETER_OUTPUT_DURATIONS_FILE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/types.h"
#include "platform/platform.h"

namespace trackmeter {

extern const char kDurationsFileName[];

// Orders records by id, ascending, compared as unsigned numbers.
void SortRecords(RecordTable* records);

// The bytes of the table for pass and records, in the order records holds.
std::vector<unsigned char> EncodeDurations(uint32_t pass, const RecordTable& records);

// Replaces Durations.bin in the current directory with the table, in one
// step: it is written to a temporary file beside it, which is then renamed
// over it. A table this user may not write is protected on purpose and
// left alone; a replaced one keeps its owner and group as far as this
// process may set them, and its permission bits. False if any step failed;
// then no temporary file is left and an earlier table is as it was. The
// same holds when a shortage is thrown.
bool WriteDurationsFile(System& system, uint32_t pass, const RecordTable& records);

}  // namespace trackmeter

#endif  // TRACKMETER_OUTPUT_DURATIONS_FILE_H_
