#include "tests/gui/scenarios/scenarios.h"

namespace vx::test::gui {

// The update check against the server named by VELLUMIX_UPDATE_URL.
void Update(const Setup& s, const std::string& expect, const std::string& version, const std::string& fixed,
            const std::string& whatsnew, const std::string& language) {
  StringTable table(s.exe(), language == "zh" ? MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)
                                              : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  Packager p;
  ASSERT_TRUE(StartPackager(p, s.installDir)) << "the packager did not start";
  // The check starts three seconds after the window and then downloads; a box that
  // has not come after twelve will not come.
  HWND box = WaitPopup(p, expect == "offer" ? 20000 : 12000);
  if (expect == "offer") {
    ASSERT_NE(box, nullptr) << "no offer";
    auto expand = [](const std::string& v) { return Replace(WideFromUtf8(v), L"%d", L"\n    "); };
    const std::wstring expected =
        FormatS(table.get(1034), {L"2.1.216.1", WideFromUtf8(version), expand(fixed), expand(whatsnew)});
    EXPECT_TRUE(NormalizeLines(MessageText(box)) == NormalizeLines(expected))
        << Printf("offer '%s' expected '%s'", Utf8(MessageText(box)).c_str(), Utf8(expected).c_str());
    EXPECT_TRUE(Text(box) == table.get(1031)) << Printf("offer caption '%s'", Utf8(Text(box)).c_str());
    EXPECT_TRUE(GetWindow(box, GW_OWNER) == p.main) << "offer not owned by the main window";
    EXPECT_TRUE(GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO)) << "offer without Yes and No";
    Answer(box, IDNO);
    Sleep(1000);
    EXPECT_TRUE(FindPopup(p) == nullptr) << "a box after No";
  } else {
    EXPECT_TRUE(box == nullptr) << Printf("unexpected box '%s'", box ? Utf8(MessageText(box)).c_str() : "");
  }
  // The window works as usual.
  SendClick(p.item(1018));
  EXPECT_TRUE(SendMessageW(p.item(1018), BM_GETCHECK, 0, 0) == BST_CHECKED) << "the window does not answer";
  EXPECT_TRUE(ClosePackager(p)) << "the packager did not close";
}

}  // namespace vx::test::gui
