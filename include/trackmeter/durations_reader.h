// SPDX-License-Identifier: MIT
// Reading a Durations.bin table: parsing with full validation, and looking a
// relative path up. Header-only, C++17, nothing beyond the standard library:
// copy include/trackmeter/ into a project and use it. The checks and the hash
// are those of trackmeter/durations.h, the C reader.
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
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "trackmeter/durations.h"
#include "trackmeter/path_hash.h"

namespace trackmeter {

struct DurationEntry {
  uint32_t id = 0;
  float seconds = 0.0f;
};

class DurationsTable {
 public:
  static constexpr std::size_t kHeaderSize = TRACKMETER_HEADER_SIZE;
  static constexpr std::size_t kRecordSize = TRACKMETER_RECORD_SIZE;

  // Parses a whole table. Nothing, with a message in *error (unless error is
  // null) that says what is wrong and where, unless: the size is
  // 8 + 8 x count, count >= 1, pass >= 1 and the ids ascend strictly as
  // unsigned numbers. The checks are trackmeter_check's.
  static std::optional<DurationsTable> Parse(const void* data, std::size_t size,
                                             std::string* error) {
    std::size_t offset = 0;
    const trackmeter_error e = trackmeter_check(data, size, &offset);
    if (e != TRACKMETER_OK) {
      if (error != nullptr)
        *error = Describe(e, offset, static_cast<const unsigned char*>(data), size);
      return std::nullopt;
    }
    DurationsTable table;
    table.pass_ = trackmeter_pass(data, size);
    if (!Resize(&table.records_, trackmeter_count(data, size))) {
      if (error != nullptr) *error = TooLarge(size);
      return std::nullopt;
    }
    for (std::size_t i = 0; i < table.records_.size(); ++i) {
      DurationEntry& entry = table.records_[i];
      trackmeter_record(data, size, i, &entry.id, &entry.seconds);
    }
    return table;
  }

  // Reads and parses the table at path. The size is checked against the
  // header before the records are read, so a huge file of junk is refused
  // without being read. The message in *error (unless error is null) starts
  // "cannot open: " or is "cannot read" when the file could not be read,
  // starts "too large to hold in memory: " when there is no room for it, and
  // starts "not a Durations.bin table: " when it is no valid table.
  static std::optional<DurationsTable> Load(const std::string& path,
                                            std::string* error) {
    std::string ignored;
    if (error == nullptr) error = &ignored;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
      *error = std::string("cannot open: ") + std::strerror(errno);
      return std::nullopt;
    }
    std::optional<DurationsTable> table;
    unsigned char header[kHeaderSize];
    const std::size_t got = std::fread(header, 1, kHeaderSize, f);
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    if (std::ferror(f) || size < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
      *error = "cannot read";
    } else {
      const uint64_t total = got < kHeaderSize ? uint64_t{got} : uint64_t(size);
      uint64_t offset = 0;
      const trackmeter_error e = trackmeter_check_header(header, total, &offset);
      if (e != TRACKMETER_OK) {
        *error = kNotATable + Describe(e, offset, header, total);
      } else {
        std::vector<unsigned char> bytes;
        if (!Resize(&bytes, total)) {
          *error = TooLarge(total);
        } else if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
          *error = "cannot read";
        } else {
          table = Parse(bytes.data(), bytes.size(), error);
          if (!table) error->insert(0, kNotATable);
        }
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
  // components, any letter case, a leading "./" dropped), if the table holds
  // it. A path that is not in the table may still share an id with one that
  // is.
  std::optional<float> Lookup(std::string_view relative_path) const {
    relative_path.remove_prefix(
        trackmeter_dot_slash_length(relative_path.data(), relative_path.size()));
    return LookupId(PathHash(relative_path, multiplier()));
  }

 private:
  static constexpr char kNotATable[] = "not a Durations.bin table: ";

  static uint32_t Le32(const unsigned char* p) { return trackmeter_le32(p); }

  // Makes v n elements long, or says there is no room: n beyond what the
  // vector can address (a table larger than a 32-bit system's memory), or
  // an allocation that fails. Built without exceptions, a failed allocation
  // ends the program, as any would there.
  template <typename T>
  static bool Resize(std::vector<T>* v, uint64_t n) {
    if (n > v->max_size()) return false;
#if defined(__cpp_exceptions) || defined(__EXCEPTIONS) || defined(_CPPUNWIND)
    try {
      v->resize(static_cast<std::size_t>(n));
    } catch (const std::bad_alloc&) {
      return false;
    }
#else
    v->resize(static_cast<std::size_t>(n));
#endif
    return true;
  }

  static std::string TooLarge(uint64_t size) {
    return "too large to hold in memory: " + std::to_string(size) + " bytes";
  }

  // What error e at offset means, in words, for a table of size bytes of
  // which bytes holds at least the header (all of it for an order error).
  static std::string Describe(trackmeter_error e, uint64_t offset,
                              const unsigned char* bytes, uint64_t size) {
    using std::to_string;
    const auto count = bytes == nullptr || size < kHeaderSize
                           ? 0
                           : static_cast<int32_t>(Le32(bytes + 4));
    const uint64_t expected = kHeaderSize + kRecordSize * uint64_t(count);
    switch (e) {
      case TRACKMETER_OK:
        break;
      case TRACKMETER_ERR_NULL:
        return "no data: a null pointer for " + to_string(size) + " bytes";
      case TRACKMETER_ERR_SHORT:
        return "table of " + to_string(size) + " bytes is shorter than its 8-byte header";
      case TRACKMETER_ERR_PASS:
        return "pass at offset 0 is 0; it is at least 1";
      case TRACKMETER_ERR_COUNT:
        return "count at offset 4 is " + to_string(count) +
               "; a table holds at least 1 record";
      case TRACKMETER_ERR_TRUNCATED:
        return "count at offset 4 is " + to_string(count) + ", which needs " +
               to_string(expected) + " bytes; the table has " + to_string(size);
      case TRACKMETER_ERR_TRAILING:
        return to_string(size - expected) + " bytes trailing after record " +
               to_string(count - 1) + ", from offset " + to_string(offset);
      case TRACKMETER_ERR_ORDER: {
        const uint64_t i = (offset - kHeaderSize) / kRecordSize;
        return "record " + to_string(i) + " at offset " + to_string(offset) +
               ": id " + to_string(Le32(bytes + offset)) + " does not ascend from " +
               to_string(Le32(bytes + offset - kRecordSize)) + " of record " +
               to_string(i - 1);
      }
    }
    return trackmeter_error_text(e);
  }

  uint32_t pass_ = 0;
  std::vector<DurationEntry> records_;
};

}  // namespace trackmeter

#endif  // TRACKMETER_DURATIONS_READER_H_
