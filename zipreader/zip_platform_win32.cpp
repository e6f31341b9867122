// Win32 side: OEM to ANSI conversion, case folding and GetLastError.
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

}  // namespace vx::zipplatform
