// sweep_bench.exe: what the player's start-up sweep of left-over run folders costs.
//
//   sweep_bench.exe [FOLDERS [ROUNDS]]
//
// In a root folder of its own under the temporary folder it makes FOLDERS (default
// 100) folders as killed runs leave them (an unheld lock file and five files of a
// small package, 40 KB in all) and times, per round:
//   sweep   CRunFolder::SweepStale on the root;
//   peer    removing the same folders with EmptyFolder and RemoveDirectory, without
//           looking at any lock (the floor for deleting those files);
//   live    SweepStale with the same number of folders whose locks are held (nothing
//           to remove: the cost of a start while other packages run).
// Prints the median of each in milliseconds and "sweep/peer <ratio>". The player runs
// the sweep on a worker thread once its movie plays (what it adds to a start is
// measured by sweep_bench.py), so there is no limit here; the figures show what the
// worker has to do.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/empty_folder.h"
#include "common/file.h"
#include "common/win32_text.h"
#include "player/run_folder.h"

namespace {

// Where a run keeps its lock: in its own sub-folder.
const std::string kLockPath = std::string(CRunFolder::kOwnFolderName) + "\\" + CRunFolder::kLockName;
const char* const kLock = kLockPath.c_str();

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void MakeFile(const std::string& path, size_t size) {
  HANDLE h = CreateFileW(vx::win::Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "sweep_bench: cannot write %s\n", path.c_str());
    std::exit(2);
  }
  std::string data(size, 'x');
  DWORD written = 0;
  ::WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  CloseHandle(h);
}

// Folders as a run leaves them; returns their paths.
std::vector<std::string> MakeRunFolders(const std::string& root, int count) {
  static const std::pair<const char*, size_t> kFiles[] = {{kLock, 0},          {"package.ini", 60},
                                                          {"movie.swf", 20000}, {"data.xml", 4000},
                                                          {"song.mp3", 15000},  {"more.swf", 1000}};
  std::vector<std::string> folders;
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%016x", 0x5eed0000u + static_cast<unsigned>(i));
    std::string folder = root + "\\" + name;
    vx::CreateFolders(folder + "\\" + CRunFolder::kOwnFolderName);
    for (const auto& [file, size] : kFiles) MakeFile(folder + "\\" + file, size);
    folders.push_back(folder);
  }
  return folders;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 100;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
  std::string root = vx::TempFolder() + "VX-sweep-bench-" + std::to_string(GetCurrentProcessId());
  vx::CreateFolder(root);

  std::vector<double> sweep, peer, live;
  for (int round = 0; round < rounds; ++round) {
    MakeRunFolders(root, count);
    double start = NowMs();
    int removed = CRunFolder::SweepStale(root);
    sweep.push_back(NowMs() - start);
    if (removed != count) {
      std::fprintf(stderr, "sweep_bench: the sweep removed %d of %d folders\n", removed, count);
      return 2;
    }

    std::vector<std::string> folders = MakeRunFolders(root, count);
    start = NowMs();
    for (const std::string& f : folders) {
      vx::EmptyFolder(f);
      vx::RemoveFolder(f);
    }
    peer.push_back(NowMs() - start);

    // Held locks: the folders of packages that are running.
    folders = MakeRunFolders(root, count);
    std::vector<HANDLE> locks;
    for (const std::string& f : folders) {
      locks.push_back(CreateFileW(vx::win::Wide(f + "\\" + kLock).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    start = NowMs();
    removed = CRunFolder::SweepStale(root);
    live.push_back(NowMs() - start);
    for (HANDLE h : locks) CloseHandle(h);
    if (removed != 0) {
      std::fprintf(stderr, "sweep_bench: the sweep removed %d folders in use\n", removed);
      return 2;
    }
    CRunFolder::SweepStale(root);
  }
  vx::RemoveFolder(root);

  double s = Median(sweep), p = Median(peer), l = Median(live);
  std::printf("%d left-over folders, median of %d rounds:\n", count, rounds);
  std::printf("  sweep %.1f ms; peer (delete without locks) %.1f ms; sweep/peer %.2f\n", s, p, s / p);
  std::printf("  the same folders in use: %.1f ms (nothing removed)\n", l);
  return 0;
}
