#include "tests/gui/scenarios/scenarios.h"

namespace vx::test::gui {
namespace {

void MouseTo(int x, int y) {
  SetCursorPos(x, y);
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = (x * 65535) / (GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = (y * 65535) / (GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in, sizeof(in));
}

void MouseButton(bool down) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendInput(1, &in, sizeof(in));
}

COLORREF ScreenPixel(int x, int y) {
  vx::win::WindowDC screen(nullptr);
  return GetPixel(screen.get(), x, y);
}

}  // namespace

// Hover border, pressed border, no hover on a disabled button, and a double click that
// counts as two clicks, with real mouse input.
void Mouse(const Setup& s) {
  const std::string d = s.dataDir;
  for (int i = 1; i <= 3; ++i)
    EXPECT_TRUE(WriteFileBytes(d + "\\s" + std::to_string(i) + ".swf", MakeSwf(100, 100))) << "write";
  Packager p;
  ASSERT_TRUE(StartPackager(p, s.installDir)) << "the packager did not start";
  SetForegroundWindow(p.main);
  const COLORREF face = GetSysColor(COLOR_BTNFACE), light = GetSysColor(COLOR_BTNHIGHLIGHT),
                 shadow = GetSysColor(COLOR_BTNSHADOW);
  RECT add;
  GetWindowRect(p.item(1003), &add);
  MouseTo(add.left - 40, add.top + 40);
  Sleep(500);
  EXPECT_TRUE(ScreenPixel(add.left, add.top) == face)
      << Printf("border before hover %06lx", ScreenPixel(add.left, add.top));
  MouseTo((add.left + add.right) / 2, (add.top + add.bottom) / 2);
  Sleep(500);
  EXPECT_TRUE(ScreenPixel(add.left, add.top) == light)
      << Printf("no raised border on hover: %06lx", ScreenPixel(add.left, add.top));
  EXPECT_TRUE(ScreenPixel(add.right - 1, add.bottom - 1) == shadow)
      << Printf("raised border bottom %06lx", ScreenPixel(add.right - 1, add.bottom - 1));
  MouseTo(add.left - 40, add.top + 40);
  Sleep(500);
  EXPECT_TRUE(ScreenPixel(add.left, add.top) == face)
      << Printf("border stayed after leaving: %06lx", ScreenPixel(add.left, add.top));

  // A disabled button (Move up, in "Main SWF + Resources") takes no hover.
  RECT up;
  GetWindowRect(p.item(1006), &up);
  MouseTo((up.left + up.right) / 2, (up.top + up.bottom) / 2);
  Sleep(500);
  EXPECT_TRUE(ScreenPixel(up.left, up.top) == face)
      << Printf("a disabled button shows a border: %06lx", ScreenPixel(up.left, up.top));

  // Pressed: sunken border. (Move the pointer off before releasing: no click.)
  RECT remove;
  GetWindowRect(p.item(1004), &remove);
  MouseTo((remove.left + remove.right) / 2, (remove.top + remove.bottom) / 2);
  Sleep(300);
  MouseButton(true);
  Sleep(500);
  EXPECT_TRUE(ScreenPixel(remove.left, remove.top) == shadow)
      << Printf("no sunken border when pressed: %06lx", ScreenPixel(remove.left, remove.top));
  MouseTo(add.left - 40, add.top + 60);
  Sleep(200);
  MouseButton(false);
  Sleep(300);

  // Slideshow with three movies, row 1 selected: one click on Move down swaps rows 1
  // and 2 (the selection stays on row 1). A double click then swaps them twice: its
  // first press is a click like the one before, so a second swap back means its second
  // press counted as a click too (without it the rows would stay swapped back once).
  SendClick(p.item(1018));
  std::vector<std::string> movies;
  for (int i = 1; i <= 3; ++i) movies.push_back(d + "\\s" + std::to_string(i) + ".swf");
  EXPECT_TRUE(AddFiles(p, movies)) << "add";
  const std::vector<std::wstring> names = Column(p, 1);
  EXPECT_TRUE(names.size() == 3) << Printf("%u rows", static_cast<unsigned>(names.size()));
  Select(p, {0});
  RECT down;
  GetWindowRect(p.item(1008), &down);
  MouseTo((down.left + down.right) / 2, (down.top + down.bottom) / 2);
  Sleep(300);
  MouseButton(true);
  MouseButton(false);
  Settle(p.main, 600);
  std::vector<std::wstring> once = names;
  if (once.size() == 3) std::swap(once[0], once[1]);
  EXPECT_TRUE(Column(p, 1) == once) << "one click did not move the row once";
  Sleep(800);  // the next press starts a new click sequence
  MouseButton(true);
  MouseButton(false);
  MouseButton(true);
  MouseButton(false);
  Settle(p.main, 600);
  const std::vector<std::wstring> after = Column(p, 1);
  EXPECT_TRUE(after == once) << Printf(
      "a double click did not count as two clicks: %s %s %s", after.size() > 0 ? Utf8(after[0]).c_str() : "",
      after.size() > 1 ? Utf8(after[1]).c_str() : "", after.size() > 2 ? Utf8(after[2]).c_str() : "");
  MouseTo(add.left - 40, add.top + 40);
  EXPECT_TRUE(ClosePackager(p)) << "the packager did not close";
}

}  // namespace vx::test::gui
