#include "packager/app/packager_dlg.h"

#include <shellapi.h>

#include <cctype>
#include <cstdio>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "common/entry_name.h"
#include "common/file_exception.h"
#include "common/file_size.h"
#include "common/package_contract.h"
#include "common/swf_header.h"
#include "common/win32_text.h"
#include "framework/app.h"
#include "packager/app/file_dialog.h"
#include "packager/app/update_check.h"

namespace {

using vx::win::LoadText;
using vx::win::MessageBoxAnsi;
using vx::win::MessageBoxUtf8;

// The controls' captions: control, string.
constexpr struct {
  int control;
  UINT text;
} kCaptions[] = {
    {IDC_LABEL_PACKAGE_TYPE, IDS_PACKAGE_TYPE},
    {IDC_LABEL_MAIN_MOVIE, IDS_MAIN_FLASH_MOVIE},
    {IDC_TYPE_RESOURCE, IDS_TYPE_RESOURCE},
    {IDC_TYPE_SLIDESHOW, IDS_TYPE_SLIDESHOW},
    {IDC_BROWSE, IDS_BROWSE},
    {IDC_LABEL_LIST, IDS_LIST_HEADING},
    {IDC_SETTINGS_GROUP, IDS_SETTINGS},
    {IDC_LABEL_TITLE, IDS_TITLE},
    {IDC_FULL_SCREEN, IDS_FULL_SCREEN},
    {IDC_AUTO_INSTALL_FLASH, IDS_AUTO_INSTALL_FLASH},
    {IDOK, IDS_PACKAGE_IT},
    {IDCANCEL, IDS_CLOSE},
    {IDC_ADD_HINT, IDS_ADD_HINT},
};

// The small buttons beside the list (in the order of CPackagerDlg::Button): control,
// bitmap, tooltip.
constexpr struct {
  int control;
  UINT bitmap;
  UINT tip;
} kButtons[] = {
    {IDC_ADD, IDB_ADD, IDS_TIP_ADD},
    {IDC_REMOVE, IDB_REMOVE, IDS_TIP_REMOVE},
    {IDC_MOVE_UP, IDB_MOVE_UP, IDS_TIP_MOVE_UP},
    {IDC_MOVE_DOWN, IDB_MOVE_DOWN, IDS_TIP_MOVE_DOWN},
};

// The section headings, drawn in bold.
constexpr int kLabels[] = {IDC_LABEL_PACKAGE_TYPE, IDC_LABEL_MAIN_MOVIE, IDC_LABEL_LIST, IDC_LABEL_TITLE};

// The list's columns: number, Name, Type, Dimension, Size, Path.
enum Column { kColNumber = 0, kColName, kColType, kColDimension, kColSize, kColPath, kColumnCount };
constexpr struct {
  UINT heading;  // 0: none
  int format;
  int width;
} kColumns[kColumnCount] = {
    {0, LVCFMT_LEFT, 20},
    {IDS_COLUMN_NAME, LVCFMT_LEFT, 100},
    {IDS_COLUMN_TYPE, LVCFMT_CENTER, 40},
    {IDS_COLUMN_DIMENSION, LVCFMT_CENTER, 70},
    {IDS_COLUMN_SIZE, LVCFMT_CENTER, 60},
    {IDS_COLUMN_PATH, LVCFMT_CENTER, 40},
};

// The edit boxes of the text fields (main movie, title) and their length limits.
constexpr struct {
  int control;
  size_t limit;
} kTextBoxes[] = {{IDC_MAIN_MOVIE, vx::kMaxMainMovieLength}, {IDC_TITLE, vx::kMaxTitleLength}};

constexpr COLORREF kTransparentColour = RGB(255, 0, 255);

const char kMainMovieFilter[] = "Shockwave Flash Format (*.swf)|*.swf|All Files (*.*)|*.*||";
const char kAllFilesFilter[] =
    "All Files (*.*)|*.*|Shockwave Flash Format (*.swf)|*.swf|Picture Files (*.jpg;*.png;*.gif)|"
    "*.*;*.jpg;*.png;*.gif|Extension Markup Language (*.xml)|*.xml|MP3 Format (*.mp3)|*.mp3||";
const char kSwfOnlyFilter[] = "Shockwave Flash Format (*.swf)|*.swf||";
const char kPackageFilter[] = "Executable File Format (*.exe)|*.exe|All Files (*.*)|*.*||";

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// While a build runs, the window looks at its finished mark this often, in case the
// worker's message never arrives.
constexpr UINT_PTR kBuildWatchTimer = 2;
constexpr UINT kBuildWatchPeriodMs = 1000;

std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown error";
  }
}

