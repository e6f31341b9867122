#include "player/player_dlg.h"

#include <cstdio>

#include "common/file_exception.h"
#include "common/package_contract.h"
#include "common/swf_header.h"
#include "common/win32_text.h"
#include "framework/app.h"
#include "resources/player/resource.h"

namespace {

constexpr DWORD kSettingsBufferSize = 300;

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

CPlayerDlg::CPlayerDlg(const Package& package) : Dialog(IDD_ORRINET_DIALOG), m_package(package) {}

void CPlayerDlg::Fail(const std::string& text) {
  vx::win::MessageBoxUtf8(text, MB_OK | MB_ICONSTOP);
  endDialog(IDABORT);
}

bool CPlayerDlg::OnInitDialog() {
  // Stored as UTF-16 by the default procedure itself: through the dialog's own (ANSI)
  // procedure, characters beyond the code page would be lost.
  const std::wstring title = vx::win::Wide(m_package.title);
  ::DefWindowProcW(m_hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title.c_str()));
  modifyStyle(0, WS_SYSMENU);
  setIcon(vx::win::LoadAppIcon(IDR_MAINFRAME));

  const std::string& folder = m_package.folder;
  const std::string settings = folder + "\\" + vx::kDescriptionEntryName;
  m_fullScreen = vx::IsFullScreenValue(ReadSetting(settings, vx::kKeyFullScreen, vx::kValueFalse));
  std::string mainMovie = ReadSetting(settings, vx::kKeyMainMovie, "");
  if (vx::IsSlideshowType(ReadSetting(settings, vx::kKeyType, vx::kTypeResource))) {
    m_slideshow = true;
    if (m_package.slides.empty()) {
      Fail("This slideshow holds no SWF movie, so there is nothing to play.");
      return true;
    }
    mainMovie = m_package.slides.front();
  }

  m_screenWidth = GetSystemMetrics(SM_CXSCREEN);
  m_screenHeight = GetSystemMetrics(SM_CYSCREEN);

  const std::string moviePath = folder + "\\" + mainMovie;
  vx::SwfDimension size{0, 0};
  try {
    // The player always reads movies in the colour form; the colour is only applied
    // when a slideshow advances.
    uint32_t unusedColour = 0;
    size = vx::ReadSwfDimension(moviePath, unusedColour);
  } catch (const vx::FileException&) {
    Fail("The movie \"" + mainMovie + "\" cannot be opened, so there is nothing to play.");
    return true;
  }

  const vx::WindowPlacement place =
      vx::PlaceWindow(m_fullScreen, m_screenWidth, m_screenHeight, size.width, size.height);
  ::SetWindowPos(m_hwnd, nullptr, place.left, place.top, place.width, place.height, 0);

  const RECT rect{0, 0, place.width, place.height};
  auto onFSCommand = [this](const std::string& command, const std::string& args) {
    OnFSCommand(command, args);
  };
  bool created = m_flash.Create(m_hwnd, kFlashControlId, "flash", rect, nullptr, onFSCommand);
  if (!created) {
    // No control from the registry (none installed, or the carried one not registered
    // yet, or not allowed to be): the control the package carries, if any, is used
    // straight from the run folder.
    if (IClassFactory* carried = m_package.carriedFactory())
      created = m_flash.Create(m_hwnd, kFlashControlId, "flash", rect, carried, onFSCommand);
  }
  if (!created) {
    Fail(
        "The Shockwave Flash player (ActiveX control) is not installed on this computer, "
        "so the movie cannot be played.");
    return true;
  }
  ::ShowWindow(m_flash.Window(), SW_SHOW);
  // The movie has the keyboard from the start (its keys go through PreTranslateMessage
  // to the control); the dialog remembers it as its focus control, so it gets the focus
  // back whenever the window is activated again.
  send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_flash.Window()), TRUE);

  m_slideCount = static_cast<int>(m_package.slides.size());
  if (m_slideshow && m_slideCount > 0) {
    m_flash.LoadMovie(0, folder + "\\" + m_package.slides.front());
    ::SetTimer(m_hwnd, kSlideshowTimerId, kSlideshowPeriod, nullptr);
    m_currentSlide = 0;
  } else {
    m_flash.LoadMovie(0, moviePath);
  }
  // The movie plays: now the left-overs of earlier runs can go, without delaying it.
  m_package.playing();
  return false;  // the focus is set: on the movie
}

void CPlayerDlg::OnTimer(UINT_PTR) {
  // A message box shown during an advance (the movie reader's "Failed to locate") runs
  // a message loop of its own, which keeps delivering this timer. Those ticks are
  // dropped: an advance never starts inside another one.
  if (m_advancing) return;
  long frame;
  try {
    frame = m_flash.FrameNum();
  } catch (const std::exception&) {
    return;  // a control that cannot tell its frame this tick is asked again on the next one
  }
  if (!m_slideshowWatch.Tick(static_cast<int>(frame))) return;
  m_advancing = true;
  try {
    AdvanceSlide();
  } catch (const std::exception&) {
    // A slide that cannot be opened or loaded is skipped; the next advance tries the
    // one after it.
  }
  m_advancing = false;
  m_slideshowWatch.Reset();
}

void CPlayerDlg::AdvanceSlide() {
  if (m_slideCount <= 0) return;
  if (++m_currentSlide >= m_slideCount) m_currentSlide = 0;
  const std::string path = m_package.folder + "\\" + m_package.slides[static_cast<size_t>(m_currentSlide)];
  uint32_t colour = vx::kNoColour;
  const vx::SwfDimension size = vx::ReadSwfDimension(path, colour);
  // A movie without a background colour of its own leaves the control's as it is.
  if (colour != vx::kNoColour) m_flash.SetBackgroundColor(static_cast<long>(colour));
  if (!m_fullScreen) {
    const vx::WindowPlacement place =
        vx::PlaceWindow(false, m_screenWidth, m_screenHeight, size.width, size.height);
    ::SetWindowPos(m_hwnd, nullptr, place.left, place.top, place.width, place.height, 0);
    m_flash.Move(RECT{0, 0, size.width, size.height});
  }
  m_flash.LoadMovie(0, path);
  if (m_slideCount == 1) ::KillTimer(m_hwnd, kSlideshowTimerId);
}

void CPlayerDlg::OnFSCommand(const std::string& command, const std::string& /*args*/) {
  if (vx::IsQuitCommand(command)) endDialog(IDOK);
}

bool CPlayerDlg::OnMessage(UINT message, WPARAM, LPARAM, LRESULT&) {
  // The control goes first, while its parent window still exists.
  if (message == WM_DESTROY) m_flash.Close();
  return false;
}

bool CPlayerDlg::PreTranslateMessage(MSG& msg) {
  if (m_flash.PreTranslateMessage(msg)) return true;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
    endDialog(IDOK);
    return true;
  }
  return m_flash.TranslateKey(msg) || Dialog::PreTranslateMessage(msg);
}
