// The ActiveX control container: hosts controls created with CWnd::CreateControl.
//
// A COleControlSite is the host's side of one control: the client site, the in-place
// site (with its windowless and extended forms, whose CanWindowlessActivate declines,
// so the control keeps a window of its own) and frame the control talks to, and the
// sink that receives the control's events and hands them to the parent window's
// OnControlEvent. It follows the standard OLE control protocol (SetClientSite,
// IPersistStreamInit::InitNew, DoVerb in-place, SetObjectRects on every move, Advise
// on the events connection point), so it hosts any windowed control. The in-place
// active object that a control hands to its frame (SetActiveObject) is kept and
// offered every keyboard message meant for the control before the parent dialog's own
// keyboard handling (COleControlContainer::PreTranslateMessage). A
// COleControlContainer collects the sites of one parent window and closes them when
// that window is destroyed.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <string>
#include <vector>

#include "common/win32_handles.h"
#include "framework/wnd.h"

// A failed IDispatch call on a hosted control.
class COleDispatchException : public CFrameworkException {
 public:
  COleDispatchException(const std::string& message, HRESULT hr, DISPID dispId)
      : CFrameworkException(message, hr), m_dispId(dispId) {}
  DISPID dispId() const { return m_dispId; }

 private:
  DISPID m_dispId;
};

class COleControlSite {
 public:
  COleControlSite(COleControlContainer* pContainer, CWnd* pWndCtrl, UINT nId);
  ~COleControlSite();
  COleControlSite(const COleControlSite&) = delete;
  COleControlSite& operator=(const COleControlSite&) = delete;

  // Creates and in-place activates the control, from `pFactory` when given, else by
  // class through COM; names its window `windowName` (when not null). FALSE (and
  // nothing left) on failure.
  BOOL CreateControl(REFCLSID clsid, const char* windowName, DWORD dwStyle, const RECT& rect,
                     const IID* eventsIid, IClassFactory* pFactory = nullptr);
  // Deactivates and closes the control, detaches its window wrapper.
  void Close();

  // Moves the control to `rect` in its parent's client area (SetObjectRects).
  void SetObjectRects(const RECT& rect);
  const RECT& rect() const { return m_rect; }
  IOleObject* object() const { return m_pObject.get(); }
  HWND parentWindow() const;
  // True between the control's OnInPlaceActivate and OnInPlaceDeactivate.
  bool inPlaceActive() const { return m_bInPlaceActive; }
  // The events interface advised on, IID_NULL when the control's events are not sunk.
  const IID& eventsIid() const { return m_eventsIid; }
  // Offers a keyboard message meant for the control's window (or a window inside it)
  // to the active object's TranslateAccelerator; TRUE when the control took it.
  BOOL TranslateKeyboardMessage(MSG* pMsg);

  // Calls IDispatch::Invoke; throws COleDispatchException on failure.
  void Invoke(DISPID dispId, WORD wFlags, VARIANT* args, UINT argCount, VARIANT* result);

 private:
  class Site;  // IOleClientSite, IOleInPlaceSiteWindowless, IOleInPlaceFrame, IOleControlSite, IDispatch
  class Sink;  // the events dispinterface
  friend class Site;
  friend class Sink;

  void FireEvent(DISPID dispId, DISPPARAMS* pParams);
  void ConnectEvents(const IID* eventsIid);
  void SetActiveObject(IOleInPlaceActiveObject* pActiveObject);

  COleControlContainer* m_pContainer;
  CWnd* m_pWndCtrl;
  UINT m_nId;
  RECT m_rect{};
  vx::win::ComPtr<Site> m_pSite;
  vx::win::ComPtr<Sink> m_pSink;
  vx::win::ComPtr<IOleObject> m_pObject;
  vx::win::ComPtr<IOleInPlaceObject> m_pInPlaceObject;
  vx::win::ComPtr<IDispatch> m_pDispatch;
  vx::win::ComPtr<IOleInPlaceActiveObject> m_pActiveObject;
  vx::win::ComPtr<IConnectionPoint> m_pEventsPoint;
  DWORD m_dwEventsCookie = 0;
  IID m_eventsIid = IID_NULL;
  bool m_bInPlaceActive = false;
};

class COleControlContainer {
 public:
  explicit COleControlContainer(CWnd* pWnd) : m_pWnd(pWnd) {}
  ~COleControlContainer();
  CWnd* window() const { return m_pWnd; }
  void Add(COleControlSite* pSite) { m_sites.push_back(pSite); }
  void Remove(COleControlSite* pSite);
  // Closes every control of the window (before the window goes away).
  void CloseAll();
  // Offers a keyboard message to the control it is meant for (see
  // COleControlSite::TranslateKeyboardMessage); TRUE when a control took it.
  BOOL PreTranslateMessage(MSG* pMsg);

 private:
  CWnd* m_pWnd;
  std::vector<COleControlSite*> m_sites;
};
