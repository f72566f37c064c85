// SPDX-License-Identifier: MIT
#include <iostream>

#include "lookup/lookup.h"

// No handler for a shortage: the lookup checks each allocation it makes and
// reports a failed one itself, with no exception, whose own room could be
// gone too.
int main(int argc, char** argv) { return trackmeter::RunLookup(argc, argv, std::cout, std::cerr); }
