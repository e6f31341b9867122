#include "tests/gui/scenarios/scenarios.h"

namespace vx::test::gui {

// Captions, headings and tooltips against the string table of the language the
// window should have picked.
void Captions(const Setup& s, const std::string& language) {
  const WORD lang = language == "zh" ? MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)
                                     : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  StringTable table(s.exe(), lang);
  StringTable english(s.exe(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  EXPECT_TRUE(table.ok()) << Printf("cannot read %s", s.exe().c_str());
  if (language == "zh") {
    // The Chinese table really is another text, so a match below means it was chosen.
    EXPECT_TRUE(table.get(1) != english.get(1)) << "the Chinese table repeats the English one";
    EXPECT_TRUE(table.get(1039) == L"VELLUMIXCHS")
        << Printf("section name %s", Utf8(table.get(1039)).c_str());
  }
  Packager p;
  ASSERT_TRUE(StartPackager(p, s.installDir)) << "the packager did not start";

  EXPECT_TRUE(Text(p.main) == L"Vellumix 2.0 - ") << Printf("caption '%s'", Utf8(Text(p.main)).c_str());
  const struct {
    int ctrl;
    UINT str;
  } captions[] = {{1020, 122}, {1019, 123}, {1017, 124}, {1018, 1019}, {1001, 1020}, {1021, 1021}, {1023, 1},
                  {1022, 2},   {1007, 3},   {1005, 4},   {1, 6},       {2, 7},       {1042, 1040}};
  for (const auto& c : captions) {
    const std::wstring shown = Text(p.item(c.ctrl));
    const std::wstring expected = table.get(c.str);
    EXPECT_TRUE(shown == expected) << Printf("control %d shows '%s', string %u is '%s'", c.ctrl,
                                             Utf8(shown).c_str(), c.str, Utf8(expected).c_str());
  }
  for (int col = 1; col <= 5; ++col) {
    const std::wstring shown = HeaderText(p, col);
    EXPECT_TRUE(shown == table.get(102 + col)) << Printf("heading %d '%s'", col, Utf8(shown).c_str());
  }
  EXPECT_TRUE(HeaderText(p, 0).empty()) << "column 0 has a heading";
  const struct {
    int ctrl;
    UINT str;
  } tips[] = {{1003, 1037}, {1004, 1038}, {1006, 1035}, {1008, 1036}};
  for (const auto& t : tips) {
    const std::wstring shown = ToolTipOf(p, p.item(t.ctrl));
    EXPECT_TRUE(shown == table.get(t.str)) << Printf("tooltip of %d '%s'", t.ctrl, Utf8(shown).c_str());
  }
  // Initial state: "Main SWF + Resources", the default title, options clear, the move
  // buttons disabled, the image buttons owner-drawn, the headings bold.
  EXPECT_TRUE(SendMessageW(p.item(1017), BM_GETCHECK, 0, 0) == BST_CHECKED) << "resource type not selected";
  EXPECT_TRUE(SendMessageW(p.item(1018), BM_GETCHECK, 0, 0) == BST_UNCHECKED) << "slideshow selected";
  EXPECT_TRUE(Text(p.item(1011)) == table.get(110)) << Printf("title '%s'", Utf8(Text(p.item(1011))).c_str());
  EXPECT_TRUE(SendMessageW(p.item(1007), BM_GETCHECK, 0, 0) == BST_UNCHECKED) << "full screen ticked";
  EXPECT_TRUE(SendMessageW(p.item(1005), BM_GETCHECK, 0, 0) == BST_UNCHECKED) << "auto install ticked";
  EXPECT_TRUE(!IsWindowEnabled(p.item(1006)) && !IsWindowEnabled(p.item(1008))) << "move buttons enabled";
  EXPECT_TRUE(IsWindowEnabled(p.item(1003)) && IsWindowEnabled(p.item(1004))) << "add/remove disabled";
  for (int id : {1003, 1004, 1006, 1008})
    EXPECT_TRUE((GetWindowLongW(p.item(id), GWL_STYLE) & 0x1F) == BS_OWNERDRAW)
        << Printf("button %d not owner-drawn", id);
  EXPECT_TRUE((GetWindowLongW(p.item(1), GWL_STYLE) & 0x1F) == BS_DEFPUSHBUTTON)
      << "Package It! not the default button";
  EXPECT_TRUE(GetWindowLongW(p.main, GWL_EXSTYLE) & WS_EX_APPWINDOW) << "not on the task bar";
  const DWORD lvStyle = static_cast<DWORD>(SendMessageW(p.item(1002), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  EXPECT_TRUE(lvStyle == LVS_EX_FULLROWSELECT) << Printf("list extended style %08lx", lvStyle);
  EXPECT_TRUE((SendMessageW(p.item(1000), EM_GETLIMITTEXT, 0, 0)) == 200) << "main movie limit";
  EXPECT_TRUE((SendMessageW(p.item(1011), EM_GETLIMITTEXT, 0, 0)) == 50) << "title limit";
  // The system menu's About item opens the About box.
  PostMessageW(p.main, WM_SYSCOMMAND, 0x10, 0);
  HWND about = WaitPopup(p, 10000);
  EXPECT_TRUE(about != nullptr) << "no About box";
  if (about) {
    EXPECT_TRUE(Text(about) == L"About Vellumix") << Printf("About caption '%s'", Utf8(Text(about)).c_str());
    bool versionLine = false;
    for (HWND c = GetWindow(about, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
      if (Text(c) == L"Vellumix Version 2.0") versionLine = true;
    EXPECT_TRUE(versionLine) << "no version line in the About box";
    Answer(about, IDOK);
  }
  EXPECT_TRUE(ClosePackager(p)) << "the packager did not close";
}

}  // namespace vx::test::gui
