// SPDX-License-Identifier: MIT
// Writes the benchmark's single files and the large-file tree.
//   make-files chain PATH LINKS          a chained file of LINKS short links
//   make-files tail PATH zeros|fake BYTES   a 10 s file and BYTES of junk
//   make-files large DIR FILES           FILES hard links to a few long files
//   make-files hostile DIR               files that are hard on the probe's
//                                        stream: cut anywhere, junk before,
//                                        between and after, long chains
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ogg_maker.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: make-files chain PATH LINKS | tail PATH zeros|fake BYTES | "
               "large DIR FILES | hostile DIR\n");
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

// Where each page of stream (as EncodeVorbis gives it) ends.
std::vector<std::size_t> PageEnds(const std::string& stream) {
  std::vector<std::size_t> ends;
  for (std::size_t at = 0; at + 27 <= stream.size();) {
    const std::size_t segments = static_cast<unsigned char>(stream[at + 26]);
    std::size_t size = 27 + segments;
    for (std::size_t i = 0; i < segments && at + 27 + i < stream.size(); ++i)
      size += static_cast<unsigned char>(stream[at + 27 + i]);
    at += size;
    ends.push_back(at);
  }
  return ends;
}

bool Hostile(const std::string& dir) {
  using trackmeter::EncodeVorbis;
  using trackmeter::WithSerial;
  mkdir(dir.c_str(), 0777);
  bool ok = true;
  auto put = [&](const std::string& name, const std::string& bytes) {
    ok = trackmeter::WriteBytes(dir + "/" + name + ".ogg", bytes) && ok;
  };
  const std::string ten = EncodeVorbis(2, 44100, 441000);
  const std::string noisy = EncodeVorbis(2, 44100, 441000 * 3, 2, 300.0, 0.2);
  const std::string chain3 = EncodeVorbis(1, 8000, 8000, 1) + EncodeVorbis(2, 22050, 11025, 2) +
                             EncodeVorbis(1, 44100, 22050, 3);
  std::string fake;
  while (fake.size() < (3u << 20)) fake += "OggS" + std::string(12, '\xff');
  const std::string zeros(3u << 20, '\0');
  // Cut at every page end and a byte either side, and at even steps.
  for (const auto* base : {&chain3, &noisy}) {
    const std::string& b = *base;
    const std::string name = base == &chain3 ? "cut-chain-" : "cut-noisy-";
    for (std::size_t end : PageEnds(b))
      for (std::size_t at : {end - 1, end, end + 1})
        if (at < b.size()) put(name + std::to_string(at), b.substr(0, at));
    for (std::size_t at = 1; at < b.size(); at += b.size() / 37 + 1)
      put(name + "step-" + std::to_string(at), b.substr(0, at));
  }
  // Junk after the last page, before the first, and between links.
  const std::size_t page = 27 + 255 + 255 * 255;
  for (std::size_t n : {std::size_t{1}, std::size_t{1000}, page - 1, page, page + 1,
                        std::size_t{200000}, std::size_t{3u << 20}}) {
    const std::string k = std::to_string(n);
    put("tail-zeros-" + k, ten + zeros.substr(0, n));
    put("tail-fake-" + k, ten + fake.substr(0, n));
    put("tail-fake-noisy-" + k, noisy + fake.substr(0, n));
    put("lead-zeros-" + k, zeros.substr(0, n) + ten);
    put("lead-fake-" + k, fake.substr(0, n) + ten);
    // The library checks every false start between links against a whole
    // page's length, so megabytes of them take it minutes.
    if (n <= 200000) put("between-fake-" + k, ten + fake.substr(0, n) + WithSerial(ten, 9));
    put("tail-cut-copy-" + k, ten + WithSerial(ten, 5).substr(0, n % ten.size()));
  }
  std::string chain;
  const std::string link = EncodeVorbis(1, 8000, 800);
  for (int links = 1; links <= 4097; ++links) {
    chain += WithSerial(link, links);
    if (links == 100 || links == 1000 || links == 4096 || links == 4097)
      put("chain-" + std::to_string(links), chain);
  }
  put("empty", "");
  put("text", "plain text, not Ogg\n");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string what = argv[1];
  bool ok = false;
  if (what == "chain" && argc == 4) {
    ok = Chain(argv[2], std::strtol(argv[3], nullptr, 10));
  } else if (what == "tail" && argc == 5) {
    ok = Tail(argv[2], std::strcmp(argv[3], "fake") == 0, std::strtoll(argv[4], nullptr, 10));
  } else if (what == "hostile" && argc == 3) {
    ok = Hostile(argv[2]);
  } else if (what == "large" && argc == 4) {
    ok = Large(argv[2], std::strtol(argv[3], nullptr, 10));
  } else {
    return Usage();
  }
  if (!ok) std::perror(argv[2]);
  return ok ? 0 : 1;
}
