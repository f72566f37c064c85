// SPDX-License-Identifier: MIT
#include "lookup/lookup.h"

#include <charconv>
#include <cstring>
#include <string_view>

#include "trackmeter/durations_reader.h"

namespace trackmeter {

namespace {

constexpr char kUsage[] = "usage: trackmeter-lookup TABLE [PATH...]\n";

// The table's paths never start with "./", but a shell's completion often
// gives one.
std::string_view WithoutDotSlash(std::string_view path) {
  while (path.size() > 2 && path[0] == '.' && (path[1] == '/' || path[1] == '\\'))
    path.remove_prefix(2);
  return path;
}

}  // namespace

std::string FormatSeconds(float seconds) {
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, seconds);
  return std::string(buf, result.ptr);
}

int RunLookup(int argc, const char* const* argv, std::ostream& out,
              std::ostream& err) {
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
  std::string error;
  const std::optional<DurationsTable> table = DurationsTable::Load(argv[1], &error);
  if (!table) {
    err << "trackmeter-lookup: " << argv[1] << ": " << error << "\n";
    return 2;
  }

  if (argc == 2) {
    out << "pass\t" << table->pass() << "\n"
        << "multiplier\t" << table->multiplier() << "\n"
        << "count\t" << table->records().size() << "\n";
    for (const DurationEntry& e : table->records())
      out << e.id << "\t" << FormatSeconds(e.seconds) << "\n";
    return 0;
  }
  int status = 0;
  for (int i = 2; i < argc; ++i) {
    const std::optional<float> seconds = table->Lookup(WithoutDotSlash(argv[i]));
    out << argv[i] << "\t" << (seconds ? FormatSeconds(*seconds) : "not found") << "\n";
    if (!seconds) status = 1;
  }
  return status;
}

}  // namespace trackmeter
