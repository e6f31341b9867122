#include "tests/gui/gui_driver.h"

namespace vx::test::gui {

// A build that fails: the stub is missing from the installation folder.
int Failure(const Setup& s) {
  const std::string movie = s.dataDir + "\\intro.swf";
  CHECK(WriteFileBytes(movie, MakeSwf(550, 400)), "write");
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;
  SetText(p.item(1000), Wide(movie));
  PostClick(p.item(IDOK));
  HWND dlg = WaitPopup(p, 10000);
  CHECK(dlg != nullptr, "no save dialog");
  if (!dlg) return 1;
  const std::string output = s.workDir + "\\never.exe";
  CHECK(FillFileDialog(dlg, Wide(output)), "the save dialog stayed");
  HWND box = WaitPopup(p, 60000);
  CHECK(box != nullptr, "no failure box");
  if (box) {
    // The failure's own text alone on the first line; the stub that could not be read
    // and the system's reason below it.
    const std::wstring text = NormalizeLines(MessageText(box));
    const std::wstring head =
        L"Failed to copying file to temp folder\n\n" + Wide(s.installDir + "\\Orrinet.exe") + L"\n";
    CHECK(text.compare(0, head.size(), head) == 0 && text.size() > head.size() &&
              text.find(L'\n', head.size()) == std::wstring::npos,
          "failure text '%s'", Utf8(text).c_str());
    CHECK(Text(box) == L"Vellumix", "caption '%s'", Utf8(Text(box)).c_str());
    CHECK(GetWindow(box, GW_OWNER) == p.main, "failure box not owned by the main window");
    CHECK(!GetDlgItem(box, IDYES), "failure box has Yes");
    Answer(box, IDOK);
  }
  Sleep(1500);
  HWND after = FindPopup(p);
  CHECK(after == nullptr, "a box after the failure: '%s'", after ? Utf8(MessageText(after)).c_str() : "");
  CHECK(IsWindowEnabled(p.item(IDOK)), "Package It! disabled after a failure");
  CHECK(GetFileAttributesA(output.c_str()) == INVALID_FILE_ATTRIBUTES, "a failed build wrote the output");
  CHECK(ClosePackager(p), "the packager did not close");
  return g_failures ? 1 : 0;
}

}  // namespace vx::test::gui
