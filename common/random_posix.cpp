#include "common/random.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>

namespace vx {

bool SystemRandomBytes(void* buf, size_t len) {
  uint8_t* p = static_cast<uint8_t*>(buf);
  while (len > 0) {
    ssize_t n = getrandom(p, len, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace vx
