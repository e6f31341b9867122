#include "tests/gui/scenarios/scenarios.h"

namespace vx::test::gui {

// The work folder exists while the packager runs and is empty after it has closed;
// the installation folder is the executable's whatever the current folder.
void WorkFolder(const Setup& s) {
  const std::string temp = s.installDir + "\\Temp";
  Packager p;
  ASSERT_TRUE(StartPackager(p, s.installDir, "C:\\")) << "the packager did not start";
  EXPECT_TRUE(IsFolder(temp)) << "no work folder while running";
  // Leftovers as a build or an earlier run would leave them, nested.
  CreateDirectoryA((temp + "\\nested").c_str(), nullptr);
  CreateDirectoryA((temp + "\\nested\\deeper").c_str(), nullptr);
  EXPECT_TRUE(WriteFileBytes(temp + "\\left.txt", "x")) << "write";
  EXPECT_TRUE(WriteFileBytes(temp + "\\nested\\deeper\\more.bin", "yy")) << "write";
  EXPECT_TRUE(ClosePackager(p)) << "the packager did not close";
  EXPECT_TRUE(IsFolder(temp)) << "the work folder itself was removed";
  const std::vector<std::string> left = FolderEntries(temp);
  EXPECT_TRUE(left.empty()) << Printf("%u entries left in the work folder (first: %s)",
                                      static_cast<unsigned>(left.size()),
                                      left.empty() ? "" : left[0].c_str());
}

}  // namespace vx::test::gui
