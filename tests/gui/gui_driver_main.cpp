// gui_driver: works the real Vellumix.exe as a user would, through window messages and
// the common dialogs, and checks what the window shows. Runs under Wine on a private
// X server (testing/wine-harness.sh); one scenario per run, each in a file of its own
// under scenarios/ (the helpers they share are in gui_driver.h):
//
//   gui_driver captions   BIN_DIR WORK_DIR en|zh
//   gui_driver list       BIN_DIR WORK_DIR
//   gui_driver many       BIN_DIR WORK_DIR
//   gui_driver mouse      BIN_DIR WORK_DIR
//   gui_driver build      BIN_DIR WORK_DIR
//   gui_driver failure    BIN_DIR WORK_DIR
//   gui_driver update     BIN_DIR WORK_DIR offer|none VERSION FIXED WHATSNEW [en|zh]
//   gui_driver early-close BIN_DIR WORK_DIR
//   gui_driver workfolder BIN_DIR WORK_DIR
//   gui_driver screenshot BIN_DIR WORK_DIR OUTPUT.bmp
//   gui_driver responsiveness BIN_DIR WORK_DIR MEGABYTES   (benchmark: prints the worst
//                                                           answer time during a build)
//   gui_driver addmany    BIN_DIR WORK_DIR COUNT   (benchmark: one Add of COUNT movies)
//
// BIN_DIR holds Vellumix.exe, Orrinet.exe and vellumix-cli.exe. WORK_DIR is emptied
// and receives a private installation folder (a copy of the two programs, so that the
// work folder "Temp" belongs to this run) and the files the scenario adds. Exit code 0
// when every check held; each failed check prints one "FAIL" line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/gui/gui_driver.h"

using namespace vx::test::gui;

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: gui_driver SCENARIO BIN_DIR WORK_DIR [ARGS...]\n");
    return 2;
  }
  const std::string scenario = argv[1];
  Setup s;
  const int stub = scenario == "failure" ? 0 : (scenario == "build" || scenario == "responsiveness") ? 1 : -1;
  if (!Prepare(s, argv[2], argv[3], stub)) return 1;
  int rc = 2;
  if (scenario == "captions" && argc >= 5) rc = Captions(s, argv[4]);
  else if (scenario == "list") rc = List(s);
  else if (scenario == "many") rc = Many(s);
  else if (scenario == "mouse") rc = Mouse(s);
  else if (scenario == "build") rc = Build(s);
  else if (scenario == "failure") rc = Failure(s);
  else if (scenario == "update" && argc >= 8)
    rc = Update(s, argv[4], argv[5], argv[6], argv[7], argc >= 9 ? argv[8] : "en");
  else if (scenario == "early-close") rc = EarlyClose(s);
  else if (scenario == "workfolder") rc = WorkFolder(s);
  else if (scenario == "screenshot" && argc >= 5) rc = Screenshot(s, argv[4]);
  else if (scenario == "responsiveness" && argc >= 5) rc = Responsiveness(s, std::atoi(argv[4]));
  else if (scenario == "addmany" && argc >= 5) rc = AddBench(s, std::atoi(argv[4]));
  else std::fprintf(stderr, "gui_driver: unknown scenario or missing arguments: %s\n", scenario.c_str());
  std::printf("%s: %s (%d failed checks)\n", scenario.c_str(), rc == 0 ? "passed" : "FAILED", g_failures);
  return rc;
}
