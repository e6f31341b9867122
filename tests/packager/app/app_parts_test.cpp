// Unit tests of the packager's window-program parts: the update check's reading and
// comparing, the string table's formats in both languages, the image button's mask and
// drawing, the label's text format, both controls after a change of the system colours
// (in a window, on the test's X server), the file dialog's buffer and filters, the
// build's job on its worker thread, the work folder, and the internet reader's failure.
#include <gtest/gtest.h>

#include <stdexcept>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <thread>

#include "common/win32_handles.h"
#include "framework/dialog.h"
#include "packager/app/color_label.h"
#include "packager/app/file_dialog.h"
#include "packager/app/image_button.h"
#include "packager/app/internet.h"
#include "packager/app/packager_dlg.h"
#include "packager/app/update_check.h"
#include "packager/app/work_folder.h"
#include "resource.h"
#include "tests/support/build_tree.h"
#include "tests/support/scratch_folder.h"
#include "common/win32_text.h"

namespace {

// The window program's parts take paths in the ANSI code page, as its controls hold
// them; the builder takes UTF-8.
std::string TempDir() { return vx::win::Utf8ToAnsi(vx::test::ProcessScratch().path()); }
std::string TempDirUtf8() { return vx::test::ProcessScratch().path(); }

std::string WriteIni(const std::string& name, const std::string& text) {
  const std::string path = TempDir() + "\\" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// A string of the test executable's own table (it carries the packager's resources)
// in one language, as UTF-16.
std::wstring TableString(UINT id, WORD language) {
  HRSRC res = FindResourceExW(nullptr, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1), language);
  if (!res) return L"";
  const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(nullptr, res)));
  const DWORD words = SizeofResource(nullptr, res) / 2;
  DWORD pos = 0;
  for (UINT i = 0; i < id % 16 && pos < words; ++i) pos += 1 + p[pos];
  if (pos >= words) return L"";
  return std::wstring(reinterpret_cast<const wchar_t*>(p + pos + 1), p[pos]);
}

// The printf conversions of a format, in order ("%%" is no conversion).
std::wstring Conversions(const std::wstring& format) {
  std::wstring out;
  for (size_t i = 0; i + 1 < format.size(); ++i) {
    if (format[i] != L'%') continue;
    if (format[i + 1] == L'%') {
      ++i;
      continue;
    }
    out += format[i + 1];
  }
  return out;
}

const WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

}  // namespace

// ---- Update description ---------------------------------------------------------------

TEST(UpdateCheck, ReadsValuesAndReportsWhatIsMissing) {
  const std::string ini = WriteIni(
      "update.ini", "[OTHER]\r\nVersion=1.0.0.0\r\n[vellumix]\r\nversion = 2.2.0.1 \r\nFixed=a%db\r\n");
  EXPECT_EQ(ReadIniValue(ini, "VELLUMIX", "Version"), "2.2.0.1");  // case-blind, blanks dropped
  EXPECT_EQ(ReadIniValue(ini, "VELLUMIX", "Fixed"), "a%db");
  EXPECT_EQ(ReadIniValue(ini, "VELLUMIX", "Whatsnew"), "INI_LOADERROR");
  EXPECT_EQ(ReadIniValue(ini, "VELLUMIXCHS", "Version"), "INI_LOADERROR");
  EXPECT_EQ(ReadIniValue(TempDir() + "\\absent.ini", "VELLUMIX", "Version"), "INI_LOADERROR");
}

TEST(UpdateCheck, LongValueIsCutAt299Characters) {
  const std::string value(400, 'v');
  const std::string ini = WriteIni("long.ini", "[VELLUMIX]\r\nWhatsnew=" + value + "\r\n");
  EXPECT_EQ(ReadIniValue(ini, "VELLUMIX", "Whatsnew"), value.substr(0, 299));
}

TEST(UpdateCheck, LineBreaksAtEveryPercentD) {
  EXPECT_EQ(ExpandUpdateLineBreaks("one%dtwo%dthree"), "one\n    two\n    three");
  EXPECT_EQ(ExpandUpdateLineBreaks("%d"), "\n    ");
  EXPECT_EQ(ExpandUpdateLineBreaks("100% sure, %s stays"), "100% sure, %s stays");
  EXPECT_EQ(ExpandUpdateLineBreaks("ends in %"), "ends in %");
}

