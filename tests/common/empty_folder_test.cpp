#include <gtest/gtest.h>

#include <string>

#include "common/empty_folder.h"
#include "common/file.h"
#include "tests/support/scratch_folder.h"

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
