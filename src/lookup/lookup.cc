// SPDX-License-Identifier: MIT
#include "lookup/lookup.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "trackmeter/durations.h"
#include "trackmeter/path_hash.h"

// Nothing here takes memory it does not check first: the table is read
// into one allocation whose failure is an answer, and every message is made
// on the stack. A shortage then needs no exception to be reported, which
// matters when there is no room left for the exception itself.
namespace trackmeter {

namespace {

constexpr char kUsage[] = "usage: trackmeter-lookup TABLE [PATH...]\n";
constexpr std::size_t kHeader = TRACKMETER_HEADER_SIZE, kRecord = TRACKMETER_RECORD_SIZE;

using Why = char[256];  // what went wrong, for the one line on standard error

// The shortest decimal that reads back as the same float.
std::string_view FormatSeconds(float seconds, char (&buf)[32]) {
  const auto result = std::to_chars(buf, buf + sizeof buf, seconds);
  return std::string_view(buf, static_cast<std::size_t>(result.ptr - buf));
}

// What e at offset means, in the words of the C++ reader
// (trackmeter/durations_reader.h), for a table of size bytes of which bytes
// holds at least the header (all of it for an order error).
void Describe(trackmeter_error e, uint64_t offset, const unsigned char* bytes, uint64_t size,
              Why why) {
  const char* const lead = "not a Durations.bin table: ";
  const int32_t count = size < kHeader ? 0 : static_cast<int32_t>(trackmeter_le32(bytes + 4));
  const uint64_t expected = kHeader + kRecord * uint64_t(count);
  const uint64_t i = (offset - kHeader) / kRecord;
  const std::size_t room = sizeof(Why);
  switch (e) {
    case TRACKMETER_ERR_SHORT:
      std::snprintf(why, room, "%stable of %" PRIu64 " bytes is shorter than its 8-byte header",
                    lead, size);
      return;
    case TRACKMETER_ERR_PASS:
      std::snprintf(why, room, "%spass at offset 0 is 0; it is at least 1", lead);
      return;
    case TRACKMETER_ERR_COUNT:
      std::snprintf(why, room,
                    "%scount at offset 4 is %" PRId32 "; a table holds at least 1 record", lead,
                    count);
      return;
    case TRACKMETER_ERR_TRUNCATED:
      std::snprintf(why, room,
                    "%scount at offset 4 is %" PRId32 ", which needs %" PRIu64
                    " bytes; the table has %" PRIu64,
                    lead, count, expected, size);
      return;
    case TRACKMETER_ERR_TRAILING:
      std::snprintf(why, room,
                    "%s%" PRIu64 " bytes trailing after record %" PRId32 ", from offset %" PRIu64,
                    lead, size - expected, count - 1, offset);
      return;
    case TRACKMETER_ERR_ORDER:
      std::snprintf(why, room,
                    "%srecord %" PRIu64 " at offset %" PRIu64 ": id %" PRIu32
                    " does not ascend from %" PRIu32 " of record %" PRIu64,
                    lead, i, offset, trackmeter_le32(bytes + offset),
                    trackmeter_le32(bytes + offset - kRecord), i - 1);
      return;
    default:
      std::snprintf(why, room, "%s%s", lead, trackmeter_error_text(e));
  }
}

// A whole table in memory of its own.
struct Table {
  ~Table() { std::free(bytes); }
  unsigned char* bytes = nullptr;
  std::size_t size = 0;
};

// Reads the table at path and checks it in full: true, or false with why.
// The size is checked against the header before the records are read, so
// that a huge file of junk is refused unread; and the kind before the file
// is opened, since opening a FIFO waits for a writer.
bool Load(const char* path, Table* table, Why why) {
  const std::size_t room = sizeof(Why);
  struct stat st;
  if (stat(path, &st) != 0) {
    std::snprintf(why, room, "cannot open: %s", std::strerror(errno));
    return false;
  }
  if ((st.st_mode & S_IFMT) != S_IFREG) {
    std::snprintf(why, room, "cannot open: not a regular file");
    return false;
  }
  std::FILE* const f = std::fopen(path, "rb");
  if (f == nullptr) {
    if (errno == ENOMEM)
      std::snprintf(why, room, "out of memory");
    else
      std::snprintf(why, room, "cannot open: %s", std::strerror(errno));
    return false;
  }
  unsigned char header[kHeader];
  const std::size_t got = std::fread(header, 1, kHeader, f);
  long end = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) end = std::ftell(f);
  bool ok = false;
  uint64_t offset = 0;
  if (std::ferror(f) || end < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
    std::snprintf(why, room, "cannot read");
  } else {
    const uint64_t total = got < kHeader ? uint64_t{got} : uint64_t(end);
    const trackmeter_error e = trackmeter_check_header(header, total, &offset);
    if (e == TRACKMETER_OK && total <= SIZE_MAX)
      table->bytes = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(total)));
    if (e != TRACKMETER_OK) {
      Describe(e, offset, header, total, why);
    } else if (table->bytes == nullptr) {
      std::snprintf(why, room, "too large to hold in memory: %" PRIu64 " bytes", total);
    } else {
      table->size = static_cast<std::size_t>(total);
      ok = std::fread(table->bytes, 1, table->size, f) == table->size;
      if (!ok) std::snprintf(why, room, "cannot read");
    }
  }
  std::fclose(f);
  if (!ok) return false;
  std::size_t at = 0;
  const trackmeter_error e = trackmeter_check(table->bytes, table->size, &at);
  if (e != TRACKMETER_OK) Describe(e, at, table->bytes, table->size, why);
  return e == TRACKMETER_OK;
}

}  // namespace

int RunLookup(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
    out << kUsage
        << "With PATHs, prints PATH<TAB>SECONDS for each (or PATH<TAB>not found).\n"
           "Without, prints the table's pass, multiplier and count, then every\n"
           "record as ID<TAB>SECONDS.\n"
           "A leading ./ on a PATH is dropped. --version prints the version.\n";
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    out << "trackmeter-lookup " TRACKMETER_VERSION "\n";
    return 0;
  }
  if (argc < 2) {
    err << kUsage;
    return 2;
  }
  Table table;
  Why why = "";
  if (!Load(argv[1], &table, why)) {
    err << "trackmeter-lookup: " << argv[1] << ": " << why << "\n";
    return 2;
  }

  const void* const data = table.bytes;
  const std::size_t size = table.size;
  char seconds_text[32];
  if (argc == 2) {
    const uint32_t pass = trackmeter_pass(data, size);
    out << "pass\t" << pass << "\n"
        << "multiplier\t" << MultiplierOfPass(pass) << "\n"
        << "count\t" << trackmeter_count(data, size) << "\n";
    uint32_t id = 0;
    float seconds = 0.0f;
    for (std::size_t i = 0; trackmeter_record(data, size, i, &id, &seconds); ++i)
      out << id << "\t" << FormatSeconds(seconds, seconds_text) << "\n";
    return 0;
  }
  int status = 0;
  for (int i = 2; i < argc; ++i) {
    const std::string_view path = argv[i];  // the reader drops a leading "./"
    float seconds = 0.0f;
    const bool found = trackmeter_find_path(data, size, path.data(), path.size(), &seconds);
    out << argv[i] << "\t" << (found ? FormatSeconds(seconds, seconds_text) : "not found") << "\n";
    if (!found) status = 1;
  }
  return status;
}

}  // namespace trackmeter
