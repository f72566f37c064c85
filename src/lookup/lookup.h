// SPDX-License-Identifier: MIT
// trackmeter-lookup: what a table holds, and the durations of given paths.
#ifndef TRACKMETER_LOOKUP_LOOKUP_H_
#define TRACKMETER_LOOKUP_LOOKUP_H_

#include <ostream>

namespace trackmeter {

// Runs trackmeter-lookup with argv. Returns 0 when every path given was
// found (or none was given), 1 when any was not, 2 for a usage error or a
// table that cannot be read, is invalid, is no regular file (refused
// before it is opened) or does not fit in memory, or when memory runs out.
int RunLookup(int argc, const char* const* argv, std::ostream& out,
              std::ostream& err);

}  // namespace trackmeter

#endif  // TRACKMETER_LOOKUP_LOOKUP_H_
