#include "tests/gui/scenarios/scenarios.h"

namespace vx::test::gui {

// Closed within three seconds of the start: the update check never goes online (the
// calling script looks at the server's log).
void EarlyClose(const Setup& s) {
  Packager p;
  ASSERT_TRUE(StartPackager(p, s.installDir)) << "the packager did not start";
  Sleep(500);
  EXPECT_TRUE(ClosePackager(p, 2000)) << "the packager did not close at once";
  Sleep(4000);
}

}  // namespace vx::test::gui
