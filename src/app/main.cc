// SPDX-License-Identifier: MIT
#include <string>
#include <vector>

#include "app/run.h"

int main(int argc, char** argv) {
  // A reader that goes away (trackmeter | head) must not end the run before
  // the table is written: the lines it misses are simply lost.
  trackmeter::PrepareStandardOutput();
  const std::vector<std::string> args = trackmeter::CommandLine(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& arg : args) pointers.push_back(arg.c_str());
  return trackmeter::RunOnConsole(static_cast<int>(pointers.size()), pointers.data(),
                                  trackmeter::SystemCalls());
}
