// SPDX-License-Identifier: MIT
#include "output/durations_file.h"

#include <algorithm>
#include <cstring>

namespace trackmeter {

const char kDurationsFileName[] = "Durations.bin";

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kRecordSize = 8;

// Byte by byte, so the table is the same whatever the host's byte order.
unsigned char* PutLittleEndian32(unsigned char* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) *out++ = static_cast<unsigned char>(v >> (8 * i));
  return out;
}

// Removes the temporary table unless it was put in place, also when a
// shortage unwinds the run.
class TemporaryTable {
 public:
  TemporaryTable(Platform& platform, const std::string& path)
      : platform_(platform), path_(path) {}
  ~TemporaryTable() {
    if (placed_) return;
    try {
      platform_.RemoveFile(path_);
    } catch (...) {
      // Not even the memory to name the file: nothing more can be done.
    }
  }
  TemporaryTable(const TemporaryTable&) = delete;
  TemporaryTable& operator=(const TemporaryTable&) = delete;

  bool PlaceAs(const std::string& target) {
    placed_ = platform_.ReplaceFile(path_, target);
    return placed_;
  }

 private:
  Platform& platform_;
  const std::string& path_;
  bool placed_ = false;
};

uint32_t FloatBits(float f) {
  static_assert(sizeof(float) == 4, "seconds are IEEE 754 binary32");
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

}  // namespace

void SortRecords(RecordTable* records) {
  std::sort(records->begin(), records->end(),
            [](const DurationRecord& a, const DurationRecord& b) {
              return a.id < b.id;
            });
}

std::vector<unsigned char> EncodeDurations(uint32_t pass,
                                           const RecordTable& records) {
  std::vector<unsigned char> bytes(kHeaderSize + kRecordSize * records.size());
  unsigned char* out = PutLittleEndian32(bytes.data(), pass);
  out = PutLittleEndian32(out, static_cast<uint32_t>(records.size()));
  for (const DurationRecord& r : records) {
    out = PutLittleEndian32(out, r.id);
    out = PutLittleEndian32(out, FloatBits(r.seconds));
  }
  return bytes;
}

bool WriteDurationsFile(Platform& platform, uint32_t pass,
                        const RecordTable& records) {
  const std::vector<unsigned char> bytes = EncodeDurations(pass, records);
  std::string temp;
  std::unique_ptr<OutputFile> out =
      platform.CreateTemporary(kDurationsFileName, &temp);
  if (!out) return false;
  TemporaryTable table(platform, temp);
  // Header fields and the records as separate writes, as the table is laid
  // out; any failure leaves the old table alone.
  const bool written = out->Write(bytes.data(), 4) &&
                       out->Write(bytes.data() + 4, 4) &&
                       out->Write(bytes.data() + kHeaderSize,
                                  bytes.size() - kHeaderSize) &&
                       out->Flush() && out->Close();
  out.reset();
  return written && table.PlaceAs(kDurationsFileName);
}

}  // namespace trackmeter
