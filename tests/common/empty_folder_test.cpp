#include <gtest/gtest.h>

#include <string>

#include "common/empty_folder.h"
#include "common/file.h"
#include "tests/common/folder_link.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/whole_file.h"

namespace {

void WriteFile(const std::string& path, const std::string& text) {
  vx::File f;
  ASSERT_TRUE(f.open(path, vx::File::Mode::CreateWrite)) << path;
  ASSERT_TRUE(f.write(text.data(), text.size()));
  ASSERT_TRUE(f.close());
}

TEST(EmptyFolder, DeletesFilesAndSubFoldersButKeepsTheFolder) {
  vx::test::ScratchFolder scratch("empty_folder");
  const std::string& root = scratch.path();
  ASSERT_TRUE(vx::CreateFolders(vx::JoinPath(root, "a") + vx::kPathSeparator + "b"));
  WriteFile(vx::JoinPath(root, "top.txt"), "x");
  WriteFile(vx::JoinPath(vx::JoinPath(root, "a"), "mid.bin"), "yy");
  WriteFile(vx::JoinPath(vx::JoinPath(vx::JoinPath(root, "a"), "b"), "deep"), "zzz");
  std::string ro = vx::JoinPath(root, "readonly.txt");
  WriteFile(ro, "r");
  ASSERT_TRUE(vx::SetFileAttributeBits(ro, vx::kAttrReadOnly));

  vx::EmptyFolder(root);

  EXPECT_TRUE(vx::IsDirectory(root));
  int left = 0;
  vx::ForEachInFolder(root, [&](const std::string&, bool) { ++left; });
  EXPECT_EQ(left, 0);
}

std::string ReadFile(const std::string& path) { return vx::test::ReadWholeFile<std::string>(path); }

// A link to a folder outside, directly in the folder being emptied and one level down:
// the links go (where the platform's file calls can remove them), and nothing outside
// is touched.
TEST(EmptyFolder, LinksAreRemovedAndNeverFollowed) {
  vx::test::ScratchFolder scratch("empty_links");
  const std::string outside = scratch / "outside", work = scratch / "work", sub = vx::JoinPath(work, "sub");
  ASSERT_TRUE(vx::CreateFolders(vx::JoinPath(outside, "inner")));
  ASSERT_TRUE(vx::CreateFolders(sub));
  WriteFile(vx::JoinPath(outside, "precious.txt"), "keep");
  WriteFile(vx::JoinPath(vx::JoinPath(outside, "inner"), "deep.txt"), "keep too");
  WriteFile(vx::JoinPath(work, "own.txt"), "x");
  const std::string links[] = {vx::JoinPath(work, "link"), vx::JoinPath(sub, "link")};
  const vx::test::FolderLink kind = vx::test::MakeFolderLink(outside, links[0]);
  ASSERT_NE(kind, vx::test::FolderLink::None) << "no folder link could be made here";
  ASSERT_EQ(vx::test::MakeFolderLink(outside, links[1]), kind);
  ASSERT_EQ(ReadFile(vx::JoinPath(links[0], "precious.txt")), "keep");  // it does lead outside

  vx::EmptyFolder(work);

  EXPECT_EQ(ReadFile(vx::JoinPath(outside, "precious.txt")), "keep");
  EXPECT_EQ(ReadFile(vx::JoinPath(vx::JoinPath(outside, "inner"), "deep.txt")), "keep too");
  EXPECT_FALSE(vx::PathExists(vx::JoinPath(work, "own.txt")));
  EXPECT_TRUE(vx::IsDirectory(work));
  if (kind == vx::test::FolderLink::Native) {
    for (const std::string& link : links) EXPECT_FALSE(vx::IsLink(link)) << link;
    EXPECT_FALSE(vx::PathExists(sub));
  }
  for (const std::string& link : links) vx::test::DropFolderLink(link);
}

TEST(EmptyFolder, MissingFolderIsNoError) {
  vx::test::ScratchFolder scratch("empty_folder");
  vx::EmptyFolder(scratch.file("no_such_folder_here"));
  SUCCEED();
}

TEST(FileLayer, DescribeReportsSizeTimesAndReadOnly) {
  vx::test::ScratchFolder scratch("describe");
  std::string path = scratch.file("describe.txt");
  WriteFile(path, "hello");
  ASSERT_TRUE(vx::SetFileTimesUnix(path, 1000000000, 1200000000));
  vx::FileDescription d;
  ASSERT_TRUE(vx::DescribePath(path, d));
  EXPECT_EQ(d.size, 5u);
  EXPECT_EQ(vx::FileTimeToUnix(d.lastWrite), 1200000000u);
  EXPECT_EQ(vx::FileTimeToUnix(d.lastAccess), 1000000000u);
  EXPECT_EQ(d.attributes & vx::kAttrReadOnly, 0u);
  ASSERT_TRUE(vx::SetFileAttributeBits(path, vx::kAttrReadOnly));
  ASSERT_TRUE(vx::DescribePath(path, d));
  EXPECT_NE(d.attributes & vx::kAttrReadOnly, 0u);
  vx::SetFileAttributeBits(path, vx::kAttrNormal);
  EXPECT_TRUE(vx::DeleteFilePath(path));
}

}  // namespace
