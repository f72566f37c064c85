// SPDX-License-Identifier: MIT
// Writes a small tree of audio files to try the tool on:
//   make-sample-tree DIR
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "ogg_maker.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-sample-tree DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  for (const std::string& d : {dir, dir + "/sfx", dir + "/themes"}) mkdir(d.c_str(), 0777);

  using trackmeter::EncodeVorbis;
  const bool ok =
      trackmeter::WriteBytes(dir + "/intro.ogg", EncodeVorbis(2, 44100, 441000)) &&
      trackmeter::WriteBytes(dir + "/sfx/chime.ogg", EncodeVorbis(1, 22050, 33075)) &&
      // Not Ogg Vorbis at all: the tool reports it and gives it 0 seconds.
      trackmeter::WriteBytes(dir + "/sfx/boom.ogg", "this is no audio\n") &&
      // Two chained streams, 3 s and 2 s.
      trackmeter::WriteBytes(dir + "/themes/chained.ogg",
                             EncodeVorbis(1, 8000, 24000, 1) +
                                 EncodeVorbis(1, 8000, 16000, 2, 660.0)) &&
      // Neither is taken: the wrong ending, and letter case counts.
      trackmeter::WriteBytes(dir + "/notes.txt", "not audio\n") &&
      trackmeter::WriteBytes(dir + "/themes/LOUD.OGG", "not taken\n");
  if (!ok) {
    std::fprintf(stderr, "make-sample-tree: could not write below %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
