// The one scratch-folder helper of the tests: a fresh folder of its own under the
// system's temporary folder, emptied and removed when it goes out of scope.
//
// Its name carries random bytes, so test processes running at the same time (CTest
// runs them in parallel, and each gtest case of the host build is a process of its
// own) never share a folder, whatever names the tests give the files inside. It also
// holds a blank, a dot and a letter beyond ASCII (kScratchNamePart), so that every
// test works with such a path, as users' folders often are ("my projects", "john.doe").
#pragma once
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/empty_folder.h"
#include "common/file.h"
#include "common/random.h"

namespace vx::test {

// The part of every scratch folder's name that paths must survive: a blank, a dot and
// "ü" as UTF-8. Windows programs that take paths in the ANSI code page read its two
// bytes as two characters of that page ("Ã¼" in code page 1252): not ASCII either.
inline constexpr char kScratchNamePart[] = "scratch dir.\xC3\xBC";

class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& tag = "test") {
    unsigned char r[6] = {};
    SystemRandomBytes(r, sizeof r);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%02x%02x%02x%02x%02x%02x", r[0], r[1], r[2], r[3], r[4], r[5]);
    m_strPath = JoinPath(TempFolder(), std::string("vx ") + kScratchNamePart + " " + tag + "_" + suffix);
    CreateFolders(m_strPath);
  }
  ~ScratchFolder() {
    EmptyFolder(m_strPath);  // read-only files too
    RemoveFolder(m_strPath);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return m_strPath; }
  std::string file(const std::string& name) const { return JoinPath(m_strPath, name); }
  std::string operator/(const std::string& name) const { return file(name); }
  // The names in the folder, sorted.
  std::vector<std::string> list() const {
    std::vector<std::string> names;
    ForEachInFolder(m_strPath, [&](const std::string& name, bool) { names.push_back(name); });
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string m_strPath;
};

// A scratch folder for the whole test process, made on first use and removed at exit:
// for tests that only need file names no other process uses.
inline const ScratchFolder& ProcessScratch() {
  static const ScratchFolder folder("process");
  return folder;
}

}  // namespace vx::test