TEST(UpdateCheck, OfferOnlyForAnotherVersion) {
  EXPECT_TRUE(IsUpdateOffered("2.1.216.1", "2.2.0.0"));
  EXPECT_TRUE(IsUpdateOffered("2.1.216.1", "2.1.0.0"));  // lower counts as well
  EXPECT_FALSE(IsUpdateOffered("2.1.216.1", "2.1.216.1"));
  EXPECT_FALSE(IsUpdateOffered("2.1.0.0-RC", "2.1.0.0-rc"));  // letter case does not count
  // No description, an error page, no key, an empty key: nothing to offer.
  EXPECT_FALSE(IsUpdateOffered("2.1.216.1", "INI_LOADERROR"));
  EXPECT_FALSE(IsUpdateOffered("2.1.216.1", ""));
}

TEST(UpdateCheck, OfferTextPutsFixedBeforeNewFeatures) {
  const std::string text = FormatUpdateOffer("C=%s N=%s F=%s W=%s", "2.1.216.1", "3.0.0.0", "fix", "new");
  EXPECT_EQ(text, "C=2.1.216.1 N=3.0.0.0 F=fix W=new");
  // Values are arguments, never formats.
  EXPECT_EQ(FormatUpdateOffer("%s|%s|%s|%s", "a", "b", "%s%n%d", "%x"), "a|b|%s%n%d|%x");
}

TEST(UpdateCheck, ServerUrlFromEnvironment) {
  SetEnvironmentVariableA("VELLUMIX_UPDATE_URL", nullptr);
  EXPECT_EQ(UpdateServerUrl(), kUpdateServerUrl);
  SetEnvironmentVariableA("VELLUMIX_UPDATE_URL", "http://127.0.0.1:8123");
  EXPECT_EQ(UpdateServerUrl(), "http://127.0.0.1:8123/");
  EXPECT_EQ(JoinUrl(UpdateServerUrl(), kUpdateDescriptionPath), "http://127.0.0.1:8123/downloads/update.ini");
  SetEnvironmentVariableA("VELLUMIX_UPDATE_URL", "");
  EXPECT_EQ(UpdateServerUrl(), kUpdateServerUrl);
  SetEnvironmentVariableA("VELLUMIX_UPDATE_URL", nullptr);
  EXPECT_EQ(JoinUrl("http://h/base/", "/downloads/x"), "http://h/base/downloads/x");
}

TEST(UpdateCheck, FileVersionOfThePackager) {
  EXPECT_EQ(ReadFileVersion(vx::win::Utf8ToAnsi(vx::test::BuildTreePath(VX_BINARY_DIR "/bin/Vellumix.exe"))),
            "2.1.216.1");
  EXPECT_EQ(ReadFileVersion(WriteIni("plain.txt", "no version here")), "");
  EXPECT_EQ(ReadFileVersion(TempDir() + "\\absent.exe"), "");
}

TEST(UpdateCheck, NoServerThrowsInternetError) {
  // A port nobody listens on: the session opens, the request fails with the internet
  // reader's error (which the check discards).
  try {
    UrlReader reader("vx-test", "http://127.0.0.1:9/downloads/update.ini");
    ADD_FAILURE() << "a server answered on port 9";
  } catch (const InternetError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("The address could not be opened: http://127.0.0.1:9/", 0), 0u)
        << e.what();
  }
}

// ---- String table --------------------------------------------------------------------

TEST(StringTable, FormatsHaveTheSameConversionsInBothLanguages) {
  // Strings used as printf formats: a translation with another conversion would make
  // the program read arguments it never passed.
  const struct {
    UINT id;
    const wchar_t* conversions;
  } formats[] = {{IDS_PACKAGE_CREATED, L"s"},
                 {IDS_UPDATE_OFFER, L"ssss"},
                 {IDS_BUILD_PROGRESS, L"d"},
                 {IDS_NAME_TAKEN, L"s"},
                 {IDS_MAIN_NAME_TAKEN, L"s"}};
  for (const auto& f : formats) {
    for (WORD lang : {kEnglish, kChinese}) {
      const std::wstring text = TableString(f.id, lang);
      ASSERT_FALSE(text.empty()) << f.id << " in " << lang;
      EXPECT_EQ(Conversions(text), f.conversions) << f.id << " in " << lang;
    }
  }
  // No other string of the window carries a conversion.
  for (UINT id : {1u,    2u,    3u,    4u,    6u,    7u,    101u,  103u,  104u,  105u,  106u,  107u,
                  110u,  113u,  114u,  122u,  123u,  124u,  1019u, 1020u, 1021u, 1031u, 1032u, 1033u,
                  1035u, 1036u, 1037u, 1038u, 1039u, 1040u, 1044u, 1045u, 1046u, 1049u})
    for (WORD lang : {kEnglish, kChinese}) EXPECT_EQ(Conversions(TableString(id, lang)), L"") << id;
}

