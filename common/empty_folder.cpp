#include "common/empty_folder.h"

#include <utility>
#include <vector>

#include "common/file.h"

namespace vx {

void EmptyFolder(const std::string& path, const std::atomic<bool>* stop) {
  // Collect first, then delete: removing entries while a listing is open is not
  // portable.
  std::vector<std::pair<std::string, bool>> entries;
  ForEachInFolder(
      path, [&](const std::string& name, bool isDir) { entries.emplace_back(JoinPath(path, name), isDir); });
  for (const auto& [full, isDir] : entries) {
    if (stop && stop->load()) return;
    if (IsLink(full)) {
      // A junction or symbolic link leads out of this folder: the link goes, and
      // nothing is ever deleted through it.
      RemoveLink(full);
    } else if (isDir) {
      EmptyFolder(full, stop);
      RemoveFolder(full);
    } else {
      if (!DeleteFilePath(full)) {
        // A read-only file cannot be deleted on Windows until it is writable again.
        SetFileAttributeBits(full, kAttrNormal);
        DeleteFilePath(full);
      }
    }
  }
}

}  // namespace vx
