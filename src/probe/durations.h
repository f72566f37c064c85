// SPDX-License-Identifier: MIT
// The durations stage: every file found, measured on the workers, with the
// lines of one thread.
#ifndef TRACKMETER_PROBE_DURATIONS_H_
#define TRACKMETER_PROBE_DURATIONS_H_

#include "common/types.h"
#include "common/workers.h"
#include "console/status.h"
#include "platform/platform.h"

namespace trackmeter {

// One record per entry of files, in the same order, with its seconds set; a
// file that cannot be measured gets 0. What measuring each file gave goes
// to status on this thread, in the order of files, as soon as the file and
// every file before it are measured. A shortage on any worker is raised
// here once all have ended.
RecordTable ComputeDurations(System& system, Status& status, Workers& workers,
                             const FileList& files);

}  // namespace trackmeter

#endif  // TRACKMETER_PROBE_DURATIONS_H_
