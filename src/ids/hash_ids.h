// SPDX-License-Identifier: MIT
// Ids for the files: PathHash under the first multiplier that keeps them all
// distinct.
#ifndef TRACKMETER_IDS_HASH_IDS_H_
#define TRACKMETER_IDS_HASH_IDS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "common/types.h"
#include "common/scheduler.h"
#include "console/status.h"
#include "trackmeter/path_hash.h"

namespace trackmeter {

// The search gives up after this pass. Up to about 300,000 files need far
// fewer; far more files cannot get distinct 32-bit ids in reasonable time.
constexpr uint32_t kMaxPass = 1u << 20;

// Entries that are equal once folded as PathHash folds them, so that no
// multiplier can tell them apart: one pair (first, other) for every entry
// of such a group after its first, so k alike entries give k - 1 pairs. In
// order of first, then of other.
std::vector<std::pair<std::size_t, std::size_t>> FindFoldedDuplicates(
    const FileList& files);

// Entries that differ once folded but still get the same id under every
// multiplier, in pairs (first, other) as above. Folded duplicates are among
// them too. Cheap: a run reports these before a search that could never end.
std::vector<std::pair<std::size_t, std::size_t>> FindInseparablePairs(
    const FileList& files);

// Sets records[i].id to the id of files[i] under the multiplier of the first
// pass, from 1 up to max_pass, that makes all ids distinct, and returns that
// pass. Nothing when no pass up to max_pass does; the ids are then as they
// were. Entries must be free of folded duplicates, or no pass can succeed.
// The threads of plan try passes at once where that pays; the pass is the
// same whatever their number. Each pass that fails goes to status. A
// failure of the machine on any thread is raised here once all have ended.
std::optional<uint32_t> GenerateHashIds(System& system, const ThreadPlan& plan,
                                        const FileList& files, RecordTable* records,
                                        Status& status, uint32_t max_pass = kMaxPass);

}  // namespace trackmeter

#endif  // TRACKMETER_IDS_HASH_IDS_H_
