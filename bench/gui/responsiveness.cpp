#include "tests/gui/gui_driver.h"

#include <algorithm>
#include <chrono>

namespace vx::test::gui {

// Benchmark: during a build of `megabytes` of incompressible input, how long the
// window takes at worst to answer a message.
int Responsiveness(const Setup& s, int megabytes) {
  const std::string movie = s.dataDir + "\\intro.swf";
  WriteFileBytes(movie, MakeSwf(550, 400));
  std::string noise(static_cast<size_t>(megabytes) << 20, '\0');
  uint32_t x = 99;
  for (char& c : noise) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  WriteFileBytes(s.dataDir + "\\corpus.bin", noise);
  noise.clear();
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;
  SetText(p.item(1000), Wide(movie));
  AddFiles(p, {s.dataDir + "\\corpus.bin"});
  PostClick(p.item(IDOK));
  HWND dlg = WaitPopup(p, 10000);
  if (!dlg) return 1;
  FillFileDialog(dlg, Wide(s.workDir + "\\bench.exe"));
  double worst = 0;
  int samples = 0;
  const auto start = std::chrono::steady_clock::now();
  HWND result = nullptr;
  while (!(result = FindPopup(p))) {
    const auto t0 = std::chrono::steady_clock::now();
    DWORD_PTR r;
    SendMessageTimeoutW(p.main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    worst = std::max(worst, ms);
    ++samples;
    Sleep(20);
    if (std::chrono::steady_clock::now() - start > std::chrono::minutes(5)) break;
  }
  const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("responsiveness\tbuild_seconds=%.2f\tsamples=%d\tworst_ms=%.1f\n", total, samples, worst);
  if (result) Answer(result, IDCANCEL);
  ClosePackager(p);
  return result ? 0 : 1;
}

}  // namespace vx::test::gui
