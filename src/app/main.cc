// SPDX-License-Identifier: MIT
#include "app/run.h"

int main(int argc, char** argv) {
  // A reader that goes away (trackmeter | head) must not end the run before
  // the table is written: the lines it misses are simply lost.
  trackmeter::PrepareStandardOutput();
  return trackmeter::RunOnConsole(argc, argv, trackmeter::SystemCalls());
}
