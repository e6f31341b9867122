#include <unistd.h>

#include "tests/common/folder_link.h"

namespace vx::test {

FolderLink MakeFolderLink(const std::string& target, const std::string& link) {
  return symlink(target.c_str(), link.c_str()) == 0 ? FolderLink::Native : FolderLink::None;
}

void DropFolderLink(const std::string& link) { unlink(link.c_str()); }

}  // namespace vx::test
