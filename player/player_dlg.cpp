#include "player/player_dlg.h"

#include <cstdio>

#include "common/file_exception.h"
#include "common/package_contract.h"
#include "common/swf_header.h"
#include "common/win32_text.h"
#include "framework/activex.h"
#include "player/player_app.h"
#include "resources/player/resource.h"

namespace {

// The slideshow's counters live as long as the process (there is one window).
vx::SlideshowWatch g_slideshowWatch;

constexpr DWORD kSettingsBufferSize = 300;
// Marks "no background colour in the movie's first tag".
constexpr uint32_t kNoColour = 0xFFFFFFFFu;

// A value of the description file, read by the private-profile rules. The UTF-16
// functions read a file in the ANSI code page as before, and one written as UTF-16
// (a main movie named beyond ASCII) with every character intact.
std::string ReadSetting(const std::string& file, const char* key, const char* fallback) {
  wchar_t value[kSettingsBufferSize];
  const DWORD n = GetPrivateProfileStringW(vx::win::Wide(vx::kDescriptionSection).c_str(),
                                           vx::win::Wide(key).c_str(), vx::win::Wide(fallback).c_str(), value,
                                           kSettingsBufferSize, vx::win::Wide(file).c_str());
  return vx::win::Utf8(value, n < kSettingsBufferSize ? n : 0);
}

}  // namespace

CPlayerDlg::CPlayerDlg(CWnd* pParent)
    : CDialog(IDD_ORRINET_DIALOG, pParent),
      m_pApp(static_cast<CPlayerApp*>(AfxGetApp())),
      m_strTempFolder(m_pApp ? m_pApp->m_strTempFolder : std::string()),
      m_hIcon(AfxGetApp()->LoadIcon(IDR_MAINFRAME)) {}

void CPlayerDlg::Fail(const std::string& text) {
  MessageBoxUtf8(text, MB_OK | MB_ICONSTOP);
  EndDialog(IDABORT);
}

BOOL CPlayerDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  // Stored as UTF-16 by the default procedure itself: through the dialog's own (ANSI)
  // procedure, characters beyond the code page would be lost.
  const std::wstring title = vx::win::Wide(m_pApp ? m_pApp->Title() : std::string());
  ::DefWindowProcW(m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title.c_str()));
  ModifyStyle(0, WS_SYSMENU);
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  std::string settings = m_strTempFolder + "\\" + vx::kDescriptionEntryName;
  m_bFullScreen = vx::IsFullScreenValue(ReadSetting(settings, vx::kKeyFullScreen, vx::kValueFalse));
  std::string mainMovie = ReadSetting(settings, vx::kKeyMainMovie, "");
  if (vx::IsSlideshowType(ReadSetting(settings, vx::kKeyType, vx::kTypeResource))) {
    m_pApp->m_bSlideshow = true;
    if (m_pApp->m_slides.empty()) {
      Fail("This slideshow holds no SWF movie, so there is nothing to play.");
      return TRUE;
    }
    mainMovie = m_pApp->m_slides.front();
  }

  m_nScreenWidth = GetSystemMetrics(SM_CXSCREEN);
  m_nScreenHeight = GetSystemMetrics(SM_CYSCREEN);

  std::string moviePath = m_strTempFolder + "\\" + mainMovie;
  vx::SwfDimension size{0, 0};
  try {
    // The player always reads movies in the colour form; the colour is only applied
    // when a slideshow advances.
    uint32_t unusedColour = 0;
    size = vx::ReadSwfDimension(moviePath, unusedColour);
  } catch (const vx::FileException&) {
    Fail("The movie \"" + mainMovie + "\" cannot be opened, so there is nothing to play.");
    return TRUE;
  }

  vx::WindowPlacement place =
      vx::PlaceWindow(m_bFullScreen, m_nScreenWidth, m_nScreenHeight, size.width, size.height);
  SetWindowPos(nullptr, place.left, place.top, place.width, place.height, 0);

  RECT rect{0, 0, place.width, place.height};
  bool created = m_flash.Create("flash", WS_VISIBLE, rect, this, kFlashControlId);
  if (!created) {
    // No control from the registry (none installed, or the carried one not registered
    // yet, or not allowed to be): the control the package carries, if any, is used
    // straight from the run folder.
    if (IClassFactory* carried = m_pApp->CarriedFlashFactory())
      created = m_flash.Create("flash", WS_VISIBLE, rect, this, kFlashControlId, carried);
  }
  if (!created) {
    Fail(
        "The Shockwave Flash player (ActiveX control) is not installed on this computer, "
        "so the movie cannot be played.");
    return TRUE;
  }
  m_flash.ShowWindow(SW_SHOW);
  // The movie has the keyboard from the start (its keys go through the control's
  // window, see CDialog::PreTranslateMessage); the dialog remembers it as its focus
  // control, so it gets the focus back whenever the window is activated again.
  SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_flash.GetSafeHwnd()), TRUE);

  m_nSlideCount = static_cast<int>(m_pApp->m_slides.size());
  if (m_pApp->m_bSlideshow && m_nSlideCount > 0) {
    m_flash.LoadMovie(0, (m_strTempFolder + "\\" + m_pApp->m_slides.front()).c_str());
    m_nTimerId = SetTimer(kSlideshowTimerId, kSlideshowPeriod);
    m_nCurrentSlide = 0;
  } else {
    m_flash.LoadMovie(0, moviePath.c_str());
  }
  // The movie plays: now the left-overs of earlier runs can go, without delaying it.
  m_pApp->SweepLeftOverFolders();
  return FALSE;  // the focus is set: on the movie
}

