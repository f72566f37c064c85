// SPDX-License-Identifier: MIT
#include "app/run.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <utility>

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
int Run(int argc, const char* const* argv, System& system, Status& status, const char* jobs) {
  // Every relative path from here on resolves against the base directory.
  const std::string base = argc > 1 ? argv[1] : ".";
  std::string start;
  const Error asked = system.CurrentDirectory(&start);
  ThrowIfShortage(asked);
  if (asked != Error::kNone) start = ".";
  const Error entered = system.EnterDirectory(base);
  ThrowIfShortage(entered);
  if (entered != Error::kNone) {
    status.CannotEnterBase(base);
    return 1;
  }
  status.BaseEntered(AbsoluteBasePath(start, base, kPathSeparator));

  // The workers measure each file as the walk finds it; their lines come
  // once the walk's are out.
  const RunWorkers workers = WorkersForRun(system, jobs);
  Workers probe_workers(workers.probe, workers.readers, system);
  FileList files;
  const auto find = [&](const std::function<void(std::string)>& found) {
    bool any = false;
    ScanDirectory(system, status, "", [&](std::string path) {
      any = true;
      found(std::move(path));
    });
    if (!any) status.NoOggsFound();
    if (any && workers.jobs_ignored) status.JobsIgnored(jobs, workers.ids);
  };
  RecordTable records = ComputeDurations(system, status, probe_workers, find, &files);
  if (files.empty()) return 0;
  if (ReportInseparable(files, status)) return 1;
  Workers id_workers(workers.ids);
  const std::optional<uint32_t> pass = GenerateHashIds(files, &records, status, id_workers);
  if (!pass) {
    status.NoMultiplier(files.size());
    return 1;
  }

  SortRecords(&records);
  const bool written = WriteDurationsFile(system, *pass, records);
  RecordTable().swap(records);
  if (!written) {
    status.CouldNotWrite();
    return 1;
  }
  status.Generated(files.size());
  return 0;
}

}  // namespace

int RunTrackmeter(int argc, const char* const* argv, System& system, Status& status,
                  const char* jobs) {
  status.Banner();
  // A shortage ends the run wherever it is met: whatever was written so far
  // is removed on the way here, and no table is put in place.
  try {
    return Run(argc, argv, system, status, jobs);
  } catch (const std::bad_alloc&) {
    status.OutOfMemory();
  } catch (const DescriptorShortage&) {
    status.TooManyOpenFiles();
  }
  return 1;
}

int RunOnConsole(int argc, const char* const* argv, System& system) {
  LinePrinter printer(stdout, stderr, &system);
  ConsoleStatus status(printer);
  const int code = RunTrackmeter(argc, argv, system, status, std::getenv("TRACKMETER_JOBS"));
  if (!printer.LinesLost()) return code;
  status.LinesLost();  // once the table is in place: the run still did its work
  return 1;
}

}  // namespace trackmeter
