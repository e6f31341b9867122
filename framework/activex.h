// The ActiveX control container: hosts controls created with CWnd::CreateControl.
//
// A COleControlSite is the host's side of one control: the client site, the in-place
// site and frame the control talks to, and the sink that receives the control's events
// and hands them to the parent window's OnControlEvent. It follows the standard OLE
// control protocol (SetClientSite, IPersistStreamInit::InitNew, DoVerb in-place,
// SetObjectRects on every move, Advise on the events connection point), so it hosts
// any windowed control. A COleControlContainer collects the sites of one parent window
// and closes them when that window is destroyed.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <string>
#include <vector>

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

  // Creates and in-place activates the control; FALSE (and nothing left) on failure.
  BOOL CreateControl(REFCLSID clsid, DWORD dwStyle, const RECT& rect, const IID* eventsIid);
  // Deactivates and closes the control, detaches its window wrapper.
  void Close();

  // Moves the control to `rect` in its parent's client area (SetObjectRects).
  void SetObjectRects(const RECT& rect);
  const RECT& rect() const { return m_rect; }
  IDispatch* dispatch() const { return m_pDispatch; }
  IOleObject* object() const { return m_pObject; }
  UINT id() const { return m_nId; }
  HWND parentWindow() const;

  // Calls IDispatch::Invoke; throws COleDispatchException on failure.
  void Invoke(DISPID dispId, WORD wFlags, VARIANT* args, UINT argCount, VARIANT* result);

 private:
  class Site;    // IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame, IOleControlSite, IDispatch
  class Sink;    // the events dispinterface
  friend class Site;
  friend class Sink;

  void FireEvent(DISPID dispId, DISPPARAMS* pParams);
  void ConnectEvents(const IID* eventsIid);

  COleControlContainer* m_pContainer;
  CWnd* m_pWndCtrl;
  UINT m_nId;
  RECT m_rect{};
  Site* m_pSite = nullptr;
  Sink* m_pSink = nullptr;
  IOleObject* m_pObject = nullptr;
  IOleInPlaceObject* m_pInPlaceObject = nullptr;
  IDispatch* m_pDispatch = nullptr;
  IConnectionPoint* m_pEventsPoint = nullptr;
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

 private:
  CWnd* m_pWnd;
  std::vector<COleControlSite*> m_sites;
};
