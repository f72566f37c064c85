// SPDX-License-Identifier: MIT
// The durations stage: every file found, measured, on as many threads as
// there are workers, with the lines of one thread.
#ifndef TRACKMETER_CATALOGUE_DURATIONS_H_
#define TRACKMETER_CATALOGUE_DURATIONS_H_

#include "catalogue/catalogue.h"
#include "platform/platform.h"

namespace trackmeter {

// One record per entry of files, in the same order, with its seconds set; a
// file that cannot be measured gets 0 and its error line. The lines are
// printed on this thread, in the order of files, each as soon as its file
// and every file before it are measured. Up to workers threads measure the
// files (1: this one alone, no thread is started). A failure of the machine
// on any thread (out of memory) is raised here once all threads have ended.
RecordTable ComputeDurations(Platform& platform, const FileList& files,
                             unsigned workers = 1);

}  // namespace trackmeter

#endif  // TRACKMETER_CATALOGUE_DURATIONS_H_
