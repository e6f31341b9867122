// Windows only: names without the UTF-8 flag are read in the code page of their
// system: the OEM one for an MS-DOS host, the ANSI one for every other host.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/file.h"
#include "test_archive.h"
#include "zipreader/zip_reader.h"

using namespace vxtest;

TEST(ZipReaderWin32, OemNamesFromDosHostsOnly) {
  if (GetOEMCP() != 437 || GetACP() != 1252) GTEST_SKIP() << "code pages " << GetOEMCP() << "/" << GetACP();
  std::vector<TestEntry> v(2);
  v[0].name = "caf\x82.txt";  // e acute in code page 437
  v[0].versionMadeBy = 0x0014;
  v[0].externalAttributes = 0x20;
  v[1].name = "caf\xE9.swf";  // ANSI, from the writer's host 11
  for (auto& e : v) e.data = TextBytes(e.name);
  TestArchive a = BuildArchive(v);
  MemoryReader reader(a.bytes);
  vx::ZipEntryInfo info;
  reader.entryInfo(0, info);
  EXPECT_EQ(info.name(), "caf\xC3\xA9.txt");
  reader.entryInfo(1, info);
  EXPECT_EQ(info.name(), "caf\xC3\xA9.swf");
  ScratchFolder dir("oem");
  ASSERT_TRUE(reader.extractEntry(0, dir.path(), false, nullptr, 65536));
  ASSERT_TRUE(reader.extractEntry(1, dir.path(), false, nullptr, 65536));
  EXPECT_EQ(ReadWholeFile(dir.file("caf\xC3\xA9.txt")), v[0].data);
  EXPECT_EQ(ReadWholeFile(dir.file("caf\xC3\xA9.swf")), v[1].data);
}

TEST(ZipReaderWin32, HiddenAndSystemBitsReachTheFile) {
  std::vector<TestEntry> v(1);
  v[0].name = "hidden.txt";
  v[0].versionMadeBy = 0x0A14;  // NTFS: attributes taken as they are
  v[0].externalAttributes = 0x23;
  v[0].data = TextBytes("h");
  TestArchive a = BuildArchive(v);
  MemoryReader reader(a.bytes);
  ScratchFolder dir("hidden");
  ASSERT_TRUE(reader.extractEntry(0, dir.path(), false, nullptr, 65536));
  vx::FileDescription d;
  ASSERT_TRUE(vx::DescribePath(dir.file("hidden.txt"), d));
  const DWORD attrs = d.attributes;
  EXPECT_TRUE(attrs & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(attrs & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(attrs & FILE_ATTRIBUTE_ARCHIVE);
}
