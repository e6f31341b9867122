// A minimal ActiveX container for testing the stand-in control: one client site that
// is also the in-place site, the in-place frame and the event sink. It hosts one
// control in a window of the caller and forwards the control's events to a callback.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <string>
#include <vector>

#include "common/win32_handles.h"
#include "player/shockwave_flash_ids.h"

namespace vx::testing {

// One event as the sink received it: DISPID and the arguments in declaration order.
struct ReceivedEvent {
  DISPID dispid = 0;
  std::vector<std::wstring> args;
};

class TestSite final : public IOleClientSite,
                       public IOleInPlaceSite,
                       public IOleInPlaceFrame,
                       public IDispatch {
 public:
  explicit TestSite(HWND window) : m_window(window) {}

  std::function<void(const ReceivedEvent&)> onEvent;
  std::vector<ReceivedEvent> events;
  int uiActivations = 0;
  int inPlaceActivations = 0;
  int inPlaceDeactivations = 0;
  IOleInPlaceActiveObject* activeObject = nullptr;

  // IUnknown: the site lives on the caller's stack; reference counts are not used.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) *out = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
      *out = static_cast<IOleInPlaceFrame*>(this);
    else if (iid == IID_IDispatch || iid == DIID_ShockwaveFlashEvents) *out = static_cast<IDispatch*>(this);
    else return E_NOINTERFACE;
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return S_OK; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow
  STDMETHODIMP GetWindow(HWND* out) override {
    *out = m_window;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override {
    ++inPlaceActivations;
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override {
    ++uiActivations;
    return S_OK;
  }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override {
    *frame = static_cast<IOleInPlaceFrame*>(this);
    *doc = nullptr;
    GetClientRect(m_window, pos);
    *clip = *pos;
    info->fMDIApp = FALSE;
    info->hwndFrame = m_window;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override {
    ++inPlaceDeactivations;
    return S_OK;
  }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow, IOleInPlaceFrame
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
    activeObject = object;
    return S_OK;
  }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDispatch: the event sink.
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    ReceivedEvent e;
    e.dispid = dispid;
    for (UINT i = params ? params->cArgs : 0; i-- > 0;) {
      const VARIANTARG& v = params->rgvarg[i];
      e.args.push_back(v.vt == VT_BSTR && v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal))
                                                    : std::wstring(L"<not a string>"));
    }
    events.push_back(e);
    if (onEvent) onEvent(e);
    return S_OK;
  }

 private:
  HWND m_window;
};

// Advises `sink` on the control's event connection point; returns the cookie or 0.
inline DWORD AdviseEvents(IUnknown* control, IUnknown* sink, vx::win::ComPtr<IConnectionPoint>& point) {
  point.reset();
  vx::win::ComPtr<IConnectionPointContainer> container;
  if (FAILED(control->QueryInterface(IID_IConnectionPointContainer, container.put_void()))) return 0;
  DWORD cookie = 0;
  if (SUCCEEDED(container->FindConnectionPoint(DIID_ShockwaveFlashEvents, point.put())) &&
      FAILED(point->Advise(sink, &cookie)))
    point.reset();
  return cookie;
}

// Calls the function at `index` of an interface's function table that takes one
// pointer argument, as FlashVersion at entry 39 does.
inline HRESULT CallTableEntry(IUnknown* object, int index, long* out) {
  using Entry = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, long*);
  void** table = *reinterpret_cast<void***>(object);
  return reinterpret_cast<Entry>(table[index])(object, out);
}

// Invoke with positional arguments given in declaration order.
inline HRESULT InvokeByDispid(IDispatch* d, DISPID id, WORD flags, std::vector<VARIANT> args,
                              VARIANT* result) {
  std::vector<VARIANTARG> reversed(args.rbegin(), args.rend());
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS p = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()),
                  0};
  if (flags & DISPATCH_PROPERTYPUT) {
    p.rgdispidNamedArgs = &named;
    p.cNamedArgs = 1;
  }
  UINT argErr = 0;
  return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &p, result, nullptr, &argErr);
}

inline VARIANT IntArg(long v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_I4;
  x.lVal = v;
  return x;
}

// A BSTR of UTF-8 text (our strings are UTF-8); the caller frees it with VariantClear.
inline VARIANT StringArg(const std::string& s) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_BSTR;
  int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n - 1 : 0), L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, w.data(), n);
  x.bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  return x;
}

}  // namespace vx::testing
