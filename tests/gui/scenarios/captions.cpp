#include "tests/gui/gui_driver.h"

namespace vx::test::gui {

// Captions, headings and tooltips against the string table of the language the
// window should have picked.
int Captions(const Setup& s, const std::string& language) {
  const WORD lang = language == "zh" ? MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)
                                     : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  StringTable table(s.exe(), lang);
  StringTable english(s.exe(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  CHECK(table.ok(), "cannot read %s", s.exe().c_str());
  if (language == "zh") {
    // The Chinese table really is another text, so a match below means it was chosen.
    CHECK(table.get(1) != english.get(1), "the Chinese table repeats the English one");
    CHECK(table.get(1039) == L"VELLUMIXCHS", "section name %s", Utf8(table.get(1039)).c_str());
  }
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;

  CHECK(Text(p.main) == L"Vellumix 2.0 - ", "caption '%s'", Utf8(Text(p.main)).c_str());
  const struct {
    int ctrl;
    UINT str;
  } captions[] = {{1020, 122}, {1019, 123}, {1017, 124}, {1018, 1019}, {1001, 1020}, {1021, 1021}, {1023, 1},
                  {1022, 2},   {1007, 3},   {1005, 4},   {1, 6},       {2, 7},       {1042, 1040}};
  for (const auto& c : captions) {
    const std::wstring shown = Text(p.item(c.ctrl));
    const std::wstring expected = table.get(c.str);
    CHECK(shown == expected, "control %d shows '%s', string %u is '%s'", c.ctrl, Utf8(shown).c_str(), c.str,
          Utf8(expected).c_str());
  }
  for (int col = 1; col <= 5; ++col) {
    const std::wstring shown = HeaderText(p, col);
    CHECK(shown == table.get(102 + col), "heading %d '%s'", col, Utf8(shown).c_str());
  }
  CHECK(HeaderText(p, 0).empty(), "column 0 has a heading");
  const struct {
    int ctrl;
    UINT str;
  } tips[] = {{1003, 1037}, {1004, 1038}, {1006, 1035}, {1008, 1036}};
  for (const auto& t : tips) {
    const std::wstring shown = ToolTipOf(p, p.item(t.ctrl));
    CHECK(shown == table.get(t.str), "tooltip of %d '%s'", t.ctrl, Utf8(shown).c_str());
  }
  // Initial state: "Main SWF + Resources", the default title, options clear, the move
  // buttons disabled, the image buttons owner-drawn, the headings bold.
  CHECK(SendMessageW(p.item(1017), BM_GETCHECK, 0, 0) == BST_CHECKED, "resource type not selected");
  CHECK(SendMessageW(p.item(1018), BM_GETCHECK, 0, 0) == BST_UNCHECKED, "slideshow selected");
  CHECK(Text(p.item(1011)) == table.get(110), "title '%s'", Utf8(Text(p.item(1011))).c_str());
  CHECK(SendMessageW(p.item(1007), BM_GETCHECK, 0, 0) == BST_UNCHECKED, "full screen ticked");
  CHECK(SendMessageW(p.item(1005), BM_GETCHECK, 0, 0) == BST_UNCHECKED, "auto install ticked");
  CHECK(!IsWindowEnabled(p.item(1006)) && !IsWindowEnabled(p.item(1008)), "move buttons enabled");
  CHECK(IsWindowEnabled(p.item(1003)) && IsWindowEnabled(p.item(1004)), "add/remove disabled");
  for (int id : {1003, 1004, 1006, 1008})
    CHECK((GetWindowLongW(p.item(id), GWL_STYLE) & 0x1F) == BS_OWNERDRAW, "button %d not owner-drawn", id);
  CHECK((GetWindowLongW(p.item(1), GWL_STYLE) & 0x1F) == BS_DEFPUSHBUTTON,
        "Package It! not the default button");
  CHECK(GetWindowLongW(p.main, GWL_EXSTYLE) & WS_EX_APPWINDOW, "not on the task bar");
  const DWORD lvStyle = static_cast<DWORD>(SendMessageW(p.item(1002), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  CHECK(lvStyle == LVS_EX_FULLROWSELECT, "list extended style %08lx", lvStyle);
  CHECK((SendMessageW(p.item(1000), EM_GETLIMITTEXT, 0, 0)) == 200, "main movie limit");
  CHECK((SendMessageW(p.item(1011), EM_GETLIMITTEXT, 0, 0)) == 50, "title limit");
  // The system menu's About item opens the About box.
  PostMessageW(p.main, WM_SYSCOMMAND, 0x10, 0);
  HWND about = WaitPopup(p, 10000);
  CHECK(about != nullptr, "no About box");
  if (about) {
    CHECK(Text(about) == L"About Vellumix", "About caption '%s'", Utf8(Text(about)).c_str());
    bool versionLine = false;
    for (HWND c = GetWindow(about, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
      if (Text(c) == L"Vellumix Version 2.0") versionLine = true;
    CHECK(versionLine, "no version line in the About box");
    Answer(about, IDOK);
  }
  CHECK(ClosePackager(p), "the packager did not close");
  return g_failures ? 1 : 0;
}

}  // namespace vx::test::gui
