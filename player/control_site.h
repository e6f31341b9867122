// ControlSite: the player's container for one windowed ActiveX control, the Shockwave
// Flash control (the tests host other controls in it too).
//
// The site is what the control sees of its container: the client site, the in-place
// site in its extended form (IOleInPlaceSiteEx: some controls, Wine's media player
// among them, activate in place only in a container that offers it), the frame (no
// menus, no toolbars), the control site and the ambient properties (user mode). It
// follows the standard protocol: SetClientSite (before or after
// IPersistStreamInit::InitNew, as the control's misc status asks), SetExtent, DoVerb
// to activate in place and show, SetObjectRects on every move, and Advise on the
// events connection point with a sink that hands each event to the owner's handler.
// The in-place active object that the control hands to its frame (SetActiveObject) is
// offered every key message meant for the control (translateKey), before the dialog
// manager sees it.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "common/win32_handles.h"

// A failed IDispatch call on the hosted control.
class DispatchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A VARIANT cleared (its string freed) however its scope ends.
struct OwnedVariant : VARIANT {
  OwnedVariant() { VariantInit(this); }
  ~OwnedVariant() { VariantClear(this); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
};
// An array of them is passed to IDispatch as an array of VARIANTs.
static_assert(sizeof(OwnedVariant) == sizeof(VARIANT));

// Argument `index` (0 = first in declaration order) of an event as UTF-8 text; empty
// when it is missing or not a string.
std::string EventArgString(const DISPPARAMS* params, unsigned index);

class ControlSite {
 public:
  // An event of the control: its dispatch id and its arguments, which IDispatch passes
  // last first (EventArgString reads them in declaration order).
  using EventHandler = std::function<void(DISPID dispId, DISPPARAMS* params)>;

  ControlSite();
  ~ControlSite();  // closes
  ControlSite(const ControlSite&) = delete;
  ControlSite& operator=(const ControlSite&) = delete;

  // Creates the control of class `clsid` (from `factory` when given: a control loaded
  // without registration; else by COM from the registry) as the visible child window
  // `id` named `name` of `parent`, at `rect` in the parent's client area, and activates
  // it in place. `eventsIid` names the control's events dispinterface; when null it is
  // taken from the control's class information or its first connection point. An
  // exception out of `onEvent` is reported, never passed back into the control. False,
  // and nothing left, when the control cannot be created.
  bool create(HWND parent, UINT id, const char* name, const RECT& rect, REFCLSID clsid,
              IClassFactory* factory, const IID* eventsIid, EventHandler onEvent);
  // Deactivates and closes the control; its window goes with it.
  void close();

  // The control's window; null when there is no control.
  HWND window() const { return m_window; }
  // Moves the control to `rect` in its parent's client area (SetObjectRects).
  void move(const RECT& rect);
  // True between the control's OnInPlaceActivate and OnInPlaceDeactivate.
  bool inPlaceActive() const { return m_inPlaceActive; }
  // The events interface advised on; IID_NULL when the control's events are not sunk.
  const IID& eventsIid() const { return m_eventsIid; }
  // Offers a key message meant for the control's window (or a window inside it) to the
  // active object's TranslateAccelerator; true when the control took it.
  bool translateKey(MSG& msg);
  // IDispatch::Invoke with `count` arguments, last first; throws DispatchError.
  void invoke(DISPID dispId, WORD flags, VARIANT* args, UINT count, VARIANT* result);

 private:
  class Site;  // IOleClientSite, IOleInPlaceSiteEx, IOleInPlaceFrame, IOleControlSite, IDispatch
  class Sink;  // the events dispinterface

  void connectEvents(const IID* eventsIid);
  void fireEvent(DISPID dispId, DISPPARAMS* params);

  HWND m_parent = nullptr;
  HWND m_window = nullptr;
  RECT m_rect{};
  EventHandler m_onEvent;
  vx::win::ComPtr<Site> m_site;
  vx::win::ComPtr<Sink> m_sink;
  vx::win::ComPtr<IOleObject> m_object;
  vx::win::ComPtr<IOleInPlaceObject> m_inPlaceObject;
  vx::win::ComPtr<IDispatch> m_dispatch;
  vx::win::ComPtr<IOleInPlaceActiveObject> m_activeObject;
  vx::win::ComPtr<IConnectionPoint> m_eventsPoint;
  DWORD m_eventsCookie = 0;
  IID m_eventsIid = IID_NULL;
  bool m_inPlaceActive = false;
};
