// SPDX-License-Identifier: MIT
#include <iostream>
#include <new>

#include "lookup/lookup.h"

int main(int argc, char** argv) {
  // The reader reports a table it has no room for; this is for any other
  // allocation, so that no run ends in an abort.
  try {
    return trackmeter::RunLookup(argc, argv, std::cout, std::cerr);
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    std::cerr << "trackmeter-lookup: out of memory\n";
    return 2;
  }
}