TEST(StringTable, EveryIdInBothLanguagesAndTheSectionNames) {
  for (UINT id : {1u,    2u,    3u,    4u,    6u,    7u,    101u,  102u,  103u,  104u,  105u,
                  106u,  107u,  110u,  113u,  114u,  122u,  123u,  124u,  1019u, 1020u, 1021u,
                  1031u, 1032u, 1033u, 1034u, 1035u, 1036u, 1037u, 1038u, 1039u, 1040u}) {
    EXPECT_FALSE(TableString(id, kEnglish).empty()) << id;
    EXPECT_FALSE(TableString(id, kChinese).empty()) << id;
  }
  EXPECT_EQ(TableString(IDS_UPDATE_SECTION, kEnglish), L"VELLUMIX");
  EXPECT_EQ(TableString(IDS_UPDATE_SECTION, kChinese), L"VELLUMIXCHS");
  EXPECT_EQ(TableString(IDS_LIST_HEADING, kEnglish), L"Resource\\Slideshow List");
  EXPECT_EQ(TableString(IDS_UPDATE_INSTRUCTIONS, kEnglish),
            L"Please:\n1.  Close Vellumix\n2. Install the Updater\n3. Restart the program");
  EXPECT_NE(TableString(IDS_SETTINGS, kEnglish), TableString(IDS_SETTINGS, kChinese));
}

// ---- Image button --------------------------------------------------------------------

namespace {

// The description of a 32-bit top-down DIB section of w x h pixels.
BITMAPINFO TopDownDib(int w, int h) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  return bi;
}

// A DIB section filled from `pixels` (0x00RRGGBB, row by row).
HBITMAP MakeBitmap(int w, int h, const std::vector<uint32_t>& pixels) {
  const BITMAPINFO bi = TopDownDib(w, h);
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  auto* p = static_cast<uint32_t*>(bits);
  for (int i = 0; i < w * h; ++i) p[i] = pixels[static_cast<size_t>(i)];
  return bmp;
}

// Draws the button into a 20 x 20 canvas and reads it back as 0x00RRGGBB.
struct Canvas {
  static constexpr int kSize = 20;
  vx::win::GdiObject<HBITMAP> bmp;  // declared first: deleted after the DC that holds it
  vx::win::MemoryDC memory{CreateCompatibleDC(nullptr)};
  HDC dc = memory.get();
  uint32_t* bits = nullptr;
  Canvas() {
    const BITMAPINFO bi = TopDownDib(kSize, kSize);
    bmp.reset(CreateDIBSection(dc, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0));
    SelectObject(dc, bmp.get());  // the DC goes before the bitmap: nothing to put back
    for (int i = 0; i < kSize * kSize; ++i) bits[i] = 0x123456;
  }
  uint32_t at(int x, int y) {
    GdiFlush();
    return bits[y * kSize + x] & 0xFFFFFF;
  }
  void draw(CImageButton& b, UINT state) {
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_BUTTON;
    dis.itemState = state;
    dis.hDC = dc;
    dis.rcItem = RECT{0, 0, kSize, kSize};
    b.DrawItem(dis);
  }
};

uint32_t Rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// 4 x 4 image: magenta everywhere but an orange centre 2 x 2 and one 0xFE00FF pixel.
constexpr uint32_t kMagenta = 0xFF00FF, kOrange = 0xFFB01E, kNearMagenta = 0xFE00FF;
std::vector<uint32_t> TestImage() {
  return {kMagenta, kMagenta, kMagenta, kNearMagenta,  //
          kMagenta, kOrange,  kOrange,  kMagenta,      //
          kMagenta, kOrange,  kOrange,  kMagenta,      //
          kMagenta, kMagenta, kMagenta, kMagenta};
}

}  // namespace

