// The id of a path in a Durations.bin table. Header-only and dependent on
// nothing but the standard library, so that readers of the table can use it
// as it is: the tool and every reader compute ids with this one function.
#ifndef TRACKMETER_PATH_HASH_H_
#define TRACKMETER_PATH_HASH_H_

#include <cstdint>
#include <string_view>

namespace trackmeter {

// The byte that the hash sees for b: a-z become A-Z, "/" becomes "\", every
// other byte (0x80 and above included) stays. Deliberately not the locale's
// toupper, so ids do not depend on the reader's locale.
constexpr unsigned char FoldPathByte(unsigned char b) {
  if (b >= 'a' && b <= 'z') return static_cast<unsigned char>(b - 0x20);
  if (b == '/') return '\\';
  return b;
}

// Multiplicative hash of path under multiplier m, modulo 2^32. Blind to the
// letter case of a-z and to "/" versus "\".
constexpr uint32_t PathHash(std::string_view path, uint32_t m) {
  uint32_t h = 0;
  for (char ch : path) h = h * m + FoldPathByte(static_cast<unsigned char>(ch));
  return h;
}

// A table stores the pass; its ids use this multiplier.
constexpr uint32_t MultiplierOfPass(uint32_t pass) { return pass + 1; }

}  // namespace trackmeter

#endif  // TRACKMETER_PATH_HASH_H_
