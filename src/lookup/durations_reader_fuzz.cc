// SPDX-License-Identifier: MIT
// libFuzzer target: any bytes through the table parser. A table it accepts
// must hold what the validation promises, and every id in it must be found.
#include <cstdlib>

#include "trackmeter/durations_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  const auto table = trackmeter::DurationsTable::Parse(data, size, &error);
  if (!table) {
    if (error.empty()) std::abort();
    return 0;
  }
  const auto& records = table->records();
  if (table->pass() < 1 || records.empty() || size != 8 + 8 * records.size())
    std::abort();
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (i > 0 && records[i - 1].id >= records[i].id) std::abort();
    if (!table->LookupId(records[i].id)) std::abort();
  }
  // Lookups by path of the bytes themselves must stay in bounds.
  table->Lookup(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
