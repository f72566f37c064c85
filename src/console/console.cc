#include "console/console.h"

#include <cstdio>

namespace trackmeter {

void PrintBanner() {
  std::printf("OGG File Duration/Hash Generator V1.0 [Written by Quillon]\n");
  std::printf("USAGE: trackmeter [basepath]\n\n");
}

void PrintCannotEnterBase(const std::string& base) {
  std::printf("Fatal Error: Could not enter base directory: %s\n", base.c_str());
}

void PrintBaseDirectory(const std::string& absolute) {
  std::printf("Generating ogg hashs id relative to '%s'.\n\n", absolute.c_str());
}

void PrintNoOggsFound() { std::printf("ERROR: No Oggs found!\n"); }

void PrintCouldNotOpen(const std::string& path) {
  std::printf("ERROR: Could not open file: %s\n", path.c_str());
}

void PrintNotOggVorbis(const std::string& path) {
  std::printf("ERROR: OGG could not open file: %s\n", path.c_str());
}

void PrintFoldedDuplicate(const std::string& first, const std::string& second) {
  std::printf("ERROR: Paths differ only in letter case or separator: %s and %s\n",
              first.c_str(), second.c_str());
}

void PrintNoMultiplier(std::size_t count) {
  std::printf("ERROR: No hash multiplier gives distinct ids for %d files\n",
              static_cast<int>(count));
}

void PrintCouldNotWrite() { std::printf("ERROR: Could not write Durations.bin\n"); }

void PrintGenerated(std::size_t count) {
  std::printf("Generated %d hash ids.\n", static_cast<int>(count));
}

}  // namespace trackmeter
