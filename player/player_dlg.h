// CPlayerDlg: Orrinet's one window. Reads the playback settings from package.ini,
// sizes itself to the movie (or the screen), hosts the Shockwave Flash control over
// its whole client area and plays the main movie or the slideshow.
#pragma once
#include <string>

#include "framework/dialog.h"
#include "player/playback_rules.h"
#include "player/shockwave_flash.h"

class CPlayerApp;

class CPlayerDlg : public CDialog {
 public:
  static constexpr UINT kFlashControlId = 555;
  static constexpr UINT_PTR kSlideshowTimerId = 110;
  static constexpr UINT kSlideshowPeriod = 100;  // ms

  explicit CPlayerDlg(CWnd* pParent = nullptr);

  BOOL OnInitDialog() override;
  BOOL PreTranslateMessage(MSG* pMsg) override;

 protected:
  void OnPaint() override;
  HCURSOR OnQueryDragIcon() override;
  void OnTimer(UINT_PTR nIdEvent) override;
  BOOL OnControlEvent(UINT nCtrlId, DISPID dispId, DISPPARAMS* pParams) override;
  void OnFSCommand(const std::string& command, const std::string& args);

 private:
  // Shows `text` and ends the window (the movie cannot be played).
  void Fail(const std::string& text);
  void AdvanceSlide();

  CPlayerApp* m_pApp;
  int m_nScreenWidth = 0;
  int m_nScreenHeight = 0;
  bool m_bFullScreen = false;
  int m_nSlideCount = 0;
  int m_nCurrentSlide = 0;
  CShockwaveFlash m_flash;
  std::string m_strTempFolder;
  UINT_PTR m_nTimerId = 0;
  bool m_bAdvancing = false;  // an advance is running (see OnTimer)
  HICON m_hIcon;
};
