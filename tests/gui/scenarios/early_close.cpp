#include "tests/gui/gui_driver.h"

namespace vx::test::gui {

// Closed within three seconds of the start: the update check never goes online (the
// calling script looks at the server's log).
int EarlyClose(const Setup& s) {
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;
  Sleep(500);
  CHECK(ClosePackager(p, 2000), "the packager did not close at once");
  Sleep(4000);
  return g_failures ? 1 : 0;
}

}  // namespace vx::test::gui
