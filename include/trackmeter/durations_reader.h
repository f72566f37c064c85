// Reading a Durations.bin table: parsing with full validation, and looking a
// relative path up. Header-only, C++17, nothing beyond the standard library:
// copy include/trackmeter/ into a project and use it.
//
//   std::string error;
//   auto table = trackmeter::DurationsTable::Load("Durations.bin", &error);
//   if (!table) { report(error); return; }
//   if (auto seconds = table->Lookup("music/intro.ogg")) play_for(*seconds);
#ifndef TRACKMETER_DURATIONS_READER_H_
#define TRACKMETER_DURATIONS_READER_H_

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "trackmeter/path_hash.h"

namespace trackmeter {

struct DurationEntry {
  uint32_t id = 0;
  float seconds = 0.0f;
};

class DurationsTable {
 public:
  static constexpr std::size_t kHeaderSize = 8;
  static constexpr std::size_t kRecordSize = 8;

  // Parses a whole table. Nothing, with a message in *error that says what is
  // wrong and where, unless: the size is 8 + 8 x count, count >= 1,
  // pass >= 1 and the ids ascend strictly as unsigned numbers.
  static std::optional<DurationsTable> Parse(const void* data, std::size_t size,
                                             std::string* error) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (!CheckLayout(bytes, size, error)) return std::nullopt;
    DurationsTable table;
    table.pass_ = Le32(bytes);
    const std::size_t count = Le32(bytes + 4);
    table.records_.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned char* r = bytes + kHeaderSize + kRecordSize * i;
      DurationEntry& e = table.records_[i];
      e.id = Le32(r);
      const uint32_t bits = Le32(r + 4);
      std::memcpy(&e.seconds, &bits, sizeof e.seconds);
      if (i > 0 && e.id <= table.records_[i - 1].id) {
        *error = "record " + std::to_string(i) + " at offset " +
                 std::to_string(kHeaderSize + kRecordSize * i) + ": id " +
                 std::to_string(e.id) + " does not ascend from " +
                 std::to_string(table.records_[i - 1].id) + " of record " +
                 std::to_string(i - 1);
        return std::nullopt;
      }
    }
    return table;
  }

  // Reads and parses the table at path. The size is checked against the
  // header before the records are read, so a huge file of junk is refused
  // without being read.
  static std::optional<DurationsTable> Load(const std::string& path,
                                            std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
      *error = std::string("cannot open: ") + std::strerror(errno);
      return std::nullopt;
    }
    std::optional<DurationsTable> table;
    std::vector<unsigned char> bytes(kHeaderSize);
    const std::size_t got = std::fread(bytes.data(), 1, kHeaderSize, f);
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    if (std::ferror(f) || size < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
      *error = "cannot read";
    } else if (CheckLayout(bytes.data(),
                           got < kHeaderSize ? uint64_t{got} : uint64_t(size),
                           error)) {
      bytes.resize(static_cast<std::size_t>(size));
      if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        *error = "cannot read";
      } else {
        table = Parse(bytes.data(), bytes.size(), error);
      }
    }
    std::fclose(f);
    return table;
  }

  uint32_t pass() const { return pass_; }
  uint32_t multiplier() const { return MultiplierOfPass(pass_); }
  const std::vector<DurationEntry>& records() const { return records_; }

  // The duration of the record with this id, if there is one.
  std::optional<float> LookupId(uint32_t id) const {
    auto it = std::lower_bound(
        records_.begin(), records_.end(), id,
        [](const DurationEntry& e, uint32_t v) { return e.id < v; });
    if (it == records_.end() || it->id != id) return std::nullopt;
    return it->seconds;
  }

  // The duration of the file at relative_path ("/" or "\" between
  // components, any letter case), if the table holds it. A path that is not
  // in the table may still share an id with one that is.
  std::optional<float> Lookup(std::string_view relative_path) const {
    return LookupId(PathHash(relative_path, multiplier()));
  }

 private:
  static uint32_t Le32(const unsigned char* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
           uint32_t{p[3]} << 24;
  }

  // Checks the header, of which size bytes are there when size < 8, against
  // a table of size bytes in all.
  static bool CheckLayout(const unsigned char* bytes, uint64_t size,
                          std::string* error) {
    if (size < kHeaderSize) {
      *error = "table of " + std::to_string(size) +
               " bytes is shorter than its 8-byte header";
      return false;
    }
    if (Le32(bytes) == 0) {
      *error = "pass at offset 0 is 0; it is at least 1";
      return false;
    }
    const auto count = static_cast<int32_t>(Le32(bytes + 4));
    if (count < 1) {
      *error = "count at offset 4 is " + std::to_string(count) +
               "; a table holds at least 1 record";
      return false;
    }
    const uint64_t expected = kHeaderSize + kRecordSize * uint64_t(count);
    if (size < expected) {
      *error = "count at offset 4 is " + std::to_string(count) + ", which needs " +
               std::to_string(expected) + " bytes; the table has " +
               std::to_string(size);
      return false;
    }
    if (size > expected) {
      *error = std::to_string(size - expected) + " bytes trailing after record " +
               std::to_string(count - 1) + ", from offset " + std::to_string(expected);
      return false;
    }
    return true;
  }

  uint32_t pass_ = 0;
  std::vector<DurationEntry> records_;
};

}  // namespace trackmeter

#endif  // TRACKMETER_DURATIONS_READER_H_
