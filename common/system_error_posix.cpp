#include "common/system_error.h"

#include <cerrno>
#include <cstring>

namespace vx {

std::string LastSystemErrorText() {
  const int e = errno;
  return e ? SystemErrorText(static_cast<unsigned long>(e)) : std::string();
}

std::string SystemErrorText(unsigned long code) {
  const char* text = std::strerror(static_cast<int>(code));
  return text && *text ? std::string(text) : "system error " + std::to_string(code);
}

void ClearLastSystemError() { errno = 0; }

}  // namespace vx
