#include "tests/gui/gui_driver.h"

namespace vx::test::gui {

// The work folder exists while the packager runs and is empty after it has closed;
// the installation folder is the executable's whatever the current folder.
int WorkFolder(const Setup& s) {
  const std::string temp = s.installDir + "\\Temp";
  Packager p;
  if (!StartPackager(p, s.installDir, "C:\\")) return 1;
  CHECK(IsFolder(temp), "no work folder while running");
  // Leftovers as a build or an earlier run would leave them, nested.
  CreateDirectoryA((temp + "\\nested").c_str(), nullptr);
  CreateDirectoryA((temp + "\\nested\\deeper").c_str(), nullptr);
  CHECK(WriteFileBytes(temp + "\\left.txt", "x"), "write");
  CHECK(WriteFileBytes(temp + "\\nested\\deeper\\more.bin", "yy"), "write");
  CHECK(ClosePackager(p), "the packager did not close");
  CHECK(IsFolder(temp), "the work folder itself was removed");
  const std::vector<std::string> left = FolderEntries(temp);
  CHECK(left.empty(), "%u entries left in the work folder (first: %s)", static_cast<unsigned>(left.size()),
        left.empty() ? "" : left[0].c_str());
  return g_failures ? 1 : 0;
}

}  // namespace vx::test::gui