// The window's controls hold text in the system's ANSI code page; the builder and the
// file layer take UTF-8.
std::string Utf8(const std::string& ansi) { return vx::win::AnsiToUtf8(ansi); }

std::string FileName(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A string of the table with its one "%s" filled.
std::string FormatText(UINT id, const std::string& value) {
  return vx::FormatResultText(LoadText(id), value);
}

}  // namespace

CPackagerDlg::CPackagerDlg(const std::string& installDir)
    : Dialog(IDD_VELLUMIX_DIALOG), m_title(LoadText(IDS_APP_NAME)), m_installDir(installDir) {}

void CPackagerDlg::ShowFields() {
  const std::string* texts[] = {&m_mainMovie, &m_title};
  for (size_t i = 0; i < std::size(kTextBoxes); ++i) {
    const vx::win::Window box = item(kTextBoxes[i].control);
    box.setText(*texts[i]);
    box.send(EM_LIMITTEXT, kTextBoxes[i].limit);
  }
  ::CheckDlgButton(m_hwnd, IDC_FULL_SCREEN, m_fullScreen ? BST_CHECKED : BST_UNCHECKED);
  ::CheckDlgButton(m_hwnd, IDC_AUTO_INSTALL_FLASH, m_autoInstallFlash ? BST_CHECKED : BST_UNCHECKED);
  ::CheckDlgButton(m_hwnd, IDC_TYPE_RESOURCE, m_packageType == 0 ? BST_CHECKED : BST_UNCHECKED);
  ::CheckDlgButton(m_hwnd, IDC_TYPE_SLIDESHOW, m_packageType == 1 ? BST_CHECKED : BST_UNCHECKED);
}

void CPackagerDlg::TakeFields() {
  std::string* texts[] = {&m_mainMovie, &m_title};
  for (size_t i = 0; i < std::size(kTextBoxes); ++i) {
    const vx::win::Window box = item(kTextBoxes[i].control);
    *texts[i] = box.text();
    if (texts[i]->size() <= kTextBoxes[i].limit) continue;
    MessageBoxAnsi("Enter no more than " + std::to_string(kTextBoxes[i].limit) + " characters.",
                   MB_ICONEXCLAMATION);
    ::SetFocus(box);
    box.send(EM_SETSEL, 0, -1);
  }
  m_fullScreen = ::IsDlgButtonChecked(m_hwnd, IDC_FULL_SCREEN) == BST_CHECKED;
  m_autoInstallFlash = ::IsDlgButtonChecked(m_hwnd, IDC_AUTO_INSTALL_FLASH) == BST_CHECKED;
  m_packageType = ::IsDlgButtonChecked(m_hwnd, IDC_TYPE_RESOURCE) == BST_CHECKED    ? 0
                  : ::IsDlgButtonChecked(m_hwnd, IDC_TYPE_SLIDESHOW) == BST_CHECKED ? 1
                                                                                    : -1;
}

