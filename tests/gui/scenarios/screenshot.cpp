#include "tests/gui/scenarios/scenarios.h"

namespace vx::test::gui {
namespace {

bool SaveWindowBitmap(HWND window, const std::string& path) {
  RECT rc;
  GetWindowRect(window, &rc);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  vx::win::WindowDC screen(nullptr);
  vx::win::MemoryDC mem(CreateCompatibleDC(screen.get()));
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  vx::win::GdiObject<HBITMAP> bmp(CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!mem || !bmp) return false;
  vx::win::SelectedObject selected(mem.get(), bmp.get());
  BitBlt(mem.get(), 0, 0, w, h, screen.get(), rc.left, rc.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((w * 3 + 3) & ~3), imageSize = stride * h;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
  fh.bfSize = fh.bfOffBits + imageSize;
  std::string data(reinterpret_cast<const char*>(&fh), sizeof(fh));
  data.append(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof(bi.bmiHeader));
  data.append(static_cast<const char*>(bits), imageSize);
  return WriteFileBytes(path, data);
}

}  // namespace

void Screenshot(const Setup& s, const std::string& output) {
  EXPECT_TRUE(WriteFileBytes(s.dataDir + "\\intro.swf", MakeSwf(550, 400))) << "write";
  EXPECT_TRUE(WriteFileBytes(s.dataDir + "\\menu.swf", MakeSwf(320, 240))) << "write";
  EXPECT_TRUE(WriteFileBytes(s.dataDir + "\\data.xml", std::string(2300, ' '))) << "write";
  EXPECT_TRUE(WriteFileBytes(s.dataDir + "\\song.mp3", std::string(1572864, 'x'))) << "write";
  Packager p;
  ASSERT_TRUE(StartPackager(p, s.installDir)) << "the packager did not start";
  SetWindowPos(p.main, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);
  SetText(p.item(1000), Wide(s.dataDir + "\\intro.swf"));
  EXPECT_TRUE(AddFiles(p, {s.dataDir + "\\menu.swf", s.dataDir + "\\data.xml", s.dataDir + "\\song.mp3"}))
      << "add";
  Select(p, {1});
  Settle(p.main, 800);
  EXPECT_TRUE(SaveWindowBitmap(p.main, output)) << Printf("cannot save %s", output.c_str());
  EXPECT_TRUE(ClosePackager(p)) << "the packager did not close";
}

}  // namespace vx::test::gui
