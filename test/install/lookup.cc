// SPDX-License-Identifier: MIT
// lookup TABLE PATH...: as lookup.c, through trackmeter/durations_reader.h.
#include <cstdio>

#include "trackmeter/durations_reader.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string error;
  const auto table = trackmeter::DurationsTable::Load(argv[1], &error);
  if (!table) {
    std::fprintf(stderr, "lookup: %s\n", error.c_str());
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    if (const std::optional<float> seconds = table->Lookup(argv[i]))
      std::printf("%s\t%.9g\n", argv[i], *seconds);
    else
      std::printf("%s\tnot found\n", argv[i]);
  }
  return 0;
}
