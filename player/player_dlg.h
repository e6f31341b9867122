// CPlayerDlg: Orrinet's one window. Reads the playback settings from package.ini,
// sizes itself to the movie (or the screen), hosts the Shockwave Flash control over
// its whole client area and plays the main movie or the slideshow.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "player/playback_rules.h"
#include "player/shockwave_flash.h"

class CPlayerDlg : public vx::win::Dialog {
 public:
  static constexpr UINT kFlashControlId = 555;
  static constexpr UINT_PTR kSlideshowTimerId = 110;
  static constexpr UINT kSlideshowPeriod = 100;  // ms

  // What the window plays, as the start-up prepared it.
  struct Package {
    std::string title;                // the window's text (UTF-8)
    std::string folder;               // where the package was extracted (UTF-8)
    std::vector<std::string> slides;  // the extracted SWF movies, in archive order
    // The class factory of the control the package carries, loaded on the first call;
    // null when there is none or it cannot be loaded.
    std::function<IClassFactory*()> carriedFactory;
    // Called once, when the movie plays.
    std::function<void()> playing;
  };

  explicit CPlayerDlg(const Package& package);

 protected:
  bool OnInitDialog() override;
  void OnTimer(UINT_PTR id) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // Esc ends the player; the control sees its clicks and keys first.
  bool PreTranslateMessage(MSG& msg) override;

 private:
  // Shows `text` and ends the window (the movie cannot be played).
  void Fail(const std::string& text);
  void OnFSCommand(const std::string& command, const std::string& args);
  void AdvanceSlide();

  const Package& m_package;
  bool m_slideshow = false;
  int m_screenWidth = 0;
  int m_screenHeight = 0;
  bool m_fullScreen = false;
  int m_slideCount = 0;
  int m_currentSlide = 0;
  CShockwaveFlash m_flash;
  vx::SlideshowWatch m_slideshowWatch;
  bool m_advancing = false;  // an advance is running (see OnTimer)
};