TEST(ImageButton, TransparentColourShowsTheFaceOthersKeepTheirColour) {
  CImageButton button;
  ASSERT_EQ(button.SetBitmap(MakeBitmap(4, 4, TestImage()), RGB(255, 0, 255)), 0);
  ASSERT_NE(button.GetMask(), nullptr);
  Canvas c;
  c.draw(button, 0);
  const uint32_t face = Rgb(GetSysColor(COLOR_BTNFACE));
  // The image sits centred: left = (20 - 4) / 2 = 8, top = 8.
  EXPECT_EQ(c.at(8, 8), face);           // magenta pixel
  EXPECT_EQ(c.at(11, 8), kNearMagenta);  // 0xFE00FF keeps its colour
  EXPECT_EQ(c.at(9, 9), kOrange);
  EXPECT_EQ(c.at(10, 10), kOrange);
  EXPECT_EQ(c.at(0, 0), face);  // no border when neither pressed nor hovered
  EXPECT_EQ(c.at(19, 19), face);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_NE(c.at(x, y), kMagenta) << x << "," << y;
}

TEST(ImageButton, PressedSinksAndMovesTheImageByOnePixel) {
  CImageButton button;
  ASSERT_EQ(button.SetBitmap(MakeBitmap(4, 4, TestImage()), RGB(255, 0, 255)), 0);
  Canvas c;
  c.draw(button, ODS_SELECTED);
  EXPECT_EQ(c.at(0, 0), Rgb(GetSysColor(COLOR_BTNSHADOW)));
  EXPECT_EQ(c.at(0, 10), Rgb(GetSysColor(COLOR_BTNSHADOW)));
  EXPECT_EQ(c.at(19, 19), Rgb(GetSysColor(COLOR_BTNHIGHLIGHT)));
  EXPECT_EQ(c.at(19, 10), Rgb(GetSysColor(COLOR_BTNHIGHLIGHT)));
  EXPECT_EQ(c.at(12, 9), kNearMagenta);                    // was (11, 8)
  EXPECT_EQ(c.at(11, 11), kOrange);                        // was (10, 10)
  EXPECT_EQ(c.at(9, 9), Rgb(GetSysColor(COLOR_BTNFACE)));  // was the magenta (8, 8)
}

TEST(ImageButton, DisabledGlyphIsEmbossedNotColoured) {
  CImageButton button;
  ASSERT_EQ(button.SetBitmap(MakeBitmap(4, 4, TestImage()), RGB(255, 0, 255)), 0);
  Canvas c;
  c.draw(button, ODS_DISABLED);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      ASSERT_NE(c.at(x, y), kOrange) << x << "," << y;
      ASSERT_NE(c.at(x, y), kMagenta) << x << "," << y;
    }
  // The glyph leaves a mark (the embossed shape) where the orange was.
  EXPECT_NE(c.at(9, 9), Rgb(GetSysColor(COLOR_BTNFACE)));
}

TEST(ImageButton, ShippedBitmapsAre13By13With24Bits) {
  for (UINT id : {IDB_MOVE_DOWN, IDB_ADD, IDB_MOVE_UP, IDB_REMOVE}) {
    HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCEA(id), reinterpret_cast<LPCSTR>(RT_BITMAP));
    ASSERT_NE(res, nullptr) << id;
    const auto* info = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, res)));
    EXPECT_EQ(info->biWidth, 13) << id;
    EXPECT_EQ(info->biHeight, 13) << id;
    EXPECT_EQ(info->biBitCount, 24) << id;
    // The corners are magenta (transparent); the middle holds glyph pixels.
    const auto* pixels = reinterpret_cast<const uint8_t*>(info) + info->biSize;
    EXPECT_EQ(pixels[0], 0xFF);
    EXPECT_EQ(pixels[1], 0x00);
    EXPECT_EQ(pixels[2], 0xFF);
    CImageButton button;
    EXPECT_EQ(button.SetImage(id, RGB(255, 0, 255)), 0);
    EXPECT_NE(button.GetImage(), nullptr);
  }
  CImageButton none;
  EXPECT_EQ(none.SetImage(9999, RGB(255, 0, 255)), 0);  // does not load: no image
  EXPECT_EQ(none.GetImage(), nullptr);
}

