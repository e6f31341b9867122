#include <vector>

#include "common/random.h"

namespace vx {

std::string RandomHex(size_t bytes) {
  std::vector<unsigned char> r(bytes, 0);
  SystemRandomBytes(r.data(), r.size());
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (unsigned char b : r) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

}  // namespace vx
