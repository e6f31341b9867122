// The one way the tests reach a file of the build tree by the path CMake compiled into
// them: a Unix path, in UTF-8. On Linux it is used as it is. Under Wine the tree is
// reached through drive Z:, and the Windows programs take paths in the ANSI code page,
// so the path's letters beyond ASCII (a checkout under "Jürgen" or "dir.ü") are
// converted to it; without that the page's reading of the UTF-8 bytes names another
// folder.
#pragma once
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vx::test {

inline std::string BuildTreePath(std::string path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') {
    for (char& c : path)
      if (c == '/') c = '\\';
    path = "Z:" + path;
  }
  std::wstring wide(path.size() + 1, L'\0');
  const int w = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
  const int n = w > 1 ? WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr) : 0;
  if (n <= 1) return path;
  std::string ansi(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &ansi[0], n, nullptr, nullptr);
  ansi.resize(static_cast<size_t>(n - 1));
  return ansi;
#else
  return path;
#endif
}

}  // namespace vx::test
