// UTF-8 <-> UTF-16 for the places where text crosses into Windows resources: resource
// names, and the package title when a package is built on Linux.
#pragma once
#include <string>

namespace vx {

// A surrogate without its other half becomes U+FFFD, so that the text converts back
// to the same UTF-16 as it stands after this.
std::string Utf16ToUtf8(const std::u16string& text);
// Invalid sequences (bad lead or continuation bytes, overlong forms, surrogates, values
// beyond U+10FFFF) each become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);

}  // namespace vx
