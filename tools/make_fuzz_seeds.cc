// SPDX-License-Identifier: MIT
// Writes seed inputs for the fuzz targets:
//   make-fuzz-seeds DIR    fills DIR/probe with Ogg files, DIR/reader with tables
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "ogg_maker.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-fuzz-seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  for (const std::string& d : {dir, dir + "/probe", dir + "/reader"}) mkdir(d.c_str(), 0777);
  using trackmeter::EncodeVorbis;
  using trackmeter::WriteBytes;
  const std::string table(
      "\x01\x00\x00\x00\x02\x00\x00\x00\xB1\x97\x00\x00\x00\x00\x20\x41"
      "\xF1\x02\x05\x00\x00\x00\x00\x00", 24);
  const bool ok =
      WriteBytes(dir + "/probe/mono.ogg", EncodeVorbis(1, 8000, 4000)) &&
      WriteBytes(dir + "/probe/stereo.ogg", EncodeVorbis(2, 44100, 4410)) &&
      WriteBytes(dir + "/probe/chained.ogg",
                 EncodeVorbis(1, 8000, 800, 1) + EncodeVorbis(2, 11025, 900, 2)) &&
      WriteBytes(dir + "/probe/tiny.ogg", EncodeVorbis(1, 8000, 1)) &&
      WriteBytes(dir + "/reader/two.bin", table) &&
      WriteBytes(dir + "/reader/one.bin", table.substr(0, 16));
  return ok ? 0 : 1;
}
