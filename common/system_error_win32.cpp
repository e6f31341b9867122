#include "common/system_error.h"

#include <windows.h>

#include "common/win32_text.h"

namespace vx {

std::string LastSystemErrorText() {
  const DWORD code = GetLastError();
  return code == 0 ? std::string() : SystemErrorText(code);
}

std::string SystemErrorText(unsigned long code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string s = n && text ? win::Utf8(text, n) : "system error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

void ClearLastSystemError() { SetLastError(0); }

}  // namespace vx
