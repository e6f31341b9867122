#include <locale.h>
#include <wctype.h>

#include "common/entry_name.h"
#include "common/utf.h"

namespace vx {

namespace {

// Case mappings for all of Unicode, whatever locale the process runs in; without
// them (a C library without C.UTF-8) only ASCII letters fold.
locale_t UnicodeLocale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

char16_t FoldAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

}  // namespace

std::u16string EntryNameKey(const std::string& name) {
  std::u16string key = Utf8ToUtf16(name);
  if (Utf16ToUtf8(key) != name) {
    // Not UTF-8: ASCII letters fold, every other byte stands for itself (as a lone
    // surrogate, which no valid name's key holds).
    key.clear();
    for (unsigned char b : name) key += b < 0x80 ? FoldAscii(b) : static_cast<char16_t>(0xDC00 + b);
    return key;
  }
  const locale_t locale = UnicodeLocale();
  for (char16_t& c : key) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;  // half of a pair: left as it is
    c = locale ? static_cast<char16_t>(towupper_l(static_cast<wint_t>(c), locale)) : FoldAscii(c);
  }
  return key;
}

}  // namespace vx
