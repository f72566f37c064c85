// SPDX-License-Identifier: MIT
#include "app/run.h"

#include <new>
#include <optional>
#include <string>

#include "app/jobs.h"
#include "catalogue/catalogue.h"
#include "catalogue/durations.h"
#include "catalogue/hash_ids.h"
#include "console/console.h"
#include "console/progress.h"
#include "output/durations_file.h"
#include "scan/scan.h"

namespace trackmeter {

namespace {

// True if some paths can never get distinct ids; each such pair is printed.
bool ReportFoldedDuplicates(const FileList& files) {
  const auto pairs = FindFoldedDuplicates(files);
  for (const auto& [i, j] : pairs) PrintFoldedDuplicate(files[i], files[j]);
  return !pairs.empty();
}

// The same for paths that differ but hash alike under every multiplier:
// found in a moment, where the search would run through every pass.
bool ReportInseparablePairs(const FileList& files) {
  const auto pairs = FindInseparablePairs(files);
  for (const auto& [i, j] : pairs) PrintInseparable(files[i], files[j]);
  return !pairs.empty();
}

// The run after the banner; throws on a shortage.
int Run(int argc, const char* const* argv, Platform& platform) {
  // Every relative path from here on resolves against the base directory.
  const std::string base = argc > 1 ? argv[1] : ".";
  if (!platform.EnterDirectory(base)) {
    PrintCannotEnterBase(base);
    return 1;
  }
  PrintBaseDirectory(platform.CurrentDirectory());

  FileList files;
  ScanDirectory(platform, "", &files);
  if (files.empty()) {
    PrintNoOggsFound();
    return 0;
  }

  const unsigned workers = WorkersForRun();
  RecordTable records = ComputeDurations(platform, files, workers);
  if (ReportFoldedDuplicates(files) || ReportInseparablePairs(files)) return 1;
  const std::optional<uint32_t> pass = GenerateHashIds(files, &records, kMaxPass, workers);
  if (!pass) {
    PrintNoMultiplier(files.size());
    return 1;
  }

  SortRecords(&records);
  const bool written = WriteDurationsFile(platform, *pass, records);
  RecordTable().swap(records);
  if (!written) {
    PrintCouldNotWrite();
    return 1;
  }
  PrintGenerated(files.size());
  return 0;
}

}  // namespace

int RunTrackmeter(int argc, const char* const* argv, Platform& platform) {
  PrintBanner();
  if (StandardErrorIsTerminal()) EnableProgress();
  const MemoryReserve reserve;
  if (!reserve.held()) {
    PrintOutOfMemory();
    return 1;
  }
  // A shortage ends the run wherever it is met; whatever was written so far
  // is removed on the way here, and no table is put in place.
  try {
    return Run(argc, argv, platform);
  } catch (const ResourceShortage& shortage) {
    if (shortage.resource() == Resource::kMemory)
      PrintOutOfMemory();
    else
      PrintTooManyOpenFiles();
  } catch (const std::bad_alloc&) {
    PrintOutOfMemory();
  }
  return 1;
}

}  // namespace trackmeter
