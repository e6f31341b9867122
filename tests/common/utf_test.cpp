// UTF-16 <-> UTF-8, as resource names and titles cross between them.
#include <gtest/gtest.h>

#include "common/utf.h"

namespace {

TEST(Utf, RoundTripsAndHalfSurrogatesBecomeReplacementCharacters) {
  struct Case {
    std::u16string in, back;
  };
  const Case cases[] = {
      {u"ZIP", u"ZIP"},
      {u"\u00e9t\u00e9 \u4e2d", u"\u00e9t\u00e9 \u4e2d"},
      {u"\U0001F600", u"\U0001F600"},
      {std::u16string{u'a', char16_t(0xD83D)}, u"a\uFFFD"},  // high half at the end
      {std::u16string{char16_t(0xDE00), u'b'}, u"\uFFFDb"},  // low half alone
      {std::u16string{char16_t(0xD83D), u'c', char16_t(0xD83D)}, u"\uFFFDc\uFFFD"},
  };
  for (const Case& c : cases) {
    std::u16string back = vx::Utf8ToUtf16(vx::Utf16ToUtf8(c.in));
    EXPECT_EQ(back, c.back);
    EXPECT_EQ(vx::Utf8ToUtf16(vx::Utf16ToUtf8(back)), back) << "not stable after one round";
  }
}

}  // namespace
