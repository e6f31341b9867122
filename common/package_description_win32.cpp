// Windows: the title is text in the system's ANSI code page, as the window holds it.
#include <windows.h>

#include "common/package_description.h"

namespace vx {

std::u16string TitleToUtf16(const std::string& title) {
  if (title.empty()) return std::u16string();
  int n = MultiByteToWideChar(CP_ACP, 0, title.data(), static_cast<int>(title.size()), nullptr, 0);
  if (n <= 0) return std::u16string();
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, title.data(), static_cast<int>(title.size()),
                      reinterpret_cast<wchar_t*>(&out[0]), n);
  return out;
}

}  // namespace vx
