#include "tests/gui/gui_driver.h"

#include <chrono>

namespace vx::test::gui {

// Benchmark: one Add of `count` movies; the time from OK in the dialog to the last row.
int AddBench(const Setup& s, int count) {
  const std::string folder = s.dataDir + "\\bench";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::vector<std::string> names = LongNames(count, 24, ".swf");
  for (size_t i = 0; i < names.size(); ++i)
    WriteFileBytes(folder + "\\" + names[i], MakeSwf(320 + static_cast<int>(i), 240));
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;
  HWND dlg = PrepareAddDialog(p, folder, names);
  if (!dlg) return 1;
  Sleep(300);
  const auto start = std::chrono::steady_clock::now();
  PressOk(dlg);
  // The dialog goes first; the list answers once the window's thread is back from
  // adding the rows.
  auto since = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  while ((IsWindow(dlg) && IsWindowVisible(dlg)) && since() < 60) Sleep(5);  // asks nothing of the window
  const double dialogSeconds = since();
  const bool all = WaitUntil([&] { return RowCount(p) >= count; }, 60000);
  const double seconds = since();
  std::printf("addmany\tfiles=%d\trows=%d\tseconds=%.2f\tdialog_seconds=%.2f\n", count, RowCount(p), seconds,
              dialogSeconds);
  ClosePackager(p);
  return all ? 0 : 1;
}

}  // namespace vx::test::gui
