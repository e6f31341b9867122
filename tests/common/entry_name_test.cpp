#include <gtest/gtest.h>

#include <string>

#include "common/entry_name.h"

namespace {

TEST(EntryName, OneFileOnceExtractedWhateverTheLetterCase) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"clip.swf", "clip.swf", true},
      {"clip.swf", "CLIP.SWF", true},
      {"Package.INI", "package.ini", true},
      {"clip.swf", "clip.swf ", false},
      {"clip1.swf", "clip2.swf", false},
      {"data.xml", "data.xm", false},
#ifndef _WIN32
      // UTF-8 names fold beyond ASCII; names that are not UTF-8 fold their ASCII only
      // and keep every other byte apart.
      {"caf\xc3\xa9.swf", "CAF\xc3\x89.SWF", true},
      {"\xd1\x84\xd0\xb8\xd0\xbb\xd1\x8c\xd0\xbc.swf", "\xd0\xa4\xd0\x98\xd0\x9b\xd0\xac\xd0\x9c.SWF", true},
      {"caf\xe9.swf", "CAF\xe9.SWF", true},
      {"caf\xe9.swf", "caf\xe8.swf", false},
      {"caf\xe9.swf", "caf\xc3\xa9.swf", false},
#endif
  };
  for (const auto& c : cases) EXPECT_EQ(vx::SameEntryName(c.a, c.b), c.same) << c.a << " / " << c.b;
}

}  // namespace
