#include <windows.h>

#include "common/entry_name.h"

namespace vx {

std::u16string EntryNameKey(const std::string& name) {
  if (name.empty()) return std::u16string();
  const int n = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  if (n <= 0) return std::u16string(name.begin(), name.end());
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), &wide[0], n);
  CharUpperBuffW(&wide[0], static_cast<DWORD>(n));
  return std::u16string(wide.begin(), wide.end());
}

}  // namespace vx
