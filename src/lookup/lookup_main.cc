// SPDX-License-Identifier: MIT
#include <iostream>

#include "lookup/lookup.h"

int main(int argc, char** argv) {
  return trackmeter::RunLookup(argc, argv, std::cout, std::cerr);
}