// ---- Label -----------------------------------------------------------------------------

TEST(ColorLabel, DrawTextFormatFollowsTheStaticStyle) {
  EXPECT_EQ(CColorLabel::DrawTextFormat(SS_LEFT, "a"), static_cast<UINT>(DT_WORDBREAK));
  EXPECT_EQ(CColorLabel::DrawTextFormat(SS_CENTER, "a"), static_cast<UINT>(DT_CENTER | DT_WORDBREAK));
  EXPECT_EQ(CColorLabel::DrawTextFormat(SS_RIGHT, "a"), static_cast<UINT>(DT_RIGHT | DT_WORDBREAK));
  EXPECT_EQ(CColorLabel::DrawTextFormat(SS_LEFTNOWORDWRAP, "a"), static_cast<UINT>(DT_LEFT));
  EXPECT_EQ(CColorLabel::DrawTextFormat(SS_LEFT, "a\tb"), static_cast<UINT>(DT_WORDBREAK | DT_EXPANDTABS));
  EXPECT_EQ(CColorLabel::DrawTextFormat(SS_CENTERIMAGE, "a"),
            static_cast<UINT>(DT_CENTER | DT_VCENTER | DT_SINGLELINE));
  EXPECT_EQ(CColorLabel::DrawTextFormat(SS_CENTERIMAGE, "a\r\nb"), static_cast<UINT>(DT_CENTER));
}

// ---- System colours ------------------------------------------------------------------

namespace {

// The main window's template with a label and an image button attached, as the
// packager's window attaches them.
class ColourDialog : public vx::win::Dialog {
 public:
  ColourDialog() : Dialog(IDD_VELLUMIX_DIALOG) {}
  CColorLabel label;
  CImageButton button;

 protected:
  bool OnInitDialog() override {
    label.AttachToDlgItem(m_hwnd, IDC_LABEL_MAIN_MOVIE);
    label.setText("");  // all background
    button.AttachToDlgItem(m_hwnd, IDC_ADD);
    return true;
  }
  bool OnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT& result) override {
    return button.OnParentMessage(message, lParam, result);
  }
};

void PumpMessages(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(10);
  } while (GetTickCount() - start < ms);
}

COLORREF MiddlePixel(HWND h) {
  RECT rc;
  GetClientRect(h, &rc);
  vx::win::WindowDC dc(h);
  return GetPixel(dc.get(), rc.right / 2, rc.bottom / 2);
}

}  // namespace

TEST(SystemColours, LabelAndImageButtonRepaintWithTheNewFaceColour) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  ColourDialog dlg;
  ASSERT_TRUE(dlg.create());
  SetWindowPos(dlg.handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  PumpMessages(300);
  const COLORREF before = GetSysColor(COLOR_BTNFACE);
  EXPECT_EQ(MiddlePixel(dlg.label.handle()), before);
  EXPECT_EQ(MiddlePixel(dlg.button.handle()), before);

  // The system tells the top-level windows, and repaints every window.
  const COLORREF changed = before == RGB(40, 160, 90) ? RGB(200, 60, 60) : RGB(40, 160, 90);
  const INT which[] = {COLOR_BTNFACE};
  ASSERT_TRUE(SetSysColors(1, which, &changed));
  PumpMessages(300);
  const COLORREF label = MiddlePixel(dlg.label.handle()), button = MiddlePixel(dlg.button.handle());
  SetSysColors(1, which, &before);
  PumpMessages(100);
  EXPECT_EQ(label, changed) << std::hex << "label " << label << " before " << before;
  EXPECT_EQ(button, changed) << std::hex << "button " << button << " before " << before;
  dlg.destroy();
}

