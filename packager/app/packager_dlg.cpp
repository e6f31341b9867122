#include "packager/app/packager_dlg.h"

#include <shellapi.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "common/entry_name.h"
#include "common/file_exception.h"
#include "common/file_size.h"
#include "common/package_contract.h"
#include "common/swf_header.h"
#include "common/win32_text.h"
#include "framework/app.h"
#include "framework/filedialog.h"
#include "framework/thread.h"
#include "packager/app/packager_app.h"
#include "packager/app/update_check.h"

namespace {

// List columns: number, Name, Type, Dimension, Size, Path.
enum Column { kColNumber = 0, kColName, kColType, kColDimension, kColSize, kColPath, kColumnCount };

constexpr COLORREF kTransparentColour = RGB(255, 0, 255);

const char kMainMovieFilter[] = "Shockwave Flash Format (*.swf)|*.swf|All Files (*.*)|*.*||";
const char kAllFilesFilter[] =
    "All Files (*.*)|*.*|Shockwave Flash Format (*.swf)|*.swf|Picture Files (*.jpg;*.png;*.gif)|"
    "*.*;*.jpg;*.png;*.gif|Extension Markup Language (*.xml)|*.xml|MP3 Format (*.mp3)|*.mp3||";
const char kSwfOnlyFilter[] = "Shockwave Flash Format (*.swf)|*.swf||";
const char kPackageFilter[] = "Executable File Format (*.exe)|*.exe|All Files (*.*)|*.*||";

std::string LoadText(UINT id) { return AfxGetApp()->LoadString(id); }

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string NumberText(int n) { return std::to_string(n); }

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

class CAboutDlg : public CDialog {
 public:
  CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};

}  // namespace

CPackagerDlg::CPackagerDlg(CWnd* pParent) : CDataDialog(IDD_VELLUMIX_DIALOG, pParent) {
  m_strTitle = LoadText(IDS_APP_NAME);
  if (auto* app = static_cast<CPackagerApp*>(AfxGetApp())) m_strInstallDir = app->m_strInstallDir;
  m_hIcon = AfxGetApp()->LoadIcon(IDR_MAINFRAME);
}

CPackagerDlg::~CPackagerDlg() = default;

void CPackagerDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Text(pDX, IDC_MAIN_MOVIE, m_strMainMovie);
  DDV_MaxChars(pDX, m_strMainMovie, static_cast<int>(vx::kMaxMainMovieLength));
  DDX_Text(pDX, IDC_TITLE, m_strTitle);
  DDV_MaxChars(pDX, m_strTitle, static_cast<int>(vx::kMaxTitleLength));
  DDX_Check(pDX, IDC_FULL_SCREEN, m_bFullScreen);
  DDX_Check(pDX, IDC_AUTO_INSTALL_FLASH, m_bAutoInstallFlash);
  DDX_Radio(pDX, IDC_TYPE_RESOURCE, m_nPackageType);
}

void CPackagerDlg::SetCaptionFromStrings(int nCtrlId, UINT nStringId) {
  SetDlgItemText(nCtrlId, LoadText(nStringId).c_str());
}

