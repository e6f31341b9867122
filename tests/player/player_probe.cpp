// player_probe.exe: started beside a package under Wine, reports what a user would
// see: every visible dialog window (its text and screen rectangle) and the files
// below the shared temporary folder "VX" at that moment.
//
//   player_probe.exe WAIT_MS SETTLE_MS
//
// Waits up to WAIT_MS for a visible dialog window, then SETTLE_MS more, then prints
//   Window <x> <y> <width> <height> <text>
//   Style 0x<style> 0x<extended style>
//   Child <id> <class> <text>       (each child window of that dialog)
//   File <path below VX, "\" separated>
// or "NoWindow" when none appeared.
//
//   player_probe.exe boxes RUN_MS CLOSE_MS
//
// Watches message boxes (visible dialog windows with a button) for RUN_MS and presses
// OK in each CLOSE_MS after it appeared. Prints "Box <text>" for each box as it
// appears and at the end "MostAtOnce <n>", the most boxes that were open together.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/win32_handles.h"

namespace {

// UTF-16 from the system as UTF-8, the encoding of everything this probe prints (it
// uses the system's conversion, none of the player's code).
std::string Utf8(const wchar_t* text, int length) {
  if (length <= 0) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

// A window's text as UTF-8, cut to fit `size`.
void WindowTextUtf8(HWND hWnd, char* out, size_t size) {
  wchar_t wide[512];
  const int n = GetWindowTextW(hWnd, wide, 512);
  const std::string text = Utf8(wide, n);
  const size_t len = std::min(text.size(), size - 1);
  std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(len), out);
  out[len] = '\0';
}

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
  WindowTextUtf8(hWnd, text, sizeof text);
  RECT r;
  GetWindowRect(hWnd, &r);
  std::printf("Window %ld %ld %ld %ld %s\n", r.left, r.top, r.right - r.left, r.bottom - r.top, text);
  std::printf("Style 0x%08lX 0x%08lX\n", static_cast<unsigned long>(GetWindowLongA(hWnd, GWL_STYLE)),
              static_cast<unsigned long>(GetWindowLongA(hWnd, GWL_EXSTYLE)));
  return TRUE;
}

BOOL CALLBACK PrintChild(HWND hWnd, LPARAM) {
  char cls[64] = {0}, text[256] = {0};
  GetClassNameA(hWnd, cls, sizeof cls);
  GetWindowTextA(hWnd, text, sizeof text);
  std::printf("Child %d %s %s\n", GetDlgCtrlID(hWnd), cls, text);
  return TRUE;
}

BOOL CALLBACK PrintDialogAndChildren(HWND hWnd, LPARAM lParam) {
  char cls[64] = {0};
  GetClassNameA(hWnd, cls, sizeof cls);
  if (std::string(cls) != "#32770" || !IsWindowVisible(hWnd)) return TRUE;
  PrintDialog(hWnd, lParam);
  EnumChildWindows(hWnd, PrintChild, 0);
  return TRUE;
}

// ---- message boxes

struct Box {
  HWND hWnd;
  DWORD seen;
};

// A message box is a dialog window with a button (the player's own window has none);
// one shown while the player's window is disabled by another box has no owner.
BOOL CALLBACK CollectBox(HWND hWnd, LPARAM lParam) {
  char cls[64] = {0};
  GetClassNameA(hWnd, cls, sizeof cls);
  if (std::string(cls) == "#32770" && IsWindowVisible(hWnd) &&
      FindWindowExA(hWnd, nullptr, "Button", nullptr))
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
  return TRUE;
}

BOOL CALLBACK AppendStaticText(HWND hWnd, LPARAM lParam) {
  char cls[64] = {0}, text[512] = {0};
  GetClassNameA(hWnd, cls, sizeof cls);
  GetWindowTextA(hWnd, text, sizeof text);
  auto* out = reinterpret_cast<std::string*>(lParam);
  if (_stricmp(cls, "Static") == 0 && text[0]) *out += (out->empty() ? "" : " ") + std::string(text);
  return TRUE;
}

int WatchBoxes(DWORD runMs, DWORD closeMs) {
  std::vector<Box> open;
  size_t most = 0;
  DWORD start = GetTickCount();
  while (GetTickCount() - start < runMs) {
    std::vector<HWND> now;
    EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&now));
    std::vector<Box> still;
    for (HWND h : now) {
      auto known = std::find_if(open.begin(), open.end(), [h](const Box& b) { return b.hWnd == h; });
      if (known != open.end()) {
        still.push_back(*known);
        continue;
      }
      std::string text;
      EnumChildWindows(h, AppendStaticText, reinterpret_cast<LPARAM>(&text));
      std::printf("Box %s\n", text.c_str());
      std::fflush(stdout);
      still.push_back(Box{h, GetTickCount()});
    }
    open = still;
    most = std::max(most, open.size());
    for (const Box& b : open) {
      if (GetTickCount() - b.seen >= closeMs) PostMessageA(b.hWnd, WM_COMMAND, IDOK, 0);
    }
    Sleep(20);
  }
  std::printf("MostAtOnce %u\n", static_cast<unsigned>(most));
  std::fflush(stdout);
  return 0;
}

void ListFiles(const std::string& folder, const std::string& relative) {
  WIN32_FIND_DATAW fd;
  vx::win::UniqueFind find(FindFirstFileW(Wide(folder + "\\*").c_str(), &fd));
  if (!find) return;
  do {
    const std::string name = Utf8(fd.cFileName, static_cast<int>(wcslen(fd.cFileName)));
    if (name == "." || name == "..") continue;
    std::string rel = relative.empty() ? name : relative + "\\" + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(folder + "\\" + name, rel);
    } else {
      std::printf("File %s\n", rel.c_str());
    }
  } while (FindNextFileW(find.get(), &fd));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 3 && std::string(argv[1]) == "boxes")
    return WatchBoxes(static_cast<DWORD>(std::atoi(argv[2])), static_cast<DWORD>(std::atoi(argv[3])));
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
    EnumWindows(PrintDialogAndChildren, 0);
  } else {
    std::printf("NoWindow\n");
  }
  wchar_t temp[MAX_PATH + 1] = {0};
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  ListFiles(Utf8(temp, n <= MAX_PATH ? static_cast<int>(n) : 0) + "VX", "");
  std::fflush(stdout);
  return 0;
}
