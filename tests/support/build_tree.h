// The one way the tests reach a file of the build tree by the path CMake compiled into
// them: a Unix path, in UTF-8. On Linux it is used as it is. Under Wine the tree is
// reached through drive Z:, with backslashes; it stays UTF-8, as every path our file
// layer takes on Windows.
#pragma once
#include <string>

namespace vx::test {

inline std::string BuildTreePath(std::string path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') {
    for (char& c : path)
      if (c == '/') c = '\\';
    path = "Z:" + path;
  }
#endif
  return path;
}

}  // namespace vx::test