BOOL CPackagerDlg::OnInitDialog() {
  // The controls this window draws or reads itself.
  m_listFiles.Attach(::GetDlgItem(m_hWnd, IDC_FILE_LIST));
  m_btnAdd.AttachToDlgItem(IDC_ADD, this);
  m_btnRemove.AttachToDlgItem(IDC_REMOVE, this);
  m_btnMoveUp.AttachToDlgItem(IDC_MOVE_UP, this);
  m_btnMoveDown.AttachToDlgItem(IDC_MOVE_DOWN, this);
  m_lblPackageType.AttachToDlgItem(IDC_LABEL_PACKAGE_TYPE, this);
  m_lblMainMovie.AttachToDlgItem(IDC_LABEL_MAIN_MOVIE, this);
  m_lblList.AttachToDlgItem(IDC_LABEL_LIST, this);
  m_lblTitle.AttachToDlgItem(IDC_LABEL_TITLE, this);

  CDataDialog::OnInitDialog();  // shows the fields: "Main SWF + Resources", the title

  const std::string about = LoadText(IDS_ABOUTBOX);
  if (HMENU sysMenu = ::GetSystemMenu(m_hWnd, FALSE); sysMenu && !about.empty()) {
    ::AppendMenuA(sysMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(sysMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
  }

  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  char caption[256];
  std::snprintf(caption, sizeof(caption), "%s %s - ", LoadText(IDS_APP_NAME).c_str(), kCaptionVersion);
  SetWindowText(caption);

  m_listFiles.SetExtendedStyle(LVS_EX_FULLROWSELECT);
  m_listFiles.InsertColumn(kColNumber, "", LVCFMT_LEFT, 20);
  m_listFiles.InsertColumn(kColName, LoadText(IDS_COLUMN_NAME).c_str(), LVCFMT_LEFT, 100);
  m_listFiles.InsertColumn(kColType, LoadText(IDS_COLUMN_TYPE).c_str(), LVCFMT_CENTER, 40);
  m_listFiles.InsertColumn(kColDimension, LoadText(IDS_COLUMN_DIMENSION).c_str(), LVCFMT_CENTER, 70);
  m_listFiles.InsertColumn(kColSize, LoadText(IDS_COLUMN_SIZE).c_str(), LVCFMT_CENTER, 60);
  m_listFiles.InsertColumn(kColPath, LoadText(IDS_COLUMN_PATH).c_str(), LVCFMT_CENTER, 40);

  m_lblMainMovie.SetBold(TRUE);
  m_lblPackageType.SetBold(TRUE);
  m_lblList.SetBold(TRUE);
  m_lblTitle.SetBold(TRUE);

  m_btnAdd.SetImage(IDB_ADD, kTransparentColour);
  m_btnAdd.SetTip(LoadText(IDS_TIP_ADD).c_str());
  m_btnRemove.SetImage(IDB_REMOVE, kTransparentColour);
  m_btnRemove.SetTip(LoadText(IDS_TIP_REMOVE).c_str());
  m_btnMoveUp.SetImage(IDB_MOVE_UP, kTransparentColour);
  m_btnMoveUp.SetTip(LoadText(IDS_TIP_MOVE_UP).c_str());
  m_btnMoveDown.SetImage(IDB_MOVE_DOWN, kTransparentColour);
  m_btnMoveDown.SetTip(LoadText(IDS_TIP_MOVE_DOWN).c_str());

  SetCaptionFromStrings(IDC_LABEL_PACKAGE_TYPE, IDS_PACKAGE_TYPE);
  SetCaptionFromStrings(IDC_LABEL_MAIN_MOVIE, IDS_MAIN_FLASH_MOVIE);
  SetCaptionFromStrings(IDC_TYPE_RESOURCE, IDS_TYPE_RESOURCE);
  SetCaptionFromStrings(IDC_TYPE_SLIDESHOW, IDS_TYPE_SLIDESHOW);
  SetCaptionFromStrings(IDC_BROWSE, IDS_BROWSE);
  SetCaptionFromStrings(IDC_LABEL_LIST, IDS_LIST_HEADING);
  SetCaptionFromStrings(IDC_SETTINGS_GROUP, IDS_SETTINGS);
  SetCaptionFromStrings(IDC_LABEL_TITLE, IDS_TITLE);
  SetCaptionFromStrings(IDC_FULL_SCREEN, IDS_FULL_SCREEN);
  SetCaptionFromStrings(IDC_AUTO_INSTALL_FLASH, IDS_AUTO_INSTALL_FLASH);
  SetCaptionFromStrings(IDOK, IDS_PACKAGE_IT);
  SetCaptionFromStrings(IDCANCEL, IDS_CLOSE);
  SetCaptionFromStrings(IDC_ADD_HINT, IDS_ADD_HINT);

  AfxBeginThread(UpdateCheckThread, nullptr);
  return TRUE;
}

BOOL CPackagerDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (HIWORD(wParam) == BN_CLICKED) {
    switch (LOWORD(wParam)) {
      case IDC_BROWSE: OnBrowse(); return TRUE;
      case IDC_ADD: OnAdd(); return TRUE;
      case IDC_REMOVE: OnRemove(); return TRUE;
      case IDC_MOVE_UP: OnMoveUp(); return TRUE;
      case IDC_MOVE_DOWN: OnMoveDown(); return TRUE;
      case IDC_TYPE_RESOURCE: OnTypeResource(); return TRUE;
      case IDC_TYPE_SLIDESHOW: OnTypeSlideshow(); return TRUE;
      default: break;
    }
  }
  return CDataDialog::OnCommand(wParam, lParam);
}

void CPackagerDlg::OnSysCommand(UINT nId, LPARAM lParam) {
  if ((nId & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal();
    return;
  }
  CDataDialog::OnSysCommand(nId, lParam);
}

void CPackagerDlg::OnPaint() {
  if (IsIconic()) {
    PAINTSTRUCT ps;
    HDC hdc = ::BeginPaint(m_hWnd, &ps);
    ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    RECT rc;
    GetClientRect(&rc);
    const int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
    ::DrawIcon(hdc, (rc.right - rc.left - cx + 1) / 2, (rc.bottom - rc.top - cy + 1) / 2, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
    return;
  }
  CDataDialog::OnPaint();
}

HCURSOR CPackagerDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

LRESULT CPackagerDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_VX_BUILD_PROGRESS:
      OnBuildProgress(static_cast<size_t>(wParam), static_cast<size_t>(lParam));
      return 0;
    case WM_VX_BUILD_FINISHED: OnBuildFinished(); return 0;
    case WM_TIMER:
      if (wParam != kBuildWatchTimer) break;
      OnBuildFinished();  // does nothing until the worker has marked the build finished
      return 0;
    default: break;
  }
  return CDataDialog::WindowProc(message, wParam, lParam);
}

// ---- The file list ------------------------------------------------------------------

bool CPackagerDlg::IsSlideshowSelected() const {
  return ::IsDlgButtonChecked(m_hWnd, IDC_TYPE_SLIDESHOW) == BST_CHECKED;
}

bool CPackagerDlg::NameTakenInList(const std::string& path) const {
  const std::string name = FileName(path);
  if (vx::SameEntryName(Utf8(name), vx::kDescriptionEntryName)) return true;
  const int count = m_listFiles.GetItemCount();
  for (int i = 0; i < count; ++i)
    if (vx::SameEntryName(Utf8(name), Utf8(m_listFiles.GetItemText(i, kColName)))) return true;
  return false;
}

void CPackagerDlg::OnBrowse() {
  UpdateData(TRUE);
  CFileDialog dlg(TRUE, "swf", nullptr, OFN_HIDEREADONLY, kMainMovieFilter, this);
  if (dlg.DoModal() != IDOK) return;
  const std::string chosen = dlg.GetPathName();
  // The main movie goes into the package beside the rows: its name must be its own.
  if (NameTakenInList(chosen)) {
    AfxMessageBox(FormatText(IDS_MAIN_NAME_TAKEN, chosen).c_str(), MB_OK | MB_ICONWARNING);
    return;
  }
  m_strMainMovie = chosen;
  UpdateData(FALSE);
}

void CPackagerDlg::OnAdd() {
  CFileDialog dlg(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT,
                  m_bAddAllFiles ? kAllFilesFilter : kSwfOnlyFilter, this);
  if (dlg.DoModal() != IDOK) {
    // The dialog refuses a selection longer than its buffer and returns as if cancelled;
    // tell the user, who would otherwise see nothing happen.
    if (dlg.BufferTooSmall()) AfxMessageBox(LoadText(IDS_ADD_TOO_MANY).c_str(), MB_OK | MB_ICONWARNING);
    return;
  }
  // The list draws itself once for the whole selection instead of once per row, which
  // makes adding hundreds of files at once several times faster.
  struct RedrawOff {
    CListCtrl& list;
    explicit RedrawOff(CListCtrl& l) : list(l) { list.SendMessage(WM_SETREDRAW, FALSE); }
    ~RedrawOff() {
      list.SendMessage(WM_SETREDRAW, TRUE);
      list.Invalidate();
    }
  };
  bool failed = false;
  std::string unreadable;
  std::string refused;  // the files whose names the package holds already, one per line
  {
    RedrawOff quiet(m_listFiles);
    try {
      for (POSITION pos = dlg.GetStartPosition(); pos;) {
        const std::string path = dlg.GetNextPathName(pos);
        if (AddListFile(path) == AddResult::NameTaken) refused += (refused.empty() ? "" : "\n") + path;
      }
    } catch (const vx::FileException& e) {
      failed = true;
      unreadable = e.what();
    }
  }
  // Refused names: the rest of the selection was added all the same.
  if (!refused.empty()) AfxMessageBox(FormatText(IDS_NAME_TAKEN, refused).c_str(), MB_OK | MB_ICONWARNING);
  // An SWF movie that cannot be read ends the operation; rows added before it stay.
  if (failed) MessageBoxUtf8(unreadable, MB_OK | MB_ICONEXCLAMATION);
}

CPackagerDlg::AddResult CPackagerDlg::AddListFile(const std::string& path) {
  if (path == m_strMainMovie) return AddResult::Skipped;
  const int count = m_listFiles.GetItemCount();
  for (int i = 0; i < count; ++i)
    if (m_listFiles.GetItemText(i, kColPath) == path) return AddResult::Skipped;
  // Once extracted, a second file of one name replaces the first. The main movie is
  // the one the box shows now (typed or chosen), and counts only where it is packaged.
  const std::string name = FileName(path);
  if (NameTakenInList(path)) return AddResult::NameTaken;
  if (!IsSlideshowSelected()) {
    const std::string mainMovie = GetDlgItemText(IDC_MAIN_MOVIE);
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
    char text[48];
    std::snprintf(text, sizeof(text), "%d * %d", static_cast<int>(d.width), static_cast<int>(d.height));
    dimension = text;
  }
  const std::string size = vx::FormatFileSize(Utf8(path));

  const int row = m_listFiles.InsertItem(count, NumberText(count + 1).c_str());
  if (row < 0) return AddResult::Skipped;
  m_listFiles.SetItemText(row, kColName, name.c_str());
  m_listFiles.SetItemText(row, kColType, type.c_str());
  m_listFiles.SetItemText(row, kColDimension, dimension.c_str());
  m_listFiles.SetItemText(row, kColSize, size.c_str());
  m_listFiles.SetItemText(row, kColPath, path.c_str());
  return AddResult::Added;
}

void CPackagerDlg::Renumber() {
  const int count = m_listFiles.GetItemCount();
  for (int i = 0; i < count; ++i) m_listFiles.SetItemText(i, kColNumber, NumberText(i + 1).c_str());
}

void CPackagerDlg::OnRemove() {
  if (m_listFiles.GetItemCount() == 0) return;
  const std::vector<int> selected = m_listFiles.GetSelectedItems();
  for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
    if (!m_listFiles.DeleteItem(*it)) {
      AfxMessageBox("Failed to delete it", MB_OK | MB_ICONWARNING);
      return;
    }
  }
  Renumber();
}

