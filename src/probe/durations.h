// SPDX-License-Identifier: MIT
// The durations stage: every file the walk finds, measured on the threads
// as it is found, with the lines of one thread.
#ifndef TRACKMETER_PROBE_DURATIONS_H_
#define TRACKMETER_PROBE_DURATIONS_H_

#include <string>

#include "common/growing_list.h"
#include "common/scheduler.h"
#include "common/types.h"
#include "console/status.h"
#include "platform/platform.h"
#include "probe/probe.h"

namespace trackmeter {

// The files measured, in the order found, and a record for each.
struct Measured {
  FileList files;
  RecordTable records;  // seconds set: 0 for a file that cannot be measured
};

class Measuring {
 public:
  // check_headroom: memory may be refused (MemoryMayBeRefused).
  Measuring(System& system, Status& status, const ThreadPlan& plan, bool check_headroom);

  // A file found, after every file added before it.
  void Add(std::string path);
  std::size_t count() const { return found_.size(); }

  // Every file added, measured, and what measuring each gave to status in
  // their order. A shortage is raised once every thread has ended, after
  // the lines of the files before the one it stopped.
  Measured Finish();

 private:
  struct Found {
    std::string path;
    ProbeResult result{Outcome::kMeasured, 0.0f};
  };

  Status& status_;
  GrowingList<Found> found_;
  Scheduler scheduler_;  // after found_: its threads are gone before found_ is
};

}  // namespace trackmeter

#endif  // TRACKMETER_PROBE_DURATIONS_H_
