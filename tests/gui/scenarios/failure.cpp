#include "tests/gui/scenarios/scenarios.h"

namespace vx::test::gui {

// A build that fails: the stub is missing from the installation folder.
void Failure(const Setup& s) {
  const std::string movie = s.dataDir + "\\intro.swf";
  EXPECT_TRUE(WriteFileBytes(movie, MakeSwf(550, 400))) << "write";
  Packager p;
  ASSERT_TRUE(StartPackager(p, s.installDir)) << "the packager did not start";
  SetText(p.item(1000), Wide(movie));
  PostClick(p.item(IDOK));
  HWND dlg = WaitPopup(p, 10000);
  ASSERT_NE(dlg, nullptr) << "no save dialog";
  const std::string output = s.workDir + "\\never.exe";
  EXPECT_TRUE(FillFileDialog(dlg, Wide(output))) << "the save dialog stayed";
  HWND box = WaitPopup(p, 60000);
  EXPECT_TRUE(box != nullptr) << "no failure box";
  if (box) {
    // The failure's own text alone on the first line; the stub that could not be read
    // and the system's reason below it.
    const std::wstring text = NormalizeLines(MessageText(box));
    const std::wstring head =
        L"Failed to copying file to temp folder\n\n" + Wide(s.installDir + "\\Orrinet.exe") + L"\n";
    EXPECT_TRUE(text.compare(0, head.size(), head) == 0 && text.size() > head.size() &&
                text.find(L'\n', head.size()) == std::wstring::npos)
        << Printf("failure text '%s'", Utf8(text).c_str());
    EXPECT_TRUE(Text(box) == L"Vellumix") << Printf("caption '%s'", Utf8(Text(box)).c_str());
    EXPECT_TRUE(GetWindow(box, GW_OWNER) == p.main) << "failure box not owned by the main window";
    EXPECT_TRUE(!GetDlgItem(box, IDYES)) << "failure box has Yes";
    Answer(box, IDOK);
  }
  Sleep(1500);
  HWND after = FindPopup(p);
  EXPECT_TRUE(after == nullptr) << Printf("a box after the failure: '%s'",
                                          after ? Utf8(MessageText(after)).c_str() : "");
  EXPECT_TRUE(IsWindowEnabled(p.item(IDOK))) << "Package It! disabled after a failure";
  EXPECT_TRUE(GetFileAttributesA(output.c_str()) == INVALID_FILE_ATTRIBUTES)
      << "a failed build wrote the output";
  EXPECT_TRUE(ClosePackager(p)) << "the packager did not close";
}

}  // namespace vx::test::gui