// Disabling an image button moves the keyboard focus to the next control in the tab
// order, whether the button had it or another control did.
TEST(ImageButton, DisablingMovesTheFocusToTheNextControl) {
  ColourDialog dlg;
  ASSERT_TRUE(dlg.create());
  SetWindowPos(dlg.handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  PumpMessages(100);
  const HWND next = GetNextDlgTabItem(dlg.handle(), dlg.button.handle(), FALSE);
  const HWND title = GetDlgItem(dlg.handle(), IDC_TITLE);
  ASSERT_NE(next, title);
  for (HWND focused : {dlg.button.handle(), title}) {
    SCOPED_TRACE(focused == title ? "the title box had the focus" : "the button had the focus");
    EnableWindow(dlg.button.handle(), TRUE);
    SetFocus(focused);
    ASSERT_EQ(GetFocus(), focused);
    EnableWindow(dlg.button.handle(), FALSE);
    EXPECT_EQ(GetFocus(), next);
  }
  dlg.destroy();
}

// ---- File dialog ------------------------------------------------------------------------

TEST(FileDialog, FilterBecomesNulSeparated) {
  const std::string f = FileDialog::ConvertFilter("Shockwave Flash Format (*.swf)|*.swf||");
  EXPECT_EQ(f, std::string("Shockwave Flash Format (*.swf)\0*.swf\0\0\0\0", 40));
  const std::string g = FileDialog::ConvertFilter("A|*.a");  // not ended: ended here
  EXPECT_EQ(g, std::string("A\0*.a\0\0", 7));
}

TEST(FileDialog, SelectionBufferWalk) {
  auto walk = [](const std::string& buffer, bool multi) {
    std::vector<std::string> out;
    const char* pos = buffer.empty() || buffer[0] == '\0' ? nullptr : buffer.c_str();
    while (pos) out.push_back(FileDialog::NextPathInBuffer(buffer.c_str(), multi, pos));
    return out;
  };
  const std::string single("C:\\movies\\intro.swf\0\0", 21);
  EXPECT_EQ(walk(single, false), std::vector<std::string>{"C:\\movies\\intro.swf"});
  EXPECT_EQ(walk(single, true), std::vector<std::string>{"C:\\movies\\intro.swf"});
  const std::string many("C:\\movies\0a.swf\0b.xml\0c\0\0", 25);
  EXPECT_EQ(walk(many, true),
            (std::vector<std::string>{"C:\\movies\\a.swf", "C:\\movies\\b.xml", "C:\\movies\\c"}));
  const std::string root("C:\\\0a.swf\0b.swf\0\0", 17);
  EXPECT_EQ(walk(root, true), (std::vector<std::string>{"C:\\a.swf", "C:\\b.swf"}));
  EXPECT_TRUE(walk(std::string("\0\0", 2), true).empty());
}

TEST(FileDialog, CutSelectionIsNotTakenAsWhole) {
  // Whole selections, with the zeros the fresh buffer has after them.
  EXPECT_TRUE(FileDialog::SelectionEnded(std::string(8, '\0').c_str(), 8));
  EXPECT_TRUE(FileDialog::SelectionEnded(std::string("C:\\a.swf\0\0\0", 11).c_str(), 11));
  EXPECT_TRUE(FileDialog::SelectionEnded(std::string("C:\\m\0a\0b\0\0", 11).c_str(), 11));
  // A list cut at the end of the buffer: inside a name, or right after one name's NUL.
  const std::string cut("C:\\m\0a.swf\0b.sw", 15);
  EXPECT_FALSE(FileDialog::SelectionEnded(cut.c_str(), cut.size()));
  const std::string atName("C:\\m\0a.swf\0b.swf\0", 17);
  EXPECT_FALSE(FileDialog::SelectionEnded(atName.c_str(), atName.size()));
  // Only the given size counts: the NULs behind it belong to no selection.
  const std::string behind("C:\\m\0a\0b\0\0", 11);
  EXPECT_FALSE(FileDialog::SelectionEnded(behind.c_str(), 9));
}

// ---- Worker threads ------------------------------------------------------------------------

namespace {
// The build's start waits for this event, so that a test sees the job before the
// build runs.
vx::win::UniqueHandle g_startBuild;
}  // namespace

TEST(WorkerThread, BuildJobOutlivesTheWindowThatStartedIt) {
  // The window's share goes at once (as when the window ends during a build); the
  // worker's keeps the job alive until the build has ended, then lets it go.
  auto job = std::make_shared<CPackagerDlg::BuildJob>();
  job->request.installDir = TempDirUtf8() + "\\no-install";  // no stub there: the build fails fast
  WriteIni("movie.swf", "FWS");
  job->request.mainMovie = TempDirUtf8() + "\\movie.swf";
  job->request.outputPath = TempDirUtf8() + "\\never.exe";
  std::weak_ptr<CPackagerDlg::BuildJob> watch = job;
  g_startBuild.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  build_thread_testing::atStart = [] { WaitForSingleObject(g_startBuild.get(), 20000); };
  int result = 0;
  std::thread worker([&result, share = job] { result = RunBuildJob(share); });
  job.reset();
  EXPECT_FALSE(watch.expired());  // the worker's share
  SetEvent(g_startBuild.get());
  worker.join();
  build_thread_testing::atStart = nullptr;
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(watch.expired());
}

TEST(WorkerThread, AFaultAtItsStartStillEndsTheBuild) {
  // Nothing the build thread meets may leave the window "building" for good: the job
  // is marked finished with a failed outcome, even with no window to tell.
  build_thread_testing::atStart = [] { throw std::runtime_error("injected at the start"); };
  auto job = std::make_shared<CPackagerDlg::BuildJob>();
  const int code = RunBuildJob(job);
  build_thread_testing::atStart = nullptr;
  EXPECT_EQ(code, -1);
  EXPECT_TRUE(job->finished.load());
  EXPECT_FALSE(job->outcome.succeeded);
  EXPECT_EQ(job->outcome.messageText(), "The package could not be built\n\ninjected at the start");
}

TEST(BuildProgress, PercentWhileArchivingThenWritingThePackage) {
  const std::string format = "Packaging... %d%%", finishing = "Writing the package...";
  EXPECT_EQ(BuildProgressText(format, finishing, 0, 4), "Packaging... 0%");
  EXPECT_EQ(BuildProgressText(format, finishing, 3, 4), "Packaging... 75%");
  EXPECT_EQ(BuildProgressText(format, finishing, 4, 4), finishing);
  // The shipped texts: string 1044 is the one shown while the package is written.
  EXPECT_EQ(TableString(IDS_BUILD_FINISHING, kEnglish), L"Writing the package...");
  EXPECT_FALSE(TableString(IDS_BUILD_FINISHING, kChinese).empty());
}

// ---- Installation and work folder ---------------------------------------------------------

TEST(WorkFolder, UnknownInstallationFolderGivesNoWorkFolder) {
  const std::string path = "C:\\Program Files\\Vellumix\\Vellumix.exe";
  const DWORD n = static_cast<DWORD>(path.size());
  EXPECT_EQ(InstallDirFromModuleName(path.c_str(), n, 1024), "C:\\Program Files\\Vellumix");
  EXPECT_EQ(InstallDirFromModuleName(path.c_str(), 0, 1024), "");     // the call failed
  EXPECT_EQ(InstallDirFromModuleName(path.c_str(), n, n), "");        // cut short
  EXPECT_EQ(InstallDirFromModuleName("Vellumix.exe", 12, 1024), "");  // no folder
  EXPECT_EQ(WorkFolderOf("C:\\Vellumix"), "C:\\Vellumix\\Temp");
  EXPECT_EQ(WorkFolderOf(""), "");
}

TEST(WorkFolder, OnlyTheInstallationFoldersOwnTempIsEmptied) {
  const std::string install = TempDir() + "\\install";
  CreateDirectoryA(install.c_str(), nullptr);
  CreateDirectoryA((install + "\\Temp").c_str(), nullptr);
  const std::string left = WriteIni("install\\Temp\\left.txt", "x");
  // "\Temp" of the current drive, with a file of someone else's: never touched for an
  // unknown installation folder.
  const std::string rootTemp = std::string(1, install[0]) + ":\\Temp";
  const bool madeRootTemp = CreateDirectoryA(rootTemp.c_str(), nullptr) != FALSE;
  const std::string theirs = rootTemp + "\\vx-app-parts-" + std::to_string(GetCurrentProcessId()) + ".txt";
  std::ofstream(theirs) << "not the packager's";
  char current[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, current);
  ASSERT_TRUE(SetCurrentDirectoryA(install.c_str()));
  EXPECT_FALSE(EmptyWorkFolder(""));
  SetCurrentDirectoryA(current);
  EXPECT_NE(GetFileAttributesA(theirs.c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileA(theirs.c_str());
  if (madeRootTemp) RemoveDirectoryA(rootTemp.c_str());

  EXPECT_TRUE(EmptyWorkFolder(install));
  EXPECT_EQ(GetFileAttributesA(left.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA((install + "\\Temp").c_str()), INVALID_FILE_ATTRIBUTES);
}
