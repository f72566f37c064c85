// SPDX-License-Identifier: MIT
// The id of a path in a Durations.bin table, for C++: the tool and every
// reader compute ids with this one function, which trackmeter/durations.h
// defines for C and C++ alike. Needs nothing beyond the standard library.
#ifndef TRACKMETER_PATH_HASH_H_
#define TRACKMETER_PATH_HASH_H_

#include <cstdint>
#include <string_view>

#include "trackmeter/durations.h"

namespace trackmeter {

// The byte that the hash sees for b: a-z become A-Z, "/" becomes "\", every
// other byte (0x80 and above included) stays. Deliberately not the locale's
// toupper, so ids do not depend on the reader's locale.
constexpr unsigned char FoldPathByte(unsigned char b) {
  return trackmeter_fold_byte(b);
}

// Multiplicative hash of path under multiplier m, modulo 2^32. Blind to the
// letter case of a-z and to "/" versus "\".
constexpr uint32_t PathHash(std::string_view path, uint32_t m) {
  return trackmeter_path_hash(path.data(), path.size(), m);
}

// A table stores the pass; its ids use this multiplier.
constexpr uint32_t MultiplierOfPass(uint32_t pass) { return pass + 1; }

}  // namespace trackmeter

#endif  // TRACKMETER_PATH_HASH_H_
