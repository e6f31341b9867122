// Win32 side: OEM to ANSI conversion and the system's message for GetLastError.
#include <windows.h>

#include "zipreader/zip_platform.h"

// <windows.h> defines OemToAnsi as a macro for OemToCharA; our function keeps its name.
#undef OemToAnsi

namespace vx::zipplatform {

void OemToAnsi(char* text, size_t length) {
  // OemToCharBuffA converts in place when source and destination are the same; it
  // takes a DWORD count, so very long texts go in pieces.
  while (length > 0) {
    DWORD piece = length > 0x10000000u ? 0x10000000u : static_cast<DWORD>(length);
    OemToCharBuffA(text, text, piece);
    text += piece;
    length -= piece;
  }
}

void FoldPathCase(std::string& text) {
  // CharUpperBuffA converts in place; like OemToCharBuffA it takes a DWORD count.
  char* p = &text[0];
  size_t length = text.size();
  while (length > 0) {
    DWORD piece = length > 0x10000000u ? 0x10000000u : static_cast<DWORD>(length);
    CharUpperBuffA(p, piece);
    p += piece;
    length -= piece;
  }
}

unsigned long LastSystemError() { return GetLastError(); }

std::string SystemErrorText(unsigned long error) {
  if (error == 0) return std::string();
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result;
  if (n != 0 && text != nullptr) {
    result.assign(text, n);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
      result.pop_back();
  }
  if (text != nullptr) LocalFree(text);
  return result;
}

}  // namespace vx::zipplatform
