#include "common/random.h"

#include <windows.h>
#include <bcrypt.h>

namespace vx {

bool SystemRandomBytes(void* buf, size_t len) {
  return BCryptGenRandom(nullptr, static_cast<PUCHAR>(buf), static_cast<ULONG>(len),
                         BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

}  // namespace vx
