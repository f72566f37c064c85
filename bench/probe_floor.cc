// SPDX-License-Identifier: MIT
// The least the probe can cost: for each path of a list (one per line), the
// four library calls and nothing else.
//   probe-floor LIST       (paths relative to the current directory)
#include <cstdio>
#include <fstream>
#include <string>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::ifstream list(argv[1]);
  double total = 0;
  long files = 0;
  for (std::string path; std::getline(list, path); ++files) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) continue;
    OggVorbis_File vf;
    if (ov_open(f, &vf, nullptr, 0) != 0) {
      std::fclose(f);
      continue;
    }
    total += ov_time_total(&vf, -1);
    ov_clear(&vf);
  }
  std::printf("%ld files, %.1f s of audio\n", files, total);
  return 0;
}
