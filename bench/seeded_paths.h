// SPDX-License-Identifier: MIT
// Seeded, realistic-looking relative paths for the benchmarks.
#ifndef TRACKMETER_BENCH_SEEDED_PATHS_H_
#define TRACKMETER_BENCH_SEEDED_PATHS_H_

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace trackmeter {

// n distinct paths such as "music/level_07/forest_night/ambient_loop_0412.ogg",
// spread over about n / files_per_dir folders. The same seed, the same paths.
inline std::vector<std::string> SeededPaths(std::size_t n, uint32_t seed,
                                            std::size_t files_per_dir = 20) {
  static const char* const kTop[] = {"music", "sfx", "voice", "ambience", "ui"};
  static const char* const kWords[] = {
      "forest", "night", "cave", "battle", "menu", "click", "door", "wind",
      "rain", "step", "boss", "theme", "intro", "loop", "hit", "voice",
      "alarm", "river", "crowd", "engine", "magic", "sword", "shield", "fire"};
  std::mt19937 rng(seed);
  auto word = [&] { return std::string(kWords[rng() % 24]); };
  std::set<std::string> seen;
  std::vector<std::string> paths;
  std::string dir;
  while (paths.size() < n) {
    if (paths.size() % files_per_dir == 0) {
      dir = std::string(kTop[rng() % 5]) + "/level_" + std::to_string(rng() % 40);
      if (rng() % 2) dir += "/" + word() + "_" + word();
    }
    std::string p = dir + "/" + word() + "_" + word() + "_" +
                    std::to_string(rng() % 10000) + ".ogg";
    if (seen.insert(p).second) paths.push_back(std::move(p));
  }
  return paths;
}

}  // namespace trackmeter

#endif  // TRACKMETER_BENCH_SEEDED_PATHS_H_
