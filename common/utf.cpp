#include "common/utf.h"

#include <cstdint>

namespace vx {

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // a surrogate without its other half has no UTF-8 form
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(const std::string& title) {
  std::u16string out;
  const auto* s = reinterpret_cast<const unsigned char*>(title.data());
  size_t n = title.size();
  for (size_t i = 0; i < n;) {
    unsigned char b = s[i];
    uint32_t c;
    size_t len;
    if (b < 0x80) {
      c = b;
      len = 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
      c = b & 0x1F;
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      c = b & 0x0F;
      len = 3;
    } else if (b >= 0xF0 && b <= 0xF4) {
      c = b & 0x07;
      len = 4;
    } else {
      out += char16_t(0xFFFD);
      ++i;
      continue;
    }
    bool valid = i + len <= n;
    for (size_t k = 1; valid && k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) valid = false;
      else c = (c << 6) | (s[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not characters.
    if (valid && ((len == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
                  (len == 4 && (c < 0x10000 || c > 0x10FFFF)))) {
      valid = false;
    }
    if (!valid) {
      out += char16_t(0xFFFD);
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += len;
  }
  return out;
}

}  // namespace vx
