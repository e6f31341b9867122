// The package's own folder under "VX": claiming it, giving it back, and sweeping the
// folders of runs that are gone. Nothing is ever deleted through a link.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/file.h"
#include "player/run_folder.h"
#include "tests/common/folder_link.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/whole_file.h"

namespace {

using vx::test::ScratchFolder;

void Write(const std::string& path, const std::string& text) { vx::test::WriteWholeFile(path, text); }

// A folder outside VX holding two files, and a link to it at `link`; skips the test
// where no kind of link can be made.
struct LinkedFolder {
  LinkedFolder(const ScratchFolder& scratch, const std::string& link) : m_link(link) {
    target = scratch / "outside \xE5\xA4\x96";
    vx::CreateFolders(target);
    Write(vx::JoinPath(target, "keep1.txt"), "one");
    Write(vx::JoinPath(target, "keep2.txt"), "two");
    kind = vx::test::MakeFolderLink(target, link);
  }
  ~LinkedFolder() { vx::test::DropFolderLink(m_link); }
  // The two files and nothing else, as before.
  bool intact() const {
    std::vector<std::string> names;
    vx::ForEachInFolder(target, [&](const std::string& name, bool) { names.push_back(name); });
    std::sort(names.begin(), names.end());
    return names == std::vector<std::string>{"keep1.txt", "keep2.txt"};
  }
  std::string target;
  vx::test::FolderLink kind;
  std::string m_link;
};

TEST(RunFolder, ClaimLocksInTheOwnFolderAndReleaseRemovesEverything) {
  ScratchFolder root("vx root.\xC3\xBC");
  CRunFolder run;
  ASSERT_TRUE(run.Claim(root.path(), "0123456789abcdef"));
  EXPECT_EQ(run.path(), root / "0123456789abcdef");
  EXPECT_EQ(run.ownFolder(), vx::JoinPath(run.path(), "~orrinet"));
  EXPECT_TRUE(vx::PathExists(vx::JoinPath(run.ownFolder(), "run.lock")));
  Write(vx::JoinPath(run.path(), "\xE6\x95\xB0\xE6\x8D\xAE.xml"), "data");
  Write(vx::JoinPath(run.ownFolder(), "flash8.ocx"), "control");
  // Held: a second claim of the package takes the next instance's folder.
  CRunFolder second;
  ASSERT_TRUE(second.Claim(root.path(), "0123456789abcdef"));
  EXPECT_EQ(second.path(), root / "0123456789abcdef-2");
  run.Release();
  second.Release();
  EXPECT_EQ(root.list(), std::vector<std::string>{});
}

TEST(RunFolder, ALinkAtTheRunFolderIsRefusedAndNeverEmptied) {
  ScratchFolder scratch("link");
  const std::string root = scratch / "VX";
  vx::CreateFolders(root);
  LinkedFolder linked(scratch, vx::JoinPath(root, "0123456789abcdef"));
  if (linked.kind == vx::test::FolderLink::None) GTEST_SKIP() << "no folder links here";
  {
    CRunFolder run;
    ASSERT_TRUE(run.Claim(root, "0123456789abcdef"));
    EXPECT_EQ(run.path(), vx::JoinPath(root, "0123456789abcdef-2"));
    run.Release();
  }
  EXPECT_TRUE(linked.intact());
  // The sweep passes it by too, and a run folder whose own folder is a link is refused.
  EXPECT_EQ(CRunFolder::SweepStale(root), 0);
  EXPECT_TRUE(linked.intact());
}

TEST(RunFolder, SweepRemovesWhatRunsLeftAndNothingElse) {
  ScratchFolder scratch("sweep");
  const std::string root = scratch / "VX";
  auto folder = [&](const std::string& name) {
    const std::string f = vx::JoinPath(root, name);
    vx::CreateFolders(f);
    return f;
  };
  // A run that is gone: its lock (unheld) and files; one of an earlier player, whose
  // lock lay at the top; an empty folder; one holding nothing but an empty own folder.
  const std::string gone = folder("gone");
  vx::CreateFolders(vx::JoinPath(gone, "~orrinet"));
  Write(vx::JoinPath(gone, "~orrinet\\run.lock"), "");
  Write(vx::JoinPath(gone, "movie.swf"), "x");
  const std::string legacy = folder("legacy");
  Write(vx::JoinPath(legacy, "~orrinet.lock"), "");
  Write(vx::JoinPath(legacy, "movie.swf"), "x");
  folder("empty");
  vx::CreateFolders(vx::JoinPath(folder("own-only"), "~orrinet"));
  // Not a player's: files without a lock. In use: a held lock.
  Write(vx::JoinPath(folder("foreign"), "notes.txt"), "keep");
  CRunFolder held;
  ASSERT_TRUE(held.Claim(root, "held"));
  Write(vx::JoinPath(held.path(), "movie.swf"), "x");
  LinkedFolder linked(scratch, vx::JoinPath(root, "linked"));

  std::atomic<bool> stop{true};
  EXPECT_EQ(CRunFolder::SweepStale(root, &stop), 0) << "a sweep asked to stop removes nothing";
  EXPECT_EQ(CRunFolder::SweepStale(root), 4);
  std::vector<std::string> left;
  vx::ForEachInFolder(root, [&](const std::string& name, bool) { left.push_back(name); });
  std::sort(left.begin(), left.end());
  std::vector<std::string> expected{"foreign", "held"};
  if (linked.kind != vx::test::FolderLink::None) expected.push_back("linked");
  EXPECT_EQ(left, expected);
  EXPECT_TRUE(vx::PathExists(vx::JoinPath(held.path(), "movie.swf")));
  EXPECT_TRUE(linked.intact());
}

TEST(RunFolder, AStartWaitsBrieflyForItsOwnFolderBeforeTakingTheNext) {
  ScratchFolder root("wait");
  // Let go a moment after the next start began, as a run that is just ending: the
  // start waits and gets it.
  {
    CRunFolder ending;
    ASSERT_TRUE(ending.Claim(root.path(), "pkg"));
    std::atomic<bool> starting{false};
    std::thread release([&] {
      while (!starting) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      ending.Release();
    });
    starting = true;
    CRunFolder next;
    const bool claimed = next.Claim(root.path(), "pkg");
    release.join();
    ASSERT_TRUE(claimed);
    EXPECT_EQ(next.path(), root / "pkg");
  }
  // Held on: after the wait (a second at most) the next instance's folder.
  CRunFolder playing;
  ASSERT_TRUE(playing.Claim(root.path(), "pkg"));
  CRunFolder other;
  ASSERT_TRUE(other.Claim(root.path(), "pkg"));
  EXPECT_EQ(other.path(), root / "pkg-2");
}

}  // namespace
