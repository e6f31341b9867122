// Win32 side: case folding as the file system folds names, and GetLastError.
#include <windows.h>

#include "common/win32_text.h"
#include "zipreader/zip_platform.h"

namespace vx::zipplatform {

void FoldPathCase(std::string& text) {
  std::wstring wide = win::Wide(text);
  if (!wide.empty()) CharUpperBuffW(&wide[0], static_cast<DWORD>(wide.size()));
  text = win::Utf8(wide);
}

unsigned long LastSystemError() { return GetLastError(); }

}  // namespace vx::zipplatform
