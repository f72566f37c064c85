// SPDX-License-Identifier: MIT
// trackmeter's walk alone: prints how many Ogg files it finds below DIR.
//   scan-only DIR
#include <cstdio>

#include "console/console_status.h"
#include "scan/scan.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  trackmeter::System& system = trackmeter::SystemCalls();
  if (system.EnterDirectory(argv[1]) != trackmeter::Error::kNone) return 1;
  trackmeter::LinePrinter printer(stdout, stderr, nullptr);
  trackmeter::ConsoleStatus status(printer);
  std::size_t files = 0;
  trackmeter::ScanDirectory(system, status, "", [&](std::string) { ++files; });
  std::printf("%zu\n", files);
  return 0;
}