bool CPackagerDlg::OnInitDialog() {
  // The controls this window draws or reads itself.
  m_fileList = ListView(::GetDlgItem(m_hwnd, IDC_FILE_LIST));
  for (int i = 0; i < kButtonCount; ++i) m_buttons[i].AttachToDlgItem(m_hwnd, kButtons[i].control);
  for (int i = 0; i < kLabelCount; ++i) m_labels[i].AttachToDlgItem(m_hwnd, kLabels[i]);

  ShowFields();  // "Main SWF + Resources", the title

  const std::string about = LoadText(IDS_ABOUTBOX);
  if (HMENU sysMenu = ::GetSystemMenu(m_hwnd, FALSE); sysMenu && !about.empty()) {
    ::AppendMenuA(sysMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(sysMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
  }
  setIcon(vx::win::LoadAppIcon(IDR_MAINFRAME));
  setText(LoadText(IDS_APP_NAME) + " " + kCaptionVersion + " - ");

  m_fileList.send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  for (int i = 0; i < kColumnCount; ++i)
    m_fileList.insertColumn(i, kColumns[i].heading ? LoadText(kColumns[i].heading) : "", kColumns[i].format,
                            kColumns[i].width);
  for (CColorLabel& label : m_labels) label.SetBold(true);
  for (int i = 0; i < kButtonCount; ++i) {
    m_buttons[i].SetImage(kButtons[i].bitmap, kTransparentColour);
    m_buttons[i].SetTip(LoadText(kButtons[i].tip).c_str());
  }
  for (const auto& caption : kCaptions)
    ::SetDlgItemTextA(m_hwnd, caption.control, LoadText(caption.text).c_str());

  try {
    std::thread([installDir = m_installDir, window = m_hwnd] {
      try {
        CheckForUpdate(installDir, window);
      } catch (...) {
        vx::win::ReportCurrentException();
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread for it: this start makes no check.
  }
  return true;
}

bool CPackagerDlg::OnCommand(int id, int code, HWND control) {
  // An image button takes the focus when it is clicked, then the click is handled.
  for (const CImageButton& button : m_buttons)
    if (code == BN_CLICKED && control && control == button.handle()) ::SetFocus(control);
  if (code != BN_CLICKED && control) return false;
  switch (id) {
    case IDOK: OnOK(); return true;
    case IDCANCEL: OnCancel(); return true;
    case IDC_BROWSE: OnBrowse(); return true;
    case IDC_ADD: OnAdd(); return true;
    case IDC_REMOVE: OnRemove(); return true;
    case IDC_MOVE_UP: MoveSelectedRow(-1); return true;
    case IDC_MOVE_DOWN: MoveSelectedRow(1); return true;
    case IDC_TYPE_RESOURCE: OnPackageType(false); return true;
    case IDC_TYPE_SLIDESHOW: OnPackageType(true); return true;
    default: return false;
  }
}

void CPackagerDlg::OnTimer(UINT_PTR id) {
  if (id == kBuildWatchTimer)
    OnBuildFinished();  // does nothing until the worker has marked the build finished
}

bool CPackagerDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  for (CImageButton& button : m_buttons)
    if (button.OnParentMessage(message, lParam, result)) return true;
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != IDM_ABOUTBOX) return false;
      vx::win::Dialog(IDD_ABOUTBOX).doModal();
      return true;
    case WM_VX_BUILD_PROGRESS:
      OnBuildProgress(static_cast<size_t>(wParam), static_cast<size_t>(lParam));
      return true;
    case WM_VX_BUILD_FINISHED: OnBuildFinished(); return true;
    default: return false;
  }
}

// ---- The file list ------------------------------------------------------------------

bool CPackagerDlg::IsSlideshowSelected() const {
  return ::IsDlgButtonChecked(m_hwnd, IDC_TYPE_SLIDESHOW) == BST_CHECKED;
}

bool CPackagerDlg::NameTakenInList(const std::string& path) const {
  const std::string name = FileName(path);
  if (vx::SameEntryName(Utf8(name), vx::kDescriptionEntryName)) return true;
  const int count = m_fileList.count();
  for (int i = 0; i < count; ++i)
    if (vx::SameEntryName(Utf8(name), Utf8(m_fileList.text(i, kColName)))) return true;
  return false;
}

void CPackagerDlg::OnBrowse() {
  TakeFields();
  FileDialog dialog(true, "swf", OFN_HIDEREADONLY, kMainMovieFilter, m_hwnd);
  if (!dialog.run()) return;
  const std::string chosen = dialog.paths().front();
  // The main movie goes into the package beside the rows: its name must be its own.
  if (NameTakenInList(chosen)) {
    MessageBoxAnsi(FormatText(IDS_MAIN_NAME_TAKEN, chosen), MB_OK | MB_ICONWARNING);
    return;
  }
  m_mainMovie = chosen;
  ShowFields();
}

void CPackagerDlg::OnAdd() {
  FileDialog dialog(true, nullptr, OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT,
                    m_addAllFiles ? kAllFilesFilter : kSwfOnlyFilter, m_hwnd);
  if (!dialog.run()) {
    // The dialog refuses a selection longer than its buffer and returns as if cancelled;
    // tell the user, who would otherwise see nothing happen.
    if (dialog.bufferTooSmall()) MessageBoxAnsi(LoadText(IDS_ADD_TOO_MANY), MB_OK | MB_ICONWARNING);
    return;
  }
  bool failed = false;
  std::string unreadable;
  std::string refused;  // the files whose names the package holds already, one per line
  // The list draws itself once for the whole selection instead of once per row, which
  // makes adding hundreds of files at once several times faster.
  struct RedrawOff {
    const ListView& list;
    explicit RedrawOff(const ListView& l) : list(l) { list.send(WM_SETREDRAW, FALSE); }
    ~RedrawOff() {
      list.send(WM_SETREDRAW, TRUE);
      list.invalidate();
    }
  };
  {
    const RedrawOff quiet(m_fileList);
    try {
      for (const std::string& path : dialog.paths())
        if (AddListFile(path) == AddResult::NameTaken) refused += (refused.empty() ? "" : "\n") + path;
    } catch (const vx::FileException& e) {
      failed = true;
      unreadable = e.what();
    }
  }
  // Refused names: the rest of the selection was added all the same.
  if (!refused.empty()) MessageBoxAnsi(FormatText(IDS_NAME_TAKEN, refused), MB_OK | MB_ICONWARNING);
  // An SWF movie that cannot be read ends the operation; rows added before it stay.
  if (failed) MessageBoxUtf8(unreadable, MB_OK | MB_ICONEXCLAMATION);
}

CPackagerDlg::AddResult CPackagerDlg::AddListFile(const std::string& path) {
  if (path == m_mainMovie) return AddResult::Skipped;
  const int count = m_fileList.count();
  for (int i = 0; i < count; ++i)
    if (m_fileList.text(i, kColPath) == path) return AddResult::Skipped;
  // Once extracted, a second file of one name replaces the first. The main movie is
  // the one the box shows now (typed or chosen), and counts only where it is packaged.
  const std::string name = FileName(path);
  if (NameTakenInList(path)) return AddResult::NameTaken;
  if (!IsSlideshowSelected()) {
    const std::string mainMovie = item(IDC_MAIN_MOVIE).text();
    if (!mainMovie.empty() && vx::SameEntryName(Utf8(name), Utf8(FileName(mainMovie))))
      return AddResult::NameTaken;
  }

  // The type is the text after the name's last dot, the whole name when it has none: a
  // dot in a folder's name ("john.doe") says nothing about the file.
  const size_t dot = name.find_last_of('.');
  const std::string type = Upper(dot == std::string::npos ? name : name.substr(dot + 1));
  std::string dimension;
  if (type == "SWF") {
    const vx::SwfDimension d = vx::ReadSwfDimension(Utf8(path));  // throws for a file it cannot open
    dimension = std::to_string(d.width) + " * " + std::to_string(d.height);
  }
  const std::string size = vx::FormatFileSize(Utf8(path));

  const int row = m_fileList.insertRow(count, std::to_string(count + 1));
  if (row < 0) return AddResult::Skipped;
  const std::string* texts[] = {&name, &type, &dimension, &size, &path};
  for (int column = kColName; column < kColumnCount; ++column)
    m_fileList.setText(row, column, *texts[column - 1]);
  return AddResult::Added;
}

void CPackagerDlg::Renumber() {
  const int count = m_fileList.count();
  for (int i = 0; i < count; ++i) m_fileList.setText(i, kColNumber, std::to_string(i + 1));
}

void CPackagerDlg::OnRemove() {
  if (m_fileList.count() == 0) return;
  const std::vector<int> selected = m_fileList.selected();
  for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
    if (!m_fileList.deleteRow(*it)) {
      MessageBoxAnsi("Failed to delete it", MB_OK | MB_ICONWARNING);
      return;
    }
  }
  Renumber();
}

void CPackagerDlg::SwapRows(int a, int b) {
  for (int column = kColName; column < kColumnCount; ++column) {
    const std::string textA = m_fileList.text(a, column);
    m_fileList.setText(a, column, m_fileList.text(b, column));
    m_fileList.setText(b, column, textA);
  }
}

void CPackagerDlg::MoveSelectedRow(int step) {
  // The first selected row moves by one; with nothing selected, or at the list's end,
  // nothing moves.
  const std::vector<int> selected = m_fileList.selected();
  if (selected.empty()) return;
  const int row = selected.front(), target = row + step;
  if (target >= 0 && target < m_fileList.count()) SwapRows(row, target);
}

void CPackagerDlg::OnPackageType(bool slideshow) {
  item(IDC_MAIN_MOVIE).enable(!slideshow);
  item(IDC_BROWSE).enable(!slideshow);
  m_buttons[kMoveUp].enable(slideshow);
  m_buttons[kMoveDown].enable(slideshow);
  m_fileList.deleteAll();
  m_addAllFiles = !slideshow;
}

// ---- Building -----------------------------------------------------------------------

vx::BuildRequest CPackagerDlg::TakeSnapshot() const {
  vx::BuildRequest r;
  r.installDir = Utf8(m_installDir);
  r.mainMovie = Utf8(m_mainMovie);
  r.title = Utf8(m_title);
  r.fullScreen = m_fullScreen;
  r.autoInstallFlash = m_autoInstallFlash;
  r.packageType = m_packageType == 1 ? vx::PackageType::Slideshow : vx::PackageType::Resource;
  r.outputPath = Utf8(m_outputPath);
  const int count = m_fileList.count();
  r.rows.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    r.rows.push_back({Utf8(m_fileList.text(i, kColName)), Utf8(m_fileList.text(i, kColPath))});
  return r;
}

void CPackagerDlg::OnOK() {
  if (IsBuilding()) return;  // Enter while a build runs
  TakeFields();              // goes on even when a length check failed
  if (m_packageType == 1) {
    m_mainMovie.clear();  // the edit box keeps its text
  } else if (m_mainMovie.empty()) {
    const std::string text = LoadText(IDS_MAIN_MOVIE_MISSING);
    const std::string caption = LoadText(IDS_MAIN_MOVIE_REQUIRED);
    ::MessageBoxA(m_hwnd, text.c_str(), caption.c_str(), MB_OK);
    return;
  } else if (NameTakenInList(m_mainMovie)) {
    // A main movie typed into the box after the rows were added.
    MessageBoxAnsi(FormatText(IDS_MAIN_NAME_TAKEN, m_mainMovie), MB_OK | MB_ICONWARNING);
    return;
  }
  FileDialog dialog(false, "exe", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kPackageFilter, m_hwnd);
  if (!dialog.run()) return;
  m_outputPath = dialog.paths().front();

  // The worker packages this snapshot and never touches the controls.
  auto job = std::make_shared<BuildJob>();
  job->request = TakeSnapshot();
  job->window = m_hwnd;
  m_build = job;
  item(IDOK).enable(false);
  ::SetTimer(m_hwnd, kBuildWatchTimer, kBuildWatchPeriodMs, nullptr);
  try {
    std::thread(RunBuildJob, job).detach();
  } catch (const std::system_error&) {
    job->outcome.message = "The package could not be built: no worker thread could be started";
    job->finished = true;
    OnBuildFinished();
  }
}

namespace build_thread_testing {
void (*atStart)() = nullptr;
}

int RunBuildJob(std::shared_ptr<CPackagerDlg::BuildJob> job) {
  const HWND window = job->window;
  // Whatever happens here, the build ends: the window waits for the finished mark
  // before it lets the user build again or close it.
  try {
    if (build_thread_testing::atStart) build_thread_testing::atStart();
    job->outcome = vx::BuildPackage(job->request, [window](size_t index, size_t count, const std::string&) {
      ::PostMessageA(window, WM_VX_BUILD_PROGRESS, index, static_cast<LPARAM>(count));
    });
  } catch (...) {
    job->outcome.succeeded = false;
    try {
      job->outcome.message = "The package could not be built";
      job->outcome.detail = CurrentExceptionText();
    } catch (...) {
      // No memory even for the text: the window shows what it can.
    }
  }
  const bool succeeded = job->outcome.succeeded;
  job->finished.store(true, std::memory_order_release);
  // A window that has gone meanwhile gets nothing; the job goes with the last owner.
  // Should the post be lost, the window's watch timer finds the mark.
  ::PostMessageA(window, WM_VX_BUILD_FINISHED, 0, 0);
  return succeeded ? 1 : -1;
}

std::string BuildProgressText(const std::string& progressFormat, const std::string& finishingText,
                              size_t index, size_t count) {
  if (count == 0 || index >= count) return finishingText;
  char text[256];
  std::snprintf(text, sizeof(text), progressFormat.c_str(), static_cast<int>(index * 100 / count));
  return text;
}

void CPackagerDlg::OnBuildProgress(size_t index, size_t count) {
  if (!IsBuilding()) return;
  item(IDC_ADD_HINT)
      .setText(BuildProgressText(LoadText(IDS_BUILD_PROGRESS), LoadText(IDS_BUILD_FINISHING), index, count));
}

void CPackagerDlg::OnBuildFinished() {
  if (!m_build || !m_build->finished.load(std::memory_order_acquire)) return;
  const std::shared_ptr<BuildJob> job = std::move(m_build);
  ::KillTimer(m_hwnd, kBuildWatchTimer);
  item(IDOK).enable(true);
  item(IDC_ADD_HINT).setText(LoadText(IDS_ADD_HINT));

  const vx::BuildOutcome& outcome = job->outcome;
  if (!outcome.succeeded) {
    // The failure's own text on the first line, the file and the system's reason below.
    MessageBoxUtf8(outcome.messageText(), MB_OK | MB_ICONWARNING);
    return;
  }
  const std::string text = vx::FormatResultText(LoadText(IDS_PACKAGE_CREATED), outcome.sizeText);
  const std::string output = vx::win::Utf8ToAnsi(job->request.outputPath);
  switch (MessageBoxAnsi(text, MB_YESNOCANCEL | MB_ICONINFORMATION)) {
    case IDYES: ::ShellExecuteA(nullptr, "open", output.c_str(), nullptr, "", SW_SHOW); break;
    case IDNO: {
      const std::string command = "Explorer \"" + output + "\",/select";
      ::WinExec(command.c_str(), SW_SHOW);
      break;
    }
    default: break;
  }
}

void CPackagerDlg::OnCancel() {
  // The window holds the build's notifications; it stays until the build has ended.
  if (IsBuilding()) {
    MessageBoxAnsi(LoadText(IDS_BUILD_BUSY), MB_OK | MB_ICONINFORMATION);
    return;
  }
  endDialog(IDCANCEL);
}
