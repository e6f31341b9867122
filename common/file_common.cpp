// Path helpers shared by both platform sides.
#include "common/file.h"

namespace vx {

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  char last = folder.back();
  if (last == '\\' || last == '/') return folder + name;
  return folder + kPathSeparator + name;
}

std::string LastPathComponent(const std::string& path) {
  size_t pos = path.find_last_of("\\/");
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

bool CreateFolders(const std::string& path) {
  if (path.empty()) return false;
  if (IsDirectory(path)) return true;
  std::string trimmed = path;
  while (trimmed.size() > 1 && (trimmed.back() == '\\' || trimmed.back() == '/')) trimmed.pop_back();
  size_t pos = trimmed.find_last_of("\\/");
  if (pos != std::string::npos && pos > 0) {
    std::string parent = trimmed.substr(0, pos);
    // Stop at a drive root such as "C:".
    if (!(parent.size() == 2 && parent[1] == ':')) CreateFolders(parent);
  }
  return CreateFolder(trimmed);
}

}  // namespace vx
