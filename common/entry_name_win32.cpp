#include <windows.h>

#include "common/entry_name.h"
#include "common/win32_text.h"

namespace vx {

std::u16string EntryNameKey(const std::string& name) {
  std::wstring wide = win::Wide(name);
  if (!wide.empty()) CharUpperBuffW(&wide[0], static_cast<DWORD>(wide.size()));
  return std::u16string(wide.begin(), wide.end());
}

}  // namespace vx