void CPlayerDlg::OnTimer(UINT_PTR nIdEvent) {
  // A message box shown during an advance (the movie reader's "Failed to locate") runs
  // a message loop of its own, which keeps delivering this timer. Those ticks are
  // dropped: an advance never starts inside another one.
  if (m_bAdvancing) {
    CDialog::OnTimer(nIdEvent);
    return;
  }
  long frame;
  try {
    frame = m_flash.FrameNum();
  } catch (const std::exception&) {
    // A control that cannot tell its frame this tick is asked again on the next one.
    CDialog::OnTimer(nIdEvent);
    return;
  }
  if (g_slideshowWatch.Tick(static_cast<int>(frame))) {
    m_bAdvancing = true;
    try {
      AdvanceSlide();
    } catch (const std::exception&) {
      // A slide that cannot be opened or loaded is skipped; the next advance tries
      // the one after it.
    }
    m_bAdvancing = false;
    g_slideshowWatch.Reset();
  }
  CDialog::OnTimer(nIdEvent);
}

void CPlayerDlg::AdvanceSlide() {
  if (m_nSlideCount <= 0) return;
  if (++m_nCurrentSlide >= m_nSlideCount) m_nCurrentSlide = 0;
  const std::string path = m_strTempFolder + "\\" + m_pApp->m_slides[static_cast<size_t>(m_nCurrentSlide)];
  uint32_t colour = kNoColour;
  vx::SwfDimension size = vx::ReadSwfDimension(path, colour);
  // A movie without a background colour of its own leaves the control's as it is.
  if (colour != kNoColour) m_flash.SetBackgroundColor(static_cast<long>(colour));
  if (!m_bFullScreen) {
    vx::WindowPlacement place =
        vx::PlaceWindow(false, m_nScreenWidth, m_nScreenHeight, size.width, size.height);
    SetWindowPos(nullptr, place.left, place.top, place.width, place.height, 0);
    m_flash.SetWindowPos(nullptr, 0, 0, size.width, size.height, 0);
  }
  m_flash.LoadMovie(0, path.c_str());
  if (m_nSlideCount == 1) KillTimer(m_nTimerId);
}

BOOL CPlayerDlg::OnControlEvent(UINT nCtrlId, DISPID dispId, DISPPARAMS* pParams) {
  if (nCtrlId == kFlashControlId && dispId == CShockwaveFlash::kDispFSCommand) {
    OnFSCommand(EventArgString(pParams, 0), EventArgString(pParams, 1));
    return TRUE;
  }
  return CDialog::OnControlEvent(nCtrlId, dispId, pParams);
}

void CPlayerDlg::OnFSCommand(const std::string& command, const std::string& /*args*/) {
  if (vx::IsQuitCommand(command)) EndDialog(IDOK);
}

BOOL CPlayerDlg::PreTranslateMessage(MSG* pMsg) {
  if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_ESCAPE) {
    EndDialog(IDOK);
    return TRUE;
  }
  return CDialog::PreTranslateMessage(pMsg);
}

void CPlayerDlg::OnPaint() {
  if (!IsIconic()) {
    CDialog::OnPaint();
    return;
  }
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(&client);
  int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(m_hWnd, &ps);
}

HCURSOR CPlayerDlg::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(m_hIcon); }
