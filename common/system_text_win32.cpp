#include "common/system_text.h"

#include "common/win32_text.h"

namespace vx {

std::string LegacyTextToUtf8(const std::string& bytes, bool oem) {
  return win::Utf8(win::WideFromCodePage(bytes, oem ? CP_OEMCP : CP_ACP));
}

}  // namespace vx
