// CShockwaveFlash: the window wrapper of the Shockwave Flash ActiveX control, and what
// the player uses of the control's interface.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

#include "framework/wnd.h"
#include "player/shockwave_flash_ids.h"

class CShockwaveFlash : public CWnd {
 public:
  // Dispatch ids of the members the player uses.
  static constexpr DISPID kDispFrameNum = 107;         // property get: current frame
  static constexpr DISPID kDispBackgroundColor = 123;  // property put: 0xRRGGBB
  static constexpr DISPID kDispLoadMovie = 142;        // method (layer, path)
  static constexpr DISPID kDispFSCommand = 150;        // event (command, args)
  // FlashVersion's place in IShockwaveFlash's function table (counted from 0, after
  // the seven entries inherited from IDispatch).
  static constexpr int kFlashVersionVtableEntry = 39;

  static const char* GetRunTimeClassName() { return "CShockwaveFlash"; }

  // Creates the control as child nId of pParent, named windowName: by its class from
  // the registry, or with `carriedFactory` from a control loaded without registration
  // (see CCarriedControl). FALSE when it cannot be created (no control installed).
  BOOL Create(const char* windowName, DWORD dwStyle, const RECT& rect, CWnd* pParent, UINT nId,
              IClassFactory* carriedFactory = nullptr);

  // Consumes right clicks (no context menu); sends left clicks and Esc to the parent
  // first, then lets them through.
  BOOL PreTranslateMessage(MSG* pMsg) override;

  long FrameNum();
  void SetBackgroundColor(long colour);
  void LoadMovie(long layer, const char* url);
  // FlashVersion of the hosted control; 0 when it cannot be asked.
  long FlashVersion();

  // Calls FlashVersion through the function table of an IShockwaveFlash pointer.
  // False when the call fails; `instance` must not be null.
  static bool CallFlashVersion(IUnknown* instance, long* version);
  // Creates the control's class in-process, asks its version and releases it. False
  // when the class cannot be created or does not answer (no control installed).
  static bool ProbeInstalledVersion(long* version);
};