void CPackagerDlg::SwapRows(int a, int b) {
  for (int col = kColName; col < kColumnCount; ++col) {
    const std::string ta = m_listFiles.GetItemText(a, col);
    const std::string tb = m_listFiles.GetItemText(b, col);
    m_listFiles.SetItemText(a, col, tb.c_str());
    m_listFiles.SetItemText(b, col, ta.c_str());
  }
}

void CPackagerDlg::OnMoveUp() {
  const int r = m_listFiles.GetFirstSelectedItem();
  if (r <= 0) return;
  SwapRows(r, r - 1);
}

void CPackagerDlg::OnMoveDown() {
  // With nothing selected, nothing moves (as for Move up).
  const int r = m_listFiles.GetFirstSelectedItem();
  if (r < 0 || r >= m_listFiles.GetItemCount() - 1) return;
  SwapRows(r, r + 1);
}

void CPackagerDlg::OnTypeResource() {
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_MAIN_MOVIE), TRUE);
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_BROWSE), TRUE);
  m_btnMoveUp.EnableWindow(FALSE);
  m_btnMoveDown.EnableWindow(FALSE);
  m_listFiles.DeleteAllItems();
  m_bAddAllFiles = TRUE;
}

void CPackagerDlg::OnTypeSlideshow() {
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_MAIN_MOVIE), FALSE);
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_BROWSE), FALSE);
  m_btnMoveUp.EnableWindow(TRUE);
  m_btnMoveDown.EnableWindow(TRUE);
  m_listFiles.DeleteAllItems();
  m_bAddAllFiles = FALSE;
}

