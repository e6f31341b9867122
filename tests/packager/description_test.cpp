// The description file and the title block, byte for byte, and the size text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/byte_order.h"
#include "common/empty_folder.h"
#include "common/file.h"
#include "common/file_size.h"
#include "common/package_contract.h"
#include "common/package_description.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/whole_file.h"

namespace {

std::string ReadAll(const std::string& path) { return vx::test::ReadWholeFile<std::string>(path); }

std::string Scratch(const std::string& name) { return vx::test::ProcessScratch().file(name); }

TEST(Description, FilesOfBothModesAreExactlyFourCrLfLines) {
  const std::string path = Scratch("package.ini");
  ASSERT_EQ(
      vx::WriteDescriptionFile(path, vx::DescriptionText(false, "intro.swf", vx::PackageType::Resource)), 0);
  EXPECT_EQ(ReadAll(path), "[SETTINGS]\r\nfullscreen=false\r\nmainmovie=intro.swf\r\ntype=resource");

  ASSERT_EQ(vx::WriteDescriptionFile(path, vx::DescriptionText(true, "", vx::PackageType::Slideshow)), 0);
  EXPECT_EQ(ReadAll(path), "[SETTINGS]\r\nfullscreen=true\r\nmainmovie=\r\ntype=slideshow");
}

TEST(Description, TextUsesBareLfAndNoFinalLineEnd) {
  std::string text = vx::DescriptionText(true, "a b.swf", vx::PackageType::Resource);
  EXPECT_EQ(text, "[SETTINGS]\nfullscreen=true\nmainmovie=a b.swf\ntype=resource");
}

TEST(WriteDescriptionFile, TruncatesAnOlderLongerFileAndKeepsOtherBytes) {
  const std::string path = Scratch("truncate.txt");
  ASSERT_EQ(vx::WriteDescriptionFile(path, std::string(500, 'x')), 0);
  // Only LF is translated; a CR already present and other control bytes pass as they are.
  ASSERT_EQ(vx::WriteDescriptionFile(path, std::string("a\nb\r\n\x01", 6)), 0);
  EXPECT_EQ(ReadAll(path), std::string("a\r\nb\r\r\n\x01", 8));
}

// A main movie named beyond ASCII: UTF-16 with its mark, CR LF between lines, and the
// text reads back from each form the player may meet.
TEST(Description, NonAsciiTextIsUtf16WithItsMarkAndReadsBack) {
  const std::string text =
      vx::DescriptionText(false, "\xE6\xB8\xB8\xE6\x88\x8F.swf", vx::PackageType::Resource);
  const std::string bytes = vx::DescriptionFileBytes(text);
  const std::u16string expected =
      u"\uFEFF[SETTINGS]\r\nfullscreen=false\r\nmainmovie=\u6E38\u620F.swf\r\ntype=resource";
  ASSERT_EQ(bytes.size(), 2 * expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(vx::LoadLE16(reinterpret_cast<const uint8_t*>(bytes.data()) + 2 * i), expected[i]) << i;
  const std::string crlf =
      "[SETTINGS]\r\nfullscreen=false\r\nmainmovie=\xE6\xB8\xB8\xE6\x88\x8F.swf\r\ntype=resource";
  EXPECT_EQ(vx::DescriptionFileText(bytes), crlf);
  EXPECT_EQ(vx::DescriptionFileText("\xEF\xBB\xBF" + crlf), crlf);
  // ASCII text has no mark, as it always had none.
  EXPECT_EQ(vx::DescriptionFileBytes("[SETTINGS]\nmainmovie=a.swf"), "[SETTINGS]\r\nmainmovie=a.swf");
  EXPECT_EQ(vx::DescriptionFileText("[SETTINGS]\r\nmainmovie=a.swf"), "[SETTINGS]\r\nmainmovie=a.swf");
}

TEST(WriteDescriptionFile, ReportsAFileThatCannotBeCreated) {
  std::string path = vx::JoinPath(Scratch("no_such_folder"), "x.ini");
  EXPECT_EQ(vx::WriteDescriptionFile(path, "x"), -1);
  EXPECT_FALSE(vx::PathExists(path));
}

std::vector<uint8_t> Words(std::initializer_list<uint16_t> words) {
  std::vector<uint8_t> out;
  for (uint16_t w : words) {
    out.push_back(static_cast<uint8_t>(w & 0xFF));
    out.push_back(static_cast<uint8_t>(w >> 8));
  }
  return out;
}

TEST(TitleBlock, LayoutOfShortEmptyAndFullTitles) {
  EXPECT_EQ(vx::TitleStringBlock("Hi"), Words({0, 2, 'H', 'i'}));
  EXPECT_EQ(vx::TitleStringBlock(""), std::vector<uint8_t>(4, 0));

  std::string fifty;
  for (int i = 0; i < 50; ++i) fifty += static_cast<char>('A' + i % 26);
  std::vector<uint8_t> block = vx::TitleStringBlock(fifty);
  ASSERT_EQ(block.size(), 104u);
  EXPECT_EQ(vx::LoadLE16(&block[0]), 0);
  EXPECT_EQ(vx::LoadLE16(&block[2]), 50);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(vx::LoadLE16(&block[4 + 2 * i]), fifty[i]) << i;
}

TEST(TitleBlock, LengthWordNeverWrapsAround) {
  std::vector<uint8_t> block = vx::TitleStringBlock(std::string(70000, 'a'));
  ASSERT_EQ(block.size(), 2u * (0xFFFF + 2));
  EXPECT_EQ(vx::LoadLE16(&block[2]), 0xFFFF);
}

TEST(TitleBlock, NonAsciiTitleIsConvertedToUtf16) {
  // The title is UTF-8 on every platform (the packager window converts its text from
  // the system's code page before it builds).
  const std::string title = "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xAC";  // "Café € 🎬" in UTF-8
  std::vector<uint8_t> block = vx::TitleStringBlock(title);
  EXPECT_EQ(block, Words({0, 9, 'C', 'a', 'f', 0xE9, ' ', 0x20AC, ' ', 0xD83C, 0xDFAC}));
  // Bytes that are no UTF-8 become U+FFFD, one each, instead of being dropped.
  EXPECT_EQ(vx::TitleStringBlock("a\xFF\xC3"), Words({0, 3, 'a', 0xFFFD, 0xFFFD}));
  std::u16string back;
  ASSERT_TRUE(vx::StringFromBlock(block.data(), block.size(), 1, back));
  EXPECT_EQ(back.substr(0, 3), u"Caf");
}

TEST(TitleBlock, StringFromBlockStopsAtTheEndOfAShortBlock) {
  std::vector<uint8_t> block = vx::TitleStringBlock("Show");
  std::u16string s;
  ASSERT_TRUE(vx::StringFromBlock(block.data(), block.size(), 0, s));
  EXPECT_TRUE(s.empty());
  ASSERT_TRUE(vx::StringFromBlock(block.data(), block.size(), 1, s));
  EXPECT_EQ(s, u"Show");
  EXPECT_FALSE(vx::StringFromBlock(block.data(), block.size(), 2, s));
  // A length word that promises more than the block holds.
  std::vector<uint8_t> bad = Words({0, 9, 'x'});
  EXPECT_FALSE(vx::StringFromBlock(bad.data(), bad.size(), 1, s));
}

TEST(FormatFileSize, UnitStepsAndRounding) {
  EXPECT_EQ(vx::FormatByteCount(0), "0 B");
  EXPECT_EQ(vx::FormatByteCount(1024), "1024 B");
  EXPECT_EQ(vx::FormatByteCount(1025), "1 KB");
  EXPECT_EQ(vx::FormatByteCount(1048576), "1024 KB");
  EXPECT_EQ(vx::FormatByteCount(1572864), "1.50 MB");
  EXPECT_EQ(vx::FormatByteCount(1048577), "1.00 MB");
  EXPECT_EQ(vx::FormatByteCount(0xFFFFFFFFu), "4.00 GB");
}

TEST(FormatFileSize, OfRealFilesAndOfAMissingOne) {
  const std::string path = Scratch("sized.bin");
  {
    vx::File f;
    ASSERT_TRUE(f.open(path, vx::File::Mode::CreateWrite));
    std::string block(65536, '\x5a');
    for (int i = 0; i < 24; ++i) ASSERT_TRUE(f.write(block.data(), block.size()));  // 1,572,864
    ASSERT_TRUE(f.close());
  }
  EXPECT_EQ(vx::FormatFileSize(path), "1.50 MB");
  EXPECT_EQ(vx::FormatFileSize(path + ".missing"), "0 KB");
}

TEST(PackageContract, InstallPathsUseThePlatformSeparator) {
  std::string s(1, vx::kPathSeparator);
  EXPECT_EQ(vx::InstallPath("C", vx::kWorkArchiveTail), "C" + s + "Temp" + s + "package.zip");
  EXPECT_EQ(vx::InstallPath("dir" + s, vx::kStubTail), "dir" + s + "Orrinet.exe");
  EXPECT_EQ(std::string(vx::kPackagePassword).size(), 10u);
}

}  // namespace
