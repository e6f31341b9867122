// Values computed from a file's description: DOS date and time, Unix times, external
// attributes, and the store-or-deflate choice.
#include <gtest/gtest.h>

#include <cstring>

#include "common/file.h"
#include "zipwriter/zip_fields.h"
#include "zipwriter/zip_writer.h"

namespace {

uint64_t FileTimeOf(int64_t unixSeconds) { return vx::UnixToFileTime(unixSeconds); }

TEST(ZipFields, DosDateAndTimeAreTheUtcCalendarFields) {
  struct Case {
    int64_t unix;
    uint16_t date, time;
  } cases[] = {
      {1715956678, 0x58B1, 0x74BD},                                            // 2024-05-17 14:37:58
      {951868799, (20 << 9) | (2 << 5) | 29, (23 << 11) | (59 << 5) | 29},     // 2000-02-29 23:59:59
      {315532800, (0 << 9) | (1 << 5) | 1, 0},                                 // 1980-01-01 00:00:00
      {4354819199, (127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29},  // 2107-12-31 23:59:59
      {1709164800, (44 << 9) | (2 << 5) | 29, 0},                              // 2024-02-29 (leap day)
      {4107542400, (120 << 9) | (3 << 5) | 1, 0},  // 2100-03-01 (2100 is no leap year)
  };
  for (const Case& c : cases) {
    vx::DosDateTime d = vx::DosDateTimeFromFileTime(FileTimeOf(c.unix));
    EXPECT_EQ(d.date, c.date) << c.unix;
    EXPECT_EQ(d.time, c.time) << c.unix;
  }
  // Sub-second parts of the file time are dropped, odd seconds round down.
  vx::DosDateTime d = vx::DosDateTimeFromFileTime(FileTimeOf(1715956678) + 9999999);
  EXPECT_EQ(d.time, 0x74BD);
}

TEST(ZipFields, DosDateOutsideItsRangeIsClamped) {
  // 1975 and 1970 would otherwise wrap into the 2090s.
  for (int64_t early : {int64_t{162864000}, int64_t{0}, int64_t{315532799}}) {
    vx::DosDateTime d = vx::DosDateTimeFromFileTime(FileTimeOf(early));
    EXPECT_EQ(d.date, 0x0021) << early;
    EXPECT_EQ(d.time, 0) << early;
  }
  vx::DosDateTime d = vx::DosDateTimeFromFileTime(0);  // 1601
  EXPECT_EQ(d.date, 0x0021);
  d = vx::DosDateTimeFromFileTime(FileTimeOf(4354819200));  // 2108-01-01
  EXPECT_EQ(d.date, (127 << 9) | (12 << 5) | 31);
  EXPECT_EQ(d.time, (23 << 11) | (59 << 5) | 29);
}

TEST(ZipFields, UnixTimesKeepTheLow32Bits) {
  EXPECT_EQ(vx::UnixTimeFromFileTime(FileTimeOf(1715956678)), 1715956678u);
  EXPECT_EQ(vx::UnixTimeFromFileTime(vx::kFileTimeUnixEpoch), 0u);
  // Before 1970: a negative count, read back as a signed 32-bit value.
  EXPECT_EQ(static_cast<int32_t>(vx::UnixTimeFromFileTime(FileTimeOf(-86400))), -86400);
  // After 2106 the count wraps (the field is 32 bits wide).
  EXPECT_EQ(vx::UnixTimeFromFileTime(FileTimeOf(0x100000005LL)), 5u);
}

TEST(ZipFields, ExternalAttributes) {
  EXPECT_EQ(vx::ExternalAttributes(vx::kAttrArchive), 0x81800020u);
  EXPECT_EQ(vx::ExternalAttributes(vx::kAttrArchive | vx::kAttrReadOnly), 0x81000021u);
  EXPECT_EQ(vx::ExternalAttributes(vx::kAttrNormal), 0x81800000u);
  EXPECT_EQ(vx::ExternalAttributes(vx::kAttrHidden | vx::kAttrSystem | vx::kAttrArchive), 0x81800026u);
  EXPECT_EQ(vx::ExternalAttributes(vx::kAttrDirectory), 0x41800010u);
  // Bits outside 0x37 (normal, temporary, compressed, ...) are dropped.
  EXPECT_EQ(vx::ExternalAttributes(0x0900 | 0x80 | 0x40 | vx::kAttrArchive), 0x81800020u);
}

TEST(ZipFields, StoredSuffixes) {
  const char* expected[] = {".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"};
  for (int i = 0; i < 8; ++i) EXPECT_STREQ(vx::StoredSuffixes[i], expected[i]);

  for (const char* name : {"data.ZIP", "old.Arj", "archive.tar.gz", "x.tgz", "f.z", "F.Z", ".zip",
                           "a.b.c.lzh", "sub/x.ZoO", "game.arc", "\xE9\xE9.gz"}) {
    EXPECT_TRUE(vx::IsStoredName(name)) << name;
  }
  for (const char* name : {"movie.swf", "photo.jpg", "package.ini", "noext", "zip", "x.zipx", "x.gzip", "x.g",
                           "x.", ".", "", "x.zip.txt", "x.zip/", "x.z ", "x.\xE9z", "x.Zz"}) {
    EXPECT_FALSE(vx::IsStoredName(name)) << name;
  }
}

TEST(ZipFields, ResultTextsAreDistinct) {
  const uint32_t codes[] = {vx::kZipOk,
                            vx::kZipOpenFailed,
                            vx::kZipWriteFailed,
                            vx::kZipBadArgument,
                            vx::kZipNotWriterHandle,
                            vx::kZipSeekFailed,
                            vx::kZipSizeChanged,
                            0x12345};
  for (size_t i = 0; i < 8; ++i) {
    ASSERT_NE(vx::ZipResultText(codes[i]), nullptr);
    EXPECT_GT(std::strlen(vx::ZipResultText(codes[i])), 3u);
    EXPECT_EQ(std::strchr(vx::ZipResultText(codes[i]), '\n'), nullptr);
    for (size_t j = 0; j < i; ++j) EXPECT_STRNE(vx::ZipResultText(codes[i]), vx::ZipResultText(codes[j]));
  }
}

}  // namespace
