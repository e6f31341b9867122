// What both platform sides of the file layer share: the moves of a File and the path
// helpers.
#include "common/file.h"

namespace vx {

// Closing, moving and the handle's "none" value are the same on both platforms.
File::~File() { close(); }

File::File(File&& other) noexcept : m_handle(other.m_handle) { other.m_handle = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    m_handle = other.m_handle;
    other.m_handle = -1;
  }
  return *this;
}

long long File::readFully(void* buf, size_t len) {
  uint8_t* p = static_cast<uint8_t*>(buf);
  size_t total = 0;
  while (total < len) {
    const long long n = read(p + total, len - total);
    if (n < 0) return -1;
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  return static_cast<long long>(total);
}

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
