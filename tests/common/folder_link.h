// Test equipment: a link to a folder, made the way the platform allows.
#pragma once
#include <string>

namespace vx::test {

enum class FolderLink {
  None,    // the platform made no link
  Native,  // POSIX: a symbolic link; Windows: a directory symbolic link or a junction
  // Wine without links of its own: a Unix symbolic link made by the Unix `ln`, which
  // Wine shows as a reparse point but whose link its file calls cannot remove.
  UnixUnderWine,
};

// Makes `link` lead to the folder `target` (both full paths).
FolderLink MakeFolderLink(const std::string& target, const std::string& link);
// Takes a link of MakeFolderLink away again, whichever kind it is (for the clean-up).
void DropFolderLink(const std::string& link);

}  // namespace vx::test
