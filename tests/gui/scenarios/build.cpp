#include <fstream>
#include <iterator>

#include "tests/gui/scenarios/scenarios.h"

namespace vx::test::gui {

// Package It! without a main movie, then a full build through the save dialog, read
// back with vellumix-cli inspect.
void Build(const Setup& s) {
  const std::string movie = s.dataDir + "\\intro.swf";
  EXPECT_TRUE(WriteFileBytes(movie, MakeSwf(550, 400))) << "write";
  // A name beyond ASCII (in code page 1252, as the window holds it): the package stores
  // it as UTF-8.
  const std::string dataName =
      "donn\xE9"
      "es.xml";
  EXPECT_TRUE(WriteFileBytes(s.dataDir + "\\" + dataName, "<data>42</data>\n")) << "write";
  // Enough incompressible bytes that the build lasts a moment.
  std::string noise(24 << 20, '\0');
  uint32_t x = 12345;
  for (char& c : noise) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  EXPECT_TRUE(WriteFileBytes(s.dataDir + "\\song.mp3", noise)) << "write";
  const std::string output = s.workDir + "\\show.exe";

  StringTable table(s.exe(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  Packager p;
  ASSERT_TRUE(StartPackager(p, s.installDir)) << "the packager did not start";

  // No main movie: the validation box, OK only, owned by the window.
  PostClick(p.item(IDOK));
  HWND box = WaitPopup(p, 10000);
  EXPECT_TRUE(box != nullptr) << "no box for a missing main movie";
  if (box) {
    EXPECT_TRUE(MessageText(box) == table.get(113)) << Printf("text '%s'", Utf8(MessageText(box)).c_str());
    EXPECT_TRUE(Text(box) == table.get(114)) << Printf("caption '%s'", Utf8(Text(box)).c_str());
    EXPECT_TRUE(GetWindow(box, GW_OWNER) == p.main) << "not owned by the main window";
    EXPECT_TRUE(GetDlgItem(box, IDOK) || GetDlgItem(box, IDCANCEL)) << "no OK button";
    EXPECT_TRUE(!GetDlgItem(box, IDYES) && !GetDlgItem(box, IDNO)) << "more buttons than OK";
    Answer(box, IDOK);
  }

  // Main movie through Browse, title, full screen, two rows.
  PostClick(p.item(1001));
  HWND dlg = WaitPopup(p, 10000);
  EXPECT_TRUE(dlg != nullptr) << "Browse opened no dialog";
  if (dlg) {
    EXPECT_TRUE(FillFileDialog(dlg, Wide(movie))) << "the Browse dialog stayed";
  }
  Settle(p.main);
  EXPECT_TRUE(Text(p.item(1000)) == Wide(movie))
      << Printf("main movie box '%s'", Utf8(Text(p.item(1000))).c_str());
  EXPECT_TRUE(RowCount(p) == 0) << "Browse added a row";
  // The main movie is refused as a row (the list is left as it was).
  EXPECT_TRUE(AddFiles(p, {movie})) << "add";
  EXPECT_TRUE(RowCount(p) == 0) << "the main movie was listed";
  SetText(p.item(1011), L"Driver Title");
  SendClick(p.item(1007));
  EXPECT_TRUE(AddFiles(p, {s.dataDir + "\\" + dataName})) << "add";
  EXPECT_TRUE(AddFiles(p, {s.dataDir + "\\song.mp3"})) << "add";

  PostClick(p.item(IDOK));
  dlg = WaitPopup(p, 10000);
  ASSERT_NE(dlg, nullptr) << "Package It! opened no save dialog";
  EXPECT_TRUE(FillFileDialog(dlg, Wide(output))) << "the save dialog stayed";

  // While the build runs: Package It! disabled, the window answers, the hint shows the
  // progress; closing asks to wait and keeps the window.
  bool sawDisabled = false, sawProgress = false, answered = true;
  const std::wstring hint = Text(p.item(1042));
  HWND result = nullptr;
  WaitUntil(
      [&] {
        if (!IsWindowEnabled(p.item(IDOK))) sawDisabled = true;
        if (Text(p.item(1042)) != table.get(1040)) sawProgress = true;
        DWORD_PTR r;
        if (!SendMessageTimeoutW(p.main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r)) answered = false;
        return (result = FindPopup(p)) != nullptr;
      },
      120000);
  EXPECT_TRUE(sawDisabled) << "Package It! was never disabled during the build";
  EXPECT_TRUE(sawProgress || hint != table.get(1040)) << "the hint line never showed the progress";
  EXPECT_TRUE(answered) << "the window did not answer during the build";
  ASSERT_NE(result, nullptr) << "no result box";
  Sleep(300);
  const std::wstring expected =
      FormatS(table.get(102), {ExpectedSizeText(FileSizeOf(s.installDir + "\\Temp\\Orrinet.exe"))});
  EXPECT_TRUE(NormalizeLines(MessageText(result)) == NormalizeLines(expected))
      << Printf("result text '%s' expected '%s'", Utf8(MessageText(result)).c_str(), Utf8(expected).c_str());
  EXPECT_TRUE(Text(result) == L"Vellumix") << Printf("result caption '%s'", Utf8(Text(result)).c_str());
  EXPECT_TRUE(GetWindow(result, GW_OWNER) == p.main) << "result box not owned by the main window";
  EXPECT_TRUE(GetDlgItem(result, IDYES) && GetDlgItem(result, IDNO) && GetDlgItem(result, IDCANCEL))
      << "not Yes/No/Cancel";
  Answer(result, IDCANCEL);
  Settle(p.main);
  EXPECT_TRUE(IsWindowEnabled(p.item(IDOK))) << "Package It! still disabled after the build";
  EXPECT_TRUE(Text(p.item(1042)) == table.get(1040))
      << Printf("hint '%s' after the build", Utf8(Text(p.item(1042))).c_str());
  EXPECT_TRUE(FindPopup(p) == nullptr) << "another box after the result box";
  EXPECT_TRUE(FileSizeOf(output) == FileSizeOf(s.installDir + "\\Temp\\Orrinet.exe"))
      << "output differs from the work copy";

  // Read the package back.
  DWORD code = 0;
  const std::string inspect =
      RunAndCapture("\"" + s.binDir + "\\vellumix-cli.exe\" inspect \"" + output + "\"", &code);
  std::printf("%s", inspect.c_str());
  EXPECT_TRUE(code == 0) << Printf("inspect exit code %lu", code);
  auto has = [&](const std::string& line) {
    return inspect.find(line + "\n") != std::string::npos || inspect.find(line + "\r\n") != std::string::npos;
  };
  EXPECT_TRUE(has("title\tDriver Title")) << "title not in the package";
  EXPECT_TRUE(has("flash-control\tno")) << "flash control";
  EXPECT_TRUE(has("description\t[SETTINGS]")) << "description";
  EXPECT_TRUE(has("description\tfullscreen=true")) << "full screen not packaged";
  EXPECT_TRUE(has("description\tmainmovie=intro.swf")) << "main movie";
  EXPECT_TRUE(has("description\ttype=resource")) << "type";
  const size_t e1 = inspect.find("entry\tpackage.ini\t"), e2 = inspect.find("entry\tintro.swf\t"),
               e3 = inspect.find(
                   "entry\tdonn\xC3\xA9"
                   "es.xml\t"),
               e4 = inspect.find("entry\tsong.mp3\t");
  EXPECT_TRUE(e1 != std::string::npos && e2 != std::string::npos && e3 != std::string::npos &&
              e4 != std::string::npos)
      << "entries missing";
  EXPECT_TRUE(e1 < e2 && e2 < e3 && e3 < e4) << "entries out of order";
  EXPECT_TRUE(inspect.find("damaged") == std::string::npos) << "a damaged entry";
  {
    std::ifstream in(output, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(bytes.find("donn\xC3\xA9"
                           "es.xml") != std::string::npos)
        << "the name is not stored as UTF-8";
    EXPECT_TRUE(bytes.find(dataName) == std::string::npos) << "the name is stored in the code page";
  }

  // Closing while a build runs: the window says so and stays.
  const std::string second = s.workDir + "\\again.exe";
  PostClick(p.item(IDOK));
  dlg = WaitPopup(p, 10000);
  EXPECT_TRUE(dlg != nullptr) << "no save dialog for the second build";
  if (dlg) {
    FillFileDialog(dlg, Wide(second));
    PostMessageW(p.main, WM_CLOSE, 0, 0);
    HWND busy = WaitPopup(p, 10000);
    EXPECT_TRUE(busy != nullptr) << "no box at all after closing during a build";
    // The build may already have ended (then the result box is shown instead).
    if (busy && NormalizeLines(MessageText(busy)) == NormalizeLines(table.get(1045))) {
      EXPECT_TRUE(p.running() && IsWindow(p.main)) << "the window went away during a build";
      Answer(busy, IDOK);
      busy = WaitPopup(p, 120000);
    }
    EXPECT_TRUE(busy && MessageText(busy).find(L"File Size") != std::wstring::npos)
        << "no result box after the second build";
    if (busy) Answer(busy, IDCANCEL);
    EXPECT_TRUE(p.running()) << "the packager ended although the close was refused";
  }
  EXPECT_TRUE(ClosePackager(p)) << "the packager did not close";
}

}  // namespace vx::test::gui
