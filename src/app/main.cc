// SPDX-License-Identifier: MIT
#include "app/run.h"

int main(int argc, char** argv) {
  return trackmeter::RunTrackmeter(argc, argv, trackmeter::SystemPlatform());
}
