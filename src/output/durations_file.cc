// SPDX-License-Identifier: MIT
#include "output/durations_file.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "common/shortage.h"
#include "trackmeter/durations.h"

namespace trackmeter {

const char kDurationsFileName[] = "Durations.bin";

namespace {

// A program that holds the just-closed table for a moment (an indexer, a
// virus scanner on Windows) has the rename tried again for about a second.
constexpr int kRenameRetries = 5;
constexpr auto kRenameWait = std::chrono::milliseconds(200);

// Byte by byte, so the table is the same whatever the host's byte order.
unsigned char* PutLittleEndian32(unsigned char* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) *out++ = static_cast<unsigned char>(v >> (8 * i));
  return out;
}

uint32_t FloatBits(float f) {
  static_assert(sizeof(float) == 4, "seconds are IEEE 754 binary32");
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

// The temporary table beside the table; removed unless it was put in
// place, also when a shortage or a signal ends the run.
class TemporaryTable {
 public:
  TemporaryTable(System& system, const std::string& path) : system_(system), path_(path) {}
  ~TemporaryTable() {
    if (!placed_) {
      try {
        system_.Remove(path_);
      } catch (...) {
        // Not even the memory to name the file: nothing more can be done.
      }
    }
    system_.RemoveOnEnd("");
  }
  TemporaryTable(const TemporaryTable&) = delete;
  TemporaryTable& operator=(const TemporaryTable&) = delete;

  bool PlaceAs(const std::string& target) {
    for (int retry = 0;; ++retry) {
      const Error error = system_.RenameOver(path_, target);
      ThrowIfShortage(error);
      if (error != Error::kBusy || retry == kRenameRetries) {
        placed_ = error == Error::kNone;
        return placed_;
      }
      std::this_thread::sleep_for(kRenameWait);
    }
  }

 private:
  System& system_;
  const std::string& path_;  // had before the file existed: no allocation after
  bool placed_ = false;
};

// A new, empty file beside path, named for this process and a number not
// taken yet; its name goes to temp, whose memory is had before the file
// exists, so that a shortage never leaves it behind. A signal that ends the
// run removes it: that is set before it exists, so no moment is unguarded.
std::unique_ptr<OutputFile> CreateBeside(System& system, const std::string& path,
                                         std::string* temp) {
  const std::string stem = path + ".tmp" + std::to_string(system.ProcessId()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = stem + std::to_string(attempt);
    ThrowIfShortage(system.RemoveOnEnd(*temp));
    std::unique_ptr<OutputFile> file;
    const Error error = system.CreateExclusive(*temp, &file);
    if (error == Error::kNone) return file;
    system.RemoveOnEnd("");
    if (error == Error::kExists) continue;
    ThrowIfShortage(error);
    return nullptr;
  }
  return nullptr;
}

// Run as root over a user's tree, the user must still be able to replace
// the table next time; of its mode it keeps the permission bits only,
// never setuid, setgid or sticky.
void KeepOwnerAndPermissions(OutputFile& file, const FileStatus& old) {
  if (!old.has_owner) return;
  if (file.SetOwner(old.owner, old.group) != Error::kNone)
    file.SetOwner(OutputFile::kUnchanged, old.group);  // else this user's, in this user's group
  file.SetMode(old.mode & 0777);
}

}  // namespace

void SortRecords(RecordTable* records) {
  std::sort(records->begin(), records->end(),
            [](const DurationRecord& a, const DurationRecord& b) { return a.id < b.id; });
}

std::vector<unsigned char> EncodeDurations(uint32_t pass, const RecordTable& records) {
  std::vector<unsigned char> bytes(TRACKMETER_HEADER_SIZE +
                                   TRACKMETER_RECORD_SIZE * records.size());
  unsigned char* out = PutLittleEndian32(bytes.data(), pass);
  out = PutLittleEndian32(out, static_cast<uint32_t>(records.size()));
  for (const DurationRecord& r : records) {
    out = PutLittleEndian32(out, r.id);
    out = PutLittleEndian32(out, FloatBits(r.seconds));
  }
  return bytes;
}

bool WriteDurationsFile(System& system, uint32_t pass, const RecordTable& records) {
  const std::vector<unsigned char> bytes = EncodeDurations(pass, records);
  // A link at the table's place is replaced, never followed, so its target
  // (perhaps outside the tree) is neither written nor asked for its mode.
  FileStatus old;
  const Error asked = system.StatusOf(kDurationsFileName, &old);
  ThrowIfShortage(asked);
  const bool replaces = asked == Error::kNone && old.regular;
  if (replaces && !old.writable) return false;
  std::string temp;
  std::unique_ptr<OutputFile> out = CreateBeside(system, kDurationsFileName, &temp);
  if (!out) return false;
  TemporaryTable table(system, temp);
  if (replaces) KeepOwnerAndPermissions(*out, old);
  // Header fields and the records as separate writes, as the table is laid
  // out; any failure leaves the old table alone.
  const std::size_t header = TRACKMETER_HEADER_SIZE;
  Error error = out->Write(bytes.data(), 4);
  if (error == Error::kNone) error = out->Write(bytes.data() + 4, 4);
  if (error == Error::kNone) error = out->Write(bytes.data() + header, bytes.size() - header);
  if (error == Error::kNone) error = out->Flush();
  if (error == Error::kNone) error = out->Close();
  out.reset();
  ThrowIfShortage(error);
  return error == Error::kNone && table.PlaceAs(kDurationsFileName);
}

}  // namespace trackmeter
