// SPDX-License-Identifier: MIT
#include "app/run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/base_path.h"
#include "app/jobs.h"
#include "common/shortage.h"
#include "console/console_status.h"
#include "ids/hash_ids.h"
#include "output/durations_file.h"
#include "probe/durations.h"
#include "scan/scan.h"

namespace trackmeter {

namespace {

// Makes base the current directory: every relative path from here on
// resolves against it.
bool EnterBase(System& system, Status& status, const std::string& base) {
  std::string start;
  const Error asked = system.CurrentDirectory(&start);
  ThrowIfShortage(asked);
  if (asked != Error::kNone) start = ".";
  const Error entered = system.EnterDirectory(base);
  ThrowIfShortage(entered);
  if (entered != Error::kNone) {
    status.CannotEnterBase(base);
    return false;
  }
  status.BaseEntered(AbsoluteBasePath(start, base, kPathSeparator));
  return true;
}

// True if some paths can never get distinct ids: alike but for letter case
// or separator, or different and still alike under every multiplier (found
// in a moment, where the search would run through every pass). Each such
// pair is reported.
bool ReportInseparable(const FileList& files, Status& status) {
  const auto folded = FindFoldedDuplicates(files);
  for (const auto& [i, j] : folded) status.FoldedDuplicate(files[i], files[j]);
  if (!folded.empty()) return true;
  const auto alike = FindInseparablePairs(files);
  for (const auto& [i, j] : alike) status.Inseparable(files[i], files[j]);
  return !alike.empty();
}

// The run after the banner; throws on a shortage.
int Run(const std::string& base, System& system, Status& status, const char* jobs) {
  if (!EnterBase(system, status, base)) return 1;
  const RunPlan plan = PlanRun(system, jobs);

  // Each file is measured as the walk finds it; the lines of the measuring
  // follow the walk's.
  Measuring measuring(system, status, plan.measure, plan.check_headroom);
  ScanDirectory(system, status, "", [&](std::string path) { measuring.Add(std::move(path)); });
  if (measuring.count() == 0) {
    status.NoOggsFound();
    return 0;
  }
  if (plan.jobs_ignored) status.JobsIgnored(jobs, plan.ids.computing);
  Measured measured = measuring.Finish();

  if (ReportInseparable(measured.files, status)) return 1;
  const std::optional<uint32_t> pass =
      GenerateHashIds(system, plan.ids, measured.files, &measured.records, status);
  if (!pass) {
    status.NoMultiplier(measured.files.size());
    return 1;
  }

  SortRecords(&measured.records);
  const bool written = WriteDurationsFile(system, *pass, measured.records);
  RecordTable().swap(measured.records);
  if (!written) {
    status.CouldNotWrite();
    return 1;
  }
  status.Generated(measured.files.size());
  return 0;
}

}  // namespace

int RunTrackmeter(int argc, const char* const* argv, System& system, Status& status,
                  const char* jobs) {
  // A shortage ends the run wherever it is met: whatever was written so far
  // is removed on the way here, and no table is put in place.
  try {
    status.Banner();
    // Only these exact words: a directory of such a name is reached as ./--help.
    const char* first = argc > 1 ? argv[1] : "";
    if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0) {
      status.Help();
      return 0;
    }
    if (std::strcmp(first, "--version") == 0) {
      status.Version();
      return 0;
    }
    return Run(argc > 1 ? argv[1] : ".", system, status, jobs);
  } catch (const std::bad_alloc&) {
    status.OutOfMemory();
  } catch (const DescriptorShortage&) {
    status.TooManyOpenFiles();
  }
  return 1;
}

int RunOnConsole(int argc, const char* const* argv, System& system) {
  const bool room = PrepareForShortage();
  LinePrinter printer(stdout, stderr, &system);
  ConsoleStatus status(printer);
  int code = 1;
  bool started = false;
  if (room) {
    try {
      const std::vector<std::string> args = CommandLine(argc, argv);
      std::vector<const char*> pointers;
      for (const std::string& arg : args) pointers.push_back(arg.c_str());
      started = true;
      code = RunTrackmeter(static_cast<int>(pointers.size()), pointers.data(), system, status,
                           std::getenv("TRACKMETER_JOBS"));
    } catch (const std::bad_alloc&) {
      // The command line itself did not fit.
    }
  }
  if (!started) {
    status.Banner();
    status.OutOfMemory();
  }
  if (!printer.LinesLost()) return code;
  status.LinesLost();  // once the table is in place: the run still did its work
  return 1;
}

}  // namespace trackmeter