// ---- Building -----------------------------------------------------------------------

vx::BuildRequest CPackagerDlg::TakeSnapshot() const {
  vx::BuildRequest r;
  r.installDir = Utf8(m_strInstallDir);
  r.mainMovie = Utf8(m_strMainMovie);
  r.title = Utf8(m_strTitle);
  r.fullScreen = m_bFullScreen != FALSE;
  r.autoInstallFlash = m_bAutoInstallFlash != FALSE;
  r.packageType = m_nPackageType == 1 ? vx::PackageType::Slideshow : vx::PackageType::Resource;
  r.outputPath = Utf8(m_strOutputPath);
  const int count = m_listFiles.GetItemCount();
  r.rows.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    r.rows.push_back(
        {Utf8(m_listFiles.GetItemText(i, kColName)), Utf8(m_listFiles.GetItemText(i, kColPath))});
  return r;
}

void CPackagerDlg::OnOK() {
  if (IsBuilding()) return;  // Enter while a build runs
  UpdateData(TRUE);          // goes on even when a length check failed
  if (m_nPackageType == 1) {
    m_strMainMovie.clear();  // the edit box keeps its text
  } else if (m_strMainMovie.empty()) {
    const std::string text = LoadText(IDS_MAIN_MOVIE_MISSING);
    const std::string caption = LoadText(IDS_MAIN_MOVIE_REQUIRED);
    ::MessageBoxA(m_hWnd, text.c_str(), caption.c_str(), MB_OK);
    return;
  } else if (NameTakenInList(m_strMainMovie)) {
    // A main movie typed into the box after the rows were added.
    AfxMessageBox(FormatText(IDS_MAIN_NAME_TAKEN, m_strMainMovie).c_str(), MB_OK | MB_ICONWARNING);
    return;
  }
  CFileDialog dlg(FALSE, "exe", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kPackageFilter, this);
  if (dlg.DoModal() != IDOK) return;
  m_strOutputPath = dlg.GetPathName();

  // The worker packages this snapshot and never touches the controls.
  auto job = std::make_shared<BuildJob>();
  job->request = TakeSnapshot();
  job->hWndNotify = m_hWnd;
  m_pBuild = job;
  ::EnableWindow(::GetDlgItem(m_hWnd, IDOK), FALSE);
  ::SetTimer(m_hWnd, kBuildWatchTimer, kBuildWatchPeriodMs, nullptr);
  auto* share = new std::shared_ptr<BuildJob>(job);
  if (!AfxBeginThread(BuildPackageThread, share)) {
    delete share;
    job->outcome.message = "The package could not be built: no worker thread could be started";
    job->finished = true;
    OnBuildFinished();
  }
}

