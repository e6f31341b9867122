// player_probe.exe: started beside a package under Wine, reports what a user would
// see: every visible dialog window (its text and screen rectangle) and the files
// below the shared temporary folder "VX" at that moment.
//
//   player_probe.exe WAIT_MS SETTLE_MS
//
// Waits up to WAIT_MS for a visible dialog window, then SETTLE_MS more, then prints
//   Window <x> <y> <width> <height> <text>
//   Style 0x<style> 0x<extended style>
//   File <path below VX, "\" separated>
// or "NoWindow" when none appeared.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Found {
  int count = 0;
};

BOOL CALLBACK ListDialog(HWND hWnd, LPARAM lParam) {
  char cls[64] = {0};
  GetClassNameA(hWnd, cls, sizeof cls);
  if (std::string(cls) != "#32770" || !IsWindowVisible(hWnd)) return TRUE;
  auto* found = reinterpret_cast<Found*>(lParam);
  ++found->count;
  return TRUE;
}

BOOL CALLBACK PrintDialog(HWND hWnd, LPARAM) {
  char cls[64] = {0};
  GetClassNameA(hWnd, cls, sizeof cls);
  if (std::string(cls) != "#32770" || !IsWindowVisible(hWnd)) return TRUE;
  char text[512] = {0};
  GetWindowTextA(hWnd, text, sizeof text);
  RECT r;
  GetWindowRect(hWnd, &r);
  std::printf("Window %ld %ld %ld %ld %s\n", r.left, r.top, r.right - r.left, r.bottom - r.top, text);
  std::printf("Style 0x%08lX 0x%08lX\n", static_cast<unsigned long>(GetWindowLongA(hWnd, GWL_STYLE)),
              static_cast<unsigned long>(GetWindowLongA(hWnd, GWL_EXSTYLE)));
  return TRUE;
}

void ListFiles(const std::string& folder, const std::string& relative) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    std::string rel = relative.empty() ? name : relative + "\\" + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(folder + "\\" + name, rel);
    } else {
      std::printf("File %s\n", rel.c_str());
    }
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

}  // namespace

int main(int argc, char** argv) {
  int waitMs = argc > 1 ? std::atoi(argv[1]) : 5000;
  int settleMs = argc > 2 ? std::atoi(argv[2]) : 500;
  bool seen = false;
  for (int waited = 0; waited <= waitMs; waited += 50) {
    Found found;
    EnumWindows(ListDialog, reinterpret_cast<LPARAM>(&found));
    if (found.count > 0) {
      seen = true;
      break;
    }
    Sleep(50);
  }
  if (seen) {
    Sleep(static_cast<DWORD>(settleMs));
    EnumWindows(PrintDialog, 0);
  } else {
    std::printf("NoWindow\n");
  }
  char temp[MAX_PATH + 1] = {0};
  GetTempPathA(MAX_PATH, temp);
  ListFiles(std::string(temp) + "VX", "");
  std::fflush(stdout);
  return 0;
}
