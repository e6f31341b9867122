// gui_driver: works the real Vellumix.exe as a user would, through window messages and
// the common dialogs, and checks what the window shows. Runs under Wine on a private
// X server (testing/wine-harness.sh); one scenario per run, each in a file of its own
// under scenarios/ (the helpers they share are in gui_driver.h):
//
//   gui_driver [GTEST_OPTIONS] SCENARIO BIN_DIR WORK_DIR [ARGS]
//
//   captions    en|zh
//   list, many, mouse, build, failure, early-close, workfolder
//   update      offer|none VERSION FIXED WHATSNEW [en|zh]
//   screenshot  OUTPUT.bmp
//
// BIN_DIR holds Vellumix.exe, Orrinet.exe and vellumix-cli.exe. WORK_DIR is emptied
// and receives a private installation folder (a copy of the two programs, so that the
// work folder "Temp" belongs to this run) and the files the scenario adds. The scenario
// runs as the GoogleTest "Gui.<scenario>"; the exit code is 0 when all its assertions
// held.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/gui/scenarios/scenarios.h"

using namespace vx::test::gui;

namespace {

struct Scenario {
  const char* name;
  const char* testName;  // a GoogleTest name has no "-"
  size_t arguments;      // at least, after WORK_DIR
  int withStub;          // see Prepare
  std::function<void(const Setup&, const std::vector<std::string>&)> run;
};

const Scenario kScenarios[] = {
    {"captions", "captions", 1, -1, [](const Setup& s, const auto& a) { Captions(s, a[0]); }},
    {"list", "list", 0, -1, [](const Setup& s, const auto&) { List(s); }},
    {"many", "many", 0, -1, [](const Setup& s, const auto&) { Many(s); }},
    {"mouse", "mouse", 0, -1, [](const Setup& s, const auto&) { Mouse(s); }},
    {"build", "build", 0, 1, [](const Setup& s, const auto&) { Build(s); }},
    {"failure", "failure", 0, 0, [](const Setup& s, const auto&) { Failure(s); }},
    {"update", "update", 4, -1,
     [](const Setup& s, const auto& a) { Update(s, a[0], a[1], a[2], a[3], a.size() > 4 ? a[4] : "en"); }},
    {"early-close", "early_close", 0, -1, [](const Setup& s, const auto&) { EarlyClose(s); }},
    {"workfolder", "workfolder", 0, -1, [](const Setup& s, const auto&) { WorkFolder(s); }},
    {"screenshot", "screenshot", 1, -1, [](const Setup& s, const auto& a) { Screenshot(s, a[0]); }},
};

// (testing::Test has a Setup of its own: the driver's is named in full here.)
class ScenarioTest : public testing::Test {
 public:
  ScenarioTest(const Scenario& scenario, const vx::test::gui::Setup& setup,
               std::vector<std::string> arguments)
      : m_scenario(scenario), m_setup(setup), m_arguments(std::move(arguments)) {}
  void TestBody() override { m_scenario.run(m_setup, m_arguments); }

 private:
  const Scenario& m_scenario;
  const vx::test::gui::Setup& m_setup;
  std::vector<std::string> m_arguments;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: gui_driver [GTEST_OPTIONS] SCENARIO BIN_DIR WORK_DIR [ARGS...]\n");
    return 2;
  }
  const std::string name = argv[1];
  const std::vector<std::string> arguments(argv + 4, argv + argc);
  const Scenario* scenario = nullptr;
  for (const Scenario& s : kScenarios)
    if (name == s.name && arguments.size() >= s.arguments) scenario = &s;
  if (!scenario) {
    std::fprintf(stderr, "gui_driver: unknown scenario or missing arguments: %s\n", name.c_str());
    return 2;
  }
  static Setup setup;
  if (!Prepare(setup, argv[2], argv[3], scenario->withStub)) return 1;
  testing::RegisterTest("Gui", scenario->testName, nullptr, nullptr, __FILE__, __LINE__,
                        [=]() -> testing::Test* { return new ScenarioTest(*scenario, setup, arguments); });
  return RUN_ALL_TESTS();
}
