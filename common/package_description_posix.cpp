// Linux: the title arrives as UTF-8 (the terminal's and the file system's encoding).
#include "common/package_description.h"
#include "common/utf.h"

namespace vx {

std::u16string TitleToUtf16(const std::string& title) { return Utf8ToUtf16(title); }

}  // namespace vx
