// CShockwaveFlash: the Shockwave Flash ActiveX control in the player's window, and what
// the player uses of the control's interface.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

#include "player/control_site.h"
#include "player/shockwave_flash_ids.h"

class CShockwaveFlash {
 public:
  // Dispatch ids of the members the player uses.
  static constexpr DISPID kDispFrameNum = 107;         // property get: current frame
  static constexpr DISPID kDispBackgroundColor = 123;  // property put: 0xRRGGBB
  static constexpr DISPID kDispLoadMovie = 142;        // method (layer, path)
  static constexpr DISPID kDispFSCommand = 150;        // event (command, args)
  // FlashVersion's place in IShockwaveFlash's function table (counted from 0, after
  // the seven entries inherited from IDispatch).
  static constexpr int kFlashVersionVtableEntry = 39;

  // Creates the control as child `id` of `parent`, named `name`, at `rect`: by its
  // class from the registry, or with `carriedFactory` from a control loaded without
  // registration (see CCarriedControl). Its FSCommand events go to `onFSCommand`
  // (command, arguments). False when it cannot be created (no control installed).
  bool Create(HWND parent, UINT id, const char* name, const RECT& rect, IClassFactory* carriedFactory,
              std::function<void(const std::string&, const std::string&)> onFSCommand);
  void Close() { m_site.close(); }
  HWND Window() const { return m_site.window(); }
  void Move(const RECT& rect) { m_site.move(rect); }

  // A message of the player's modal loop meant for the control's window (or a window
  // inside it): right clicks are consumed (no context menu); left clicks and Esc go to
  // the parent first and then on. True when consumed.
  bool PreTranslateMessage(MSG& msg);
  // Offers a key message to the control (see ControlSite::translateKey).
  bool TranslateKey(MSG& msg) { return m_site.translateKey(msg); }

  long FrameNum();
  void SetBackgroundColor(long colour);
  void LoadMovie(long layer, const std::string& url);

  // Creates the control's class in-process, asks its version (FlashVersion, called
  // through IShockwaveFlash's function table) and releases it. False when the class
  // cannot be created or does not answer (no control installed).
  static bool ProbeInstalledVersion(long* version);

 private:
  ControlSite m_site;
};
