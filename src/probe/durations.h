// SPDX-License-Identifier: MIT
// The durations stage: every file found, measured on the workers, with the
// lines of one thread.
#ifndef TRACKMETER_PROBE_DURATIONS_H_
#define TRACKMETER_PROBE_DURATIONS_H_

#include <functional>
#include <string>

#include "common/types.h"
#include "common/workers.h"
#include "console/status.h"
#include "platform/platform.h"

namespace trackmeter {

// Finds the files to measure on the calling thread, handing each path to
// found in order.
using FindFiles = std::function<void(const std::function<void(std::string)>& found)>;

// Every file find finds, in order, in *files, and one record for each with
// its seconds set; a file that cannot be measured gets 0. The workers
// measure each file as it is found; what measuring each gave goes to status
// on this thread, in the order of the files, once find has returned and the
// file and every file before it are measured. A shortage on any worker is
// raised here once find has returned and all workers have ended.
RecordTable ComputeDurations(System& system, Status& status, Workers& workers,
                             const FindFiles& find, FileList* files);

// The same for files known already.
RecordTable ComputeDurations(System& system, Status& status, Workers& workers,
                             const FileList& files);

}  // namespace trackmeter

#endif  // TRACKMETER_PROBE_DURATIONS_H_
