// Text at the edge of the Windows API. Our strings are UTF-8 on every platform; the
// system's own functions take UTF-16 ("W" functions), and the few places that still
// hold text in the system's ANSI code page (the packager window's controls) convert
// at their edge. Windows sources only.
#pragma once
#include <windows.h>

#include <string>

#include "common/utf.h"

namespace vx::win {

// UTF-8 to UTF-16 for a W function; invalid sequences become U+FFFD.
inline std::wstring Wide(const std::string& utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

// UTF-16 from a W function to UTF-8; a lone surrogate becomes U+FFFD.
inline std::string Utf8(const wchar_t* text, size_t length) {
  return Utf16ToUtf8(std::u16string(text, text + length));
}
inline std::string Utf8(const std::wstring& text) { return Utf8(text.data(), text.size()); }

// Text in a code page (CP_ACP, CP_OEMCP) to UTF-16 and back.
inline std::wstring WideFromCodePage(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}
inline std::string CodePageFromWide(const std::wstring& text, UINT codePage) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

// The system's ANSI code page to UTF-8 and back (characters the code page lacks
// become its default character, usually "?").
inline std::string AnsiToUtf8(const std::string& ansi) { return Utf8(WideFromCodePage(ansi, CP_ACP)); }
inline std::string Utf8ToAnsi(const std::string& utf8) { return CodePageFromWide(Wide(utf8), CP_ACP); }

// A path for the W file functions: UTF-16, and in the "\\?\" form when it may be
// longer than the classic limit (MAX_PATH, less the 12 characters CreateDirectory
// keeps for a file name), which that form lifts. The long form is a full path with
// backslashes only, as GetFullPathNameW makes it. (In file_win32.cpp.)
std::wstring PathW(const std::string& utf8Path);

}  // namespace vx::win
