#include <fstream>
#include <iterator>

#include "tests/gui/gui_driver.h"

namespace vx::test::gui {

// Package It! without a main movie, then a full build through the save dialog, read
// back with vellumix-cli inspect.
int Build(const Setup& s) {
  const std::string movie = s.dataDir + "\\intro.swf";
  CHECK(WriteFileBytes(movie, MakeSwf(550, 400)), "write");
  // A name beyond ASCII (in code page 1252, as the window holds it): the package stores
  // it as UTF-8.
  const std::string dataName = "donn\xE9" "es.xml";
  CHECK(WriteFileBytes(s.dataDir + "\\" + dataName, "<data>42</data>\n"), "write");
  // Enough incompressible bytes that the build lasts a moment.
  std::string noise(24 << 20, '\0');
  uint32_t x = 12345;
  for (char& c : noise) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  CHECK(WriteFileBytes(s.dataDir + "\\song.mp3", noise), "write");
  const std::string output = s.workDir + "\\show.exe";

  StringTable table(s.exe(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;

  // No main movie: the validation box, OK only, owned by the window.
  PostClick(p.item(IDOK));
  HWND box = WaitPopup(p, 10000);
  CHECK(box != nullptr, "no box for a missing main movie");
  if (box) {
    CHECK(MessageText(box) == table.get(113), "text '%s'", Utf8(MessageText(box)).c_str());
    CHECK(Text(box) == table.get(114), "caption '%s'", Utf8(Text(box)).c_str());
    CHECK(GetWindow(box, GW_OWNER) == p.main, "not owned by the main window");
    CHECK(GetDlgItem(box, IDOK) || GetDlgItem(box, IDCANCEL), "no OK button");
    CHECK(!GetDlgItem(box, IDYES) && !GetDlgItem(box, IDNO), "more buttons than OK");
    Answer(box, IDOK);
  }

  // Main movie through Browse, title, full screen, two rows.
  PostClick(p.item(1001));
  HWND dlg = WaitPopup(p, 10000);
  CHECK(dlg != nullptr, "Browse opened no dialog");
  if (dlg) CHECK(FillFileDialog(dlg, Wide(movie)), "the Browse dialog stayed");
  Settle(p.main);
  CHECK(Text(p.item(1000)) == Wide(movie), "main movie box '%s'", Utf8(Text(p.item(1000))).c_str());
  CHECK(RowCount(p) == 0, "Browse added a row");
  // The main movie is refused as a row (the list is left as it was).
  CHECK(AddFiles(p, {movie}), "add");
  CHECK(RowCount(p) == 0, "the main movie was listed");
  SetText(p.item(1011), L"Driver Title");
  SendClick(p.item(1007));
  CHECK(AddFiles(p, {s.dataDir + "\\" + dataName}), "add");
  CHECK(AddFiles(p, {s.dataDir + "\\song.mp3"}), "add");

  PostClick(p.item(IDOK));
  dlg = WaitPopup(p, 10000);
  CHECK(dlg != nullptr, "Package It! opened no save dialog");
  if (!dlg) return 1;
  CHECK(FillFileDialog(dlg, Wide(output)), "the save dialog stayed");

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
  CHECK(sawDisabled, "Package It! was never disabled during the build");
  CHECK(sawProgress || hint != table.get(1040), "the hint line never showed the progress");
  CHECK(answered, "the window did not answer during the build");
  CHECK(result != nullptr, "no result box");
  if (!result) return 1;
  Sleep(300);
  const std::wstring expected =
      FormatS(table.get(102), {ExpectedSizeText(FileSizeOf(s.installDir + "\\Temp\\Orrinet.exe"))});
  CHECK(NormalizeLines(MessageText(result)) == NormalizeLines(expected), "result text '%s' expected '%s'",
        Utf8(MessageText(result)).c_str(), Utf8(expected).c_str());
  CHECK(Text(result) == L"Vellumix", "result caption '%s'", Utf8(Text(result)).c_str());
  CHECK(GetWindow(result, GW_OWNER) == p.main, "result box not owned by the main window");
  CHECK(GetDlgItem(result, IDYES) && GetDlgItem(result, IDNO) && GetDlgItem(result, IDCANCEL),
        "not Yes/No/Cancel");
  Answer(result, IDCANCEL);
  Settle(p.main);
  CHECK(IsWindowEnabled(p.item(IDOK)), "Package It! still disabled after the build");
  CHECK(Text(p.item(1042)) == table.get(1040), "hint '%s' after the build", Utf8(Text(p.item(1042))).c_str());
  CHECK(FindPopup(p) == nullptr, "another box after the result box");
  CHECK(FileSizeOf(output) == FileSizeOf(s.installDir + "\\Temp\\Orrinet.exe"),
        "output differs from the work copy");

  // Read the package back.
  DWORD code = 0;
  const std::string inspect =
      RunAndCapture("\"" + s.binDir + "\\vellumix-cli.exe\" inspect \"" + output + "\"", &code);
  std::printf("%s", inspect.c_str());
  CHECK(code == 0, "inspect exit code %lu", code);
  auto has = [&](const std::string& line) {
    return inspect.find(line + "\n") != std::string::npos || inspect.find(line + "\r\n") != std::string::npos;
  };
  CHECK(has("title\tDriver Title"), "title not in the package");
  CHECK(has("flash-control\tno"), "flash control");
  CHECK(has("description\t[SETTINGS]"), "description");
  CHECK(has("description\tfullscreen=true"), "full screen not packaged");
  CHECK(has("description\tmainmovie=intro.swf"), "main movie");
  CHECK(has("description\ttype=resource"), "type");
  const size_t e1 = inspect.find("entry\tpackage.ini\t"), e2 = inspect.find("entry\tintro.swf\t"),
               e3 = inspect.find("entry\tdonn\xC3\xA9" "es.xml\t"), e4 = inspect.find("entry\tsong.mp3\t");
  CHECK(e1 != std::string::npos && e2 != std::string::npos && e3 != std::string::npos &&
            e4 != std::string::npos,
        "entries missing");
  CHECK(e1 < e2 && e2 < e3 && e3 < e4, "entries out of order");
  CHECK(inspect.find("damaged") == std::string::npos, "a damaged entry");
  {
    std::ifstream in(output, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CHECK(bytes.find("donn\xC3\xA9" "es.xml") != std::string::npos, "the name is not stored as UTF-8");
    CHECK(bytes.find(dataName) == std::string::npos, "the name is stored in the code page");
  }

  // Closing while a build runs: the window says so and stays.
  const std::string second = s.workDir + "\\again.exe";
  PostClick(p.item(IDOK));
  dlg = WaitPopup(p, 10000);
  CHECK(dlg != nullptr, "no save dialog for the second build");
  if (dlg) {
    FillFileDialog(dlg, Wide(second));
    PostMessageW(p.main, WM_CLOSE, 0, 0);
    HWND busy = WaitPopup(p, 10000);
    CHECK(busy != nullptr, "no box at all after closing during a build");
    // The build may already have ended (then the result box is shown instead).
    if (busy && NormalizeLines(MessageText(busy)) == NormalizeLines(table.get(1045))) {
      CHECK(p.running() && IsWindow(p.main), "the window went away during a build");
      Answer(busy, IDOK);
      busy = WaitPopup(p, 120000);
    }
    CHECK(busy && MessageText(busy).find(L"File Size") != std::wstring::npos,
          "no result box after the second build");
    if (busy) Answer(busy, IDCANCEL);
    CHECK(p.running(), "the packager ended although the close was refused");
  }
  CHECK(ClosePackager(p), "the packager did not close");
  return g_failures ? 1 : 0;
}

}  // namespace vx::test::gui
