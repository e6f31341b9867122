#include "tests/gui/scenarios/scenarios.h"

#include <algorithm>

namespace vx::test::gui {
namespace {

// Waits for a message box of the packager and checks it: text, the caption "Vellumix",
// owned by the main window; then answers OK.
void ExpectBox(const Packager& p, const std::wstring& text, const char* what) {
  HWND box = WaitPopup(p, 10000);
  ASSERT_NE(box, nullptr) << "no box: " << what;
  EXPECT_TRUE(NormalizeLines(MessageText(box)) == NormalizeLines(text))
      << Printf("%s: '%s', expected '%s'", what, Utf8(MessageText(box)).c_str(), Utf8(text).c_str());
  EXPECT_TRUE(Text(box) == L"Vellumix") << Printf("%s: caption '%s'", what, Utf8(Text(box)).c_str());
  EXPECT_TRUE(GetWindow(box, GW_OWNER) == p.main) << Printf("%s: not owned by the main window", what);
  Answer(box, IDOK);
}

}  // namespace

void List(const Setup& s) {
  // Files: clip.swf in one folder and CLIP.SWF in another, a 550 x 400 movie, a file
  // named Package.INI, README without a dot in a folder with one, a file of
  // 1,048,577 bytes, a movie with an empty body, and five movies for the remove and
  // move cases.
  const std::string a = s.dataDir + "\\one", b = s.dataDir + "\\two", dotted = s.dataDir + "\\v1.2 files";
  for (const std::string& d : {a, b, dotted}) CreateDirectoryA(d.c_str(), nullptr);
  EXPECT_TRUE(WriteFileBytes(a + "\\clip.swf", MakeSwf(550, 400))) << "write";
  EXPECT_TRUE(WriteFileBytes(b + "\\CLIP.SWF", MakeSwf(320, 240))) << "write";
  EXPECT_TRUE(WriteFileBytes(b + "\\Package.INI", "[SETTINGS]\r\nmainmovie=CLIP.SWF")) << "write";
  EXPECT_TRUE(WriteFileBytes(dotted + "\\README", "read me\n")) << "write";
  EXPECT_TRUE(WriteFileBytes(a + "\\big.bin", std::string(1048577, 'x'))) << "write";
  EXPECT_TRUE(WriteFileBytes(a + "\\empty.swf", std::string("FWS\x07\x04\x00\x00\x00", 8))) << "write";
  EXPECT_TRUE(WriteFileBytes(a + "\\m1.swf", MakeSwf(10, 10))) << "write";
  for (int i = 1; i <= 5; ++i)
    EXPECT_TRUE(WriteFileBytes(b + "\\m" + std::to_string(i) + ".swf", MakeSwf(100 * i, 50 * i))) << "write";
  StringTable table(s.exe(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));

  Packager p;
  ASSERT_TRUE(StartPackager(p, s.installDir)) << "the packager did not start";

  // A second file of one name, whatever its letter case, and a file named like the
  // package's description are refused, named in one box; the same file again: silently
  // one row.
  EXPECT_TRUE(AddFiles(p, {a + "\\clip.swf"})) << "add";
  EXPECT_TRUE(AddFiles(p, {b + "\\CLIP.SWF", b + "\\Package.INI"})) << "add";
  ExpectBox(p, FormatS(table.get(1047), {Wide(b + "\\CLIP.SWF\n" + b + "\\Package.INI")}), "names taken");
  EXPECT_TRUE(AddFiles(p, {a + "\\clip.swf"})) << "add";
  Settle(p.main);
  EXPECT_TRUE(FindPopup(p) == nullptr) << "a box for a file listed already";
  EXPECT_TRUE(RowCount(p) == 1) << Printf(
      "%d rows after adding clip.swf, CLIP.SWF, Package.INI and clip.swf again", RowCount(p));
  EXPECT_TRUE(Cell(p, 0, 5) == Wide(a + "\\clip.swf")) << Printf("path '%s'", Utf8(Cell(p, 0, 5)).c_str());
  EXPECT_TRUE(Cell(p, 0, 2) == L"SWF") << Printf("type '%s'", Utf8(Cell(p, 0, 2)).c_str());
  EXPECT_TRUE(Cell(p, 0, 3) == L"550 * 400") << Printf("dimension '%s'", Utf8(Cell(p, 0, 3)).c_str());

  // README: the Type comes from the name alone, the whole name as it has no dot (the
  // folders' dots do not count); big.bin: 1.00 MB, no dimension.
  EXPECT_TRUE(AddFiles(p, {dotted + "\\README"})) << "add";
  EXPECT_TRUE(Cell(p, 1, 2) == L"README") << Printf("type of README '%s'", Utf8(Cell(p, 1, 2)).c_str());
  EXPECT_TRUE(Cell(p, 1, 3).empty()) << "README has a dimension";
  EXPECT_TRUE(AddFiles(p, {a + "\\big.bin"})) << "add";
  EXPECT_TRUE(Cell(p, 2, 4) == L"1.00 MB") << Printf("size '%s'", Utf8(Cell(p, 2, 4)).c_str());
  EXPECT_TRUE(Cell(p, 2, 2) == L"BIN") << Printf("type '%s'", Utf8(Cell(p, 2, 2)).c_str());
  // A movie whose header leaves no body: the reader's "Failed to locate" in a box.
  EXPECT_TRUE(AddFiles(p, {a + "\\empty.swf"})) << "add";
  ExpectBox(p, L"Failed to locate", "empty movie");
  EXPECT_TRUE(RowCount(p) == 4 && Cell(p, 3, 3) == L"0 * 0")
      << Printf("empty movie: %d rows, dimension '%s'", RowCount(p), Utf8(Cell(p, 3, 3)).c_str());

  // A main movie whose name a row holds: Browse refuses it and the box keeps its text.
  PostClick(p.item(1001));
  HWND browse = WaitPopup(p, 10000);
  EXPECT_TRUE(browse != nullptr) << "Browse opened no dialog";
  if (browse) {
    EXPECT_TRUE(FillFileDialog(browse, Wide(b + "\\CLIP.SWF"))) << "the Browse dialog stayed";
  }
  ExpectBox(p, FormatS(table.get(1048), {Wide(b + "\\CLIP.SWF")}), "main movie name taken");
  EXPECT_TRUE(Text(p.item(1000)).empty()) << Printf("main movie box '%s'", Utf8(Text(p.item(1000))).c_str());
  // Typed into the box instead: Package It! refuses it before asking for the output.
  SetText(p.item(1000), Wide(b + "\\CLIP.SWF"));
  PostClick(p.item(IDOK));
  ExpectBox(p, FormatS(table.get(1048), {Wide(b + "\\CLIP.SWF")}), "typed main movie name taken");
  Settle(p.main);
  EXPECT_TRUE(FindPopup(p) == nullptr) << "Package It! went on after the refusal";
  // A row of the main movie's name, as the box shows it now, is refused as well.
  SetText(p.item(1000), Wide(a + "\\m1.swf"));
  EXPECT_TRUE(AddFiles(p, {b + "\\m1.swf"})) << "add";
  ExpectBox(p, FormatS(table.get(1047), {Wide(b + "\\m1.swf")}), "main movie's name taken");
  EXPECT_TRUE(RowCount(p) == 4) << Printf("%d rows", RowCount(p));

  // A radio click empties the list and sets the enabled states.
  SendClick(p.item(1018));
  Settle(p.main);
  EXPECT_TRUE(RowCount(p) == 0) << Printf("slideshow click left %d rows", RowCount(p));
  EXPECT_TRUE(!IsWindowEnabled(p.item(1000)) && !IsWindowEnabled(p.item(1001)))
      << "main movie box enabled in slideshow";
  EXPECT_TRUE(IsWindowEnabled(p.item(1006)) && IsWindowEnabled(p.item(1008)))
      << "move buttons disabled in slideshow";
  EXPECT_TRUE(Text(p.item(1000)) == Wide(a + "\\m1.swf")) << "main movie box lost its text";

  // Five movies at once through the multiple selection.
  std::vector<std::string> five;
  for (int i = 1; i <= 5; ++i) five.push_back(b + "\\m" + std::to_string(i) + ".swf");
  EXPECT_TRUE(AddFiles(p, five)) << "add five";
  EXPECT_TRUE(RowCount(p) == 5) << Printf("%d rows after adding five", RowCount(p));
  std::vector<std::wstring> names = Column(p, 1);
  std::vector<std::wstring> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_TRUE(sorted == (std::vector<std::wstring>{L"m1.swf", L"m2.swf", L"m3.swf", L"m4.swf", L"m5.swf"}))
      << "five names";

  // Move up on the first row and Move down on the last change nothing.
  Select(p, {0});
  SendClick(p.item(1006));
  EXPECT_TRUE(Column(p, 1) == names) << "move up on the first row changed the list";
  Select(p, {4});
  SendClick(p.item(1008));
  EXPECT_TRUE(Column(p, 1) == names) << "move down on the last row changed the list";
  // Move down on row 1 swaps rows 1 and 2; numbers stay, the selection stays on row 1.
  Select(p, {1});
  SendClick(p.item(1008));
  std::vector<std::wstring> moved = names;
  std::swap(moved[1], moved[2]);
  EXPECT_TRUE(Column(p, 1) == moved) << "move down did not swap rows 2 and 3";
  EXPECT_TRUE(Column(p, 5)[1] == Wide(b + "\\" + Utf8(moved[1]))) << "path did not move with the name";
  EXPECT_TRUE(Column(p, 0) == (std::vector<std::wstring>{L"1", L"2", L"3", L"4", L"5"})) << "numbers moved";
  SendClick(p.item(1008));
  EXPECT_TRUE(Column(p, 1) == names) << "a second press did not move the two files back";
  // Nothing selected: Move down changes nothing.
  Select(p, {});
  SendClick(p.item(1008));
  EXPECT_TRUE(Column(p, 1) == names) << "move down without a selection changed the list";

  // Remove rows 2 and 4 of 5: the rest is numbered 1, 2, 3.
  Select(p, {1, 3});
  SendClick(p.item(1004));
  EXPECT_TRUE(RowCount(p) == 3) << Printf("%d rows after removing two of five", RowCount(p));
  EXPECT_TRUE(Column(p, 0) == (std::vector<std::wstring>{L"1", L"2", L"3"})) << "numbers after remove";
  EXPECT_TRUE(Column(p, 1) == (std::vector<std::wstring>{names[0], names[2], names[4]}))
      << "wrong rows removed";

  // Back to "Main SWF + Resources": empty list, states reversed; clicking it again
  // while it is selected empties the list again.
  SendClick(p.item(1017));
  Settle(p.main);
  EXPECT_TRUE(RowCount(p) == 0) << "resource click left rows";
  EXPECT_TRUE(IsWindowEnabled(p.item(1000)) && IsWindowEnabled(p.item(1001))) << "main movie box disabled";
  EXPECT_TRUE(!IsWindowEnabled(p.item(1006)) && !IsWindowEnabled(p.item(1008))) << "move buttons enabled";
  EXPECT_TRUE(AddFiles(p, {dotted + "\\README"})) << "add";
  EXPECT_TRUE(RowCount(p) == 1) << "README not added";
  SendClick(p.item(1017));
  Settle(p.main);
  EXPECT_TRUE(RowCount(p) == 0) << "a click on the selected radio button kept the rows";

  // A movie that cannot be read ends the add without a row.
  const std::string missing = a + "\\gone.swf";
  EXPECT_TRUE(WriteFileBytes(missing, MakeSwf(10, 10))) << "write";
  PostClick(p.item(1003));
  if (HWND dlg = WaitPopup(p, 10000)) {
    SetText(FileNameEdit(dlg), Wide(missing));
    DeleteFileA(missing.c_str());
    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    WaitUntil([&] { return !IsWindow(dlg); }, 5000);
    // The dialog itself may refuse a missing file; either way no row appears.
    if (HWND box = WaitPopup(p, 3000)) Answer(box, IDOK);
  }
  Settle(p.main);
  EXPECT_TRUE(RowCount(p) == 0) << "a missing movie was listed";

  EXPECT_TRUE(ClosePackager(p)) << "the packager did not close";
}

}  // namespace vx::test::gui