namespace build_thread_testing {
void (*atStart)() = nullptr;
}

UINT BuildPackageThread(LPVOID pParam) {
  const std::shared_ptr<CPackagerDlg::BuildJob> job = [pParam] {
    std::unique_ptr<std::shared_ptr<CPackagerDlg::BuildJob>> share(
        static_cast<std::shared_ptr<CPackagerDlg::BuildJob>*>(pParam));
    return *share;
  }();
  const HWND hWnd = job->hWndNotify;
  // Whatever happens here, the build ends: the window waits for the finished mark
  // before it lets the user build again or close it.
  try {
    if (build_thread_testing::atStart) build_thread_testing::atStart();
    job->outcome = vx::BuildPackage(job->request, [hWnd](size_t index, size_t count, const std::string&) {
      ::PostMessageA(hWnd, WM_VX_BUILD_PROGRESS, index, static_cast<LPARAM>(count));
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
  ::PostMessageA(hWnd, WM_VX_BUILD_FINISHED, 0, 0);
  return succeeded ? 1 : static_cast<UINT>(-1);
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
  SetDlgItemText(
      IDC_ADD_HINT,
      BuildProgressText(LoadText(IDS_BUILD_PROGRESS), LoadText(IDS_BUILD_FINISHING), index, count).c_str());
}

void CPackagerDlg::OnBuildFinished() {
  if (!m_pBuild || !m_pBuild->finished.load(std::memory_order_acquire)) return;
  const std::shared_ptr<BuildJob> job = std::move(m_pBuild);
  ::KillTimer(m_hWnd, kBuildWatchTimer);
  ::EnableWindow(::GetDlgItem(m_hWnd, IDOK), TRUE);
  SetCaptionFromStrings(IDC_ADD_HINT, IDS_ADD_HINT);

  const vx::BuildOutcome& outcome = job->outcome;
  if (!outcome.succeeded) {
    // The failure's own text on the first line, the file and the system's reason below.
    MessageBoxUtf8(outcome.messageText(), MB_OK | MB_ICONWARNING);
    return;
  }
  const std::string text = vx::FormatResultText(LoadText(IDS_PACKAGE_CREATED), outcome.sizeText);
  const std::string output = vx::win::Utf8ToAnsi(job->request.outputPath);
  switch (AfxMessageBox(text.c_str(), MB_YESNOCANCEL | MB_ICONINFORMATION)) {
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
    AfxMessageBox(LoadText(IDS_BUILD_BUSY).c_str(), MB_OK | MB_ICONINFORMATION);
    return;
  }
  CDataDialog::OnCancel();
}
