// SPDX-License-Identifier: MIT
// Writes a benchmark tree: n paths over nested, seeded folders, each a hard
// link to one of a few dozen short, distinct Ogg Vorbis encodings.
//   make-corpus DIR N [FILES_PER_DIR [SEED]]
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "ogg_maker.h"
#include "seeded_paths.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make-corpus DIR N [FILES_PER_DIR [SEED]]\n");
    return 2;
  }
  const std::string root = argv[1];
  const std::size_t n = std::strtoul(argv[2], nullptr, 10);
  const std::size_t per_dir = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 20;
  const auto seed = static_cast<uint32_t>(argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 7);
  mkdir(root.c_str(), 0777);
  // The pool's names do not end in .ogg, so the walk passes them by.
  const std::string pool = root + "/pool";
  mkdir(pool.c_str(), 0777);
  constexpr int kEncodings = 32;
  for (int k = 0; k < kEncodings; ++k) {
    const long rate = k % 2 ? 22050 : 11025;
    const std::string bytes = trackmeter::EncodeVorbis(
        1 + k % 2, rate, rate / 4 + 97 * k, k + 1, 200.0 + 30 * k);
    if (!trackmeter::WriteBytes(pool + "/" + std::to_string(k) + ".vorbis", bytes)) return 1;
  }
  std::set<std::string> dirs;
  const auto paths = trackmeter::SeededPaths(n, seed, per_dir);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string& p = paths[i];
    for (std::size_t at = p.find('/'); at != std::string::npos; at = p.find('/', at + 1)) {
      const std::string d = p.substr(0, at);
      if (dirs.insert(d).second) mkdir((root + "/" + d).c_str(), 0777);
    }
    const std::string target = pool + "/" + std::to_string(i % kEncodings) + ".vorbis";
    if (link(target.c_str(), (root + "/" + p).c_str()) != 0) {
      std::perror(("link " + p).c_str());
      return 1;
    }
  }
  std::printf("%zu files in %zu folders below %s\n", paths.size(), dirs.size(), root.c_str());
  return 0;
}
