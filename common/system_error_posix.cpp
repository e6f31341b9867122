#include "common/system_error.h"

#include <cerrno>
#include <cstring>

namespace vx {

std::string LastSystemErrorText() {
  const int e = errno;
  return e ? std::string(std::strerror(e)) : std::string();
}

void ClearLastSystemError() { errno = 0; }

}  // namespace vx
