// SPDX-License-Identifier: MIT
// Writes the benchmark's single files and the large-file tree.
//   make-files chain PATH LINKS          a chained file of LINKS short links
//   make-files tail PATH zeros|fake BYTES   a 10 s file and BYTES of junk
//   make-files large DIR FILES           FILES hard links to a few long files
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ogg_maker.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: make-files chain PATH LINKS | tail PATH zeros|fake BYTES | "
               "large DIR FILES\n");
  return 2;
}

bool Chain(const std::string& path, long links) {
  const std::string link = trackmeter::EncodeVorbis(1, 8000, 800);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  for (long i = 0; i < links; ++i) {
    const std::string bytes = trackmeter::WithSerial(link, static_cast<int>(i + 1));
    if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) return false;
  }
  return std::fclose(f) == 0;
}

bool Tail(const std::string& path, bool fake, long long bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const std::string ten = trackmeter::EncodeVorbis(2, 44100, 441000);
  std::fwrite(ten.data(), 1, ten.size(), f);
  // Written out, not a hole: as slow to read as real junk.
  std::string block(1 << 20, '\0');
  if (fake)
    for (std::size_t i = 0; i < block.size(); i += 16) {
      std::memcpy(&block[i], "OggS", 4);
      std::memset(&block[i + 4], 0xff, 12);
    }
  for (long long left = bytes; left > 0; left -= static_cast<long long>(block.size())) {
    const std::size_t n = left < static_cast<long long>(block.size()) ? left : block.size();
    if (std::fwrite(block.data(), 1, n, f) != n) return false;
  }
  return std::fclose(f) == 0;
}

bool Large(const std::string& dir, long files) {
  mkdir(dir.c_str(), 0777);
  const std::string pool = dir + "/pool";
  mkdir(pool.c_str(), 0777);
  // Several minutes each, 2 to 6 MB.
  constexpr int kEncodings = 4;
  const long seconds[kEncodings] = {200, 280, 380, 560};
  for (int k = 0; k < kEncodings; ++k) {
    const std::string bytes = trackmeter::EncodeVorbis(
        2, 44100, 44100 * seconds[k] + 37 * k, k + 1, 330.0 + 110 * k, 0.05 * (k + 1));
    if (!trackmeter::WriteBytes(pool + "/" + std::to_string(k) + ".vorbis", bytes)) return false;
  }
  for (long i = 0; i < files; ++i) {
    const std::string sub = dir + "/d" + std::to_string(i / 50);
    mkdir(sub.c_str(), 0777);
    const std::string target = pool + "/" + std::to_string(i % kEncodings) + ".vorbis";
    if (link(target.c_str(), (sub + "/track" + std::to_string(i) + ".ogg").c_str()) != 0)
      return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage();
  const std::string what = argv[1];
  bool ok = false;
  if (what == "chain") {
    ok = Chain(argv[2], std::strtol(argv[3], nullptr, 10));
  } else if (what == "tail" && argc == 5) {
    ok = Tail(argv[2], std::strcmp(argv[3], "fake") == 0, std::strtoll(argv[4], nullptr, 10));
  } else if (what == "large") {
    ok = Large(argv[2], std::strtol(argv[3], nullptr, 10));
  } else {
    return Usage();
  }
  if (!ok) std::perror(argv[2]);
  return ok ? 0 : 1;
}
