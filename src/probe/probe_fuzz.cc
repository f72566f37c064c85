// SPDX-License-Identifier: MIT
// libFuzzer target: any bytes, as the content of an .ogg file, through the
// duration probe.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "probe/probe.h"

namespace {

std::string& FuzzPath() {
  static std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/trackmeter-fuzz-" +
           std::to_string(getpid()) + ".ogg";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(FuzzPath().c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  static trackmeter::Seat seat;
  static trackmeter::Prober prober(trackmeter::SystemCalls(), seat, false);
  const float seconds = trackmeter::ProbeDuration(prober, FuzzPath()).seconds;
  if (!(seconds >= 0.0f) && !std::isnan(seconds)) std::abort();  // never negative
  unlink(FuzzPath().c_str());
  return 0;
}
