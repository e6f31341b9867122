#include "common/system_text.h"

namespace vx {

std::string LegacyTextToUtf8(const std::string& bytes, bool) { return bytes; }

}  // namespace vx
