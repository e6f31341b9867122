// gui_bench_driver: the packager's window measured through the real Vellumix.exe, with
// tests/gui's driver library, under Wine on a private X server (bench/gui_bench.sh runs
// it through tests/gui/run_gui_test.sh --driver):
//
//   gui_bench_driver responsiveness BIN_DIR WORK_DIR MEGABYTES   the worst answer time
//                                                                during a build
//   gui_bench_driver addmany        BIN_DIR WORK_DIR COUNT       one Add of COUNT movies
//
// Each prints one line of tab-separated results; the exit code is 0 when the run could
// be measured.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/gui/gui_driver.h"

namespace vx::test::gui {
int Responsiveness(const Setup& s, int megabytes);
int AddBench(const Setup& s, int count);
}  // namespace vx::test::gui

using namespace vx::test::gui;

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: gui_bench_driver responsiveness|addmany BIN_DIR WORK_DIR N\n");
    return 2;
  }
  const std::string scenario = argv[1];
  Setup s;
  if (!Prepare(s, argv[2], argv[3], scenario == "responsiveness" ? 1 : -1)) return 1;
  if (scenario == "responsiveness") return Responsiveness(s, std::atoi(argv[4]));
  if (scenario == "addmany") return AddBench(s, std::atoi(argv[4]));
  std::fprintf(stderr, "gui_bench_driver: unknown scenario %s\n", scenario.c_str());
  return 2;
}
