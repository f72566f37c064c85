// SPDX-License-Identifier: MIT
// trackmeter's walk alone: prints how many Ogg files it finds below DIR.
//   scan-only DIR
#include <cstdio>

#include "scan/scan.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  trackmeter::Platform& platform = trackmeter::SystemPlatform();
  if (!platform.EnterDirectory(argv[1])) return 1;
  trackmeter::FileList files;
  trackmeter::ScanDirectory(platform, "", &files);
  std::printf("%zu\n", files.size());
  return 0;
}
