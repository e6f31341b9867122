#include "player/control_site.h"

#include <olectl.h>

#include <cstdio>
#include <utility>

#include "common/win32_text.h"
#include "framework/app.h"

namespace {

// Pixels to HIMETRIC (0.01 mm) on the screen.
SIZEL PixelsToHimetric(const RECT& r) {
  vx::win::WindowDC screen(nullptr);
  int dpiX = GetDeviceCaps(screen.get(), LOGPIXELSX), dpiY = GetDeviceCaps(screen.get(), LOGPIXELSY);
  if (dpiX <= 0) dpiX = 96;
  if (dpiY <= 0) dpiY = 96;
  return SIZEL{MulDiv(r.right - r.left, 2540, dpiX), MulDiv(r.bottom - r.top, 2540, dpiY)};
}

std::string Utf8FromBstr(const wchar_t* text) {
  return text ? vx::win::Utf8(text, wcslen(text)) : std::string();
}

// Takes over a BSTR that a callee handed out, so that it is freed however the caller's
// scope ends.
vx::win::Bstr TakeBstr(BSTR& text) {
  vx::win::Bstr owner;
  *owner.put() = std::exchange(text, nullptr);
  return owner;
}

// The reference counting that both COM objects of the site share.
template <typename Base>
class RefCounted : public Base {
 public:
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG n = InterlockedDecrement(&m_refs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  // IDispatch without type information.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

 protected:
  virtual ~RefCounted() = default;

 private:
  LONG m_refs = 1;
};

}  // namespace

std::string EventArgString(const DISPPARAMS* params, unsigned index) {
  if (!params || index >= params->cArgs) return {};
  const VARIANT& v = params->rgvarg[params->cArgs - 1 - index];
  if (V_VT(&v) == VT_BSTR) return Utf8FromBstr(V_BSTR(&v));
  if (V_VT(&v) == (VT_BSTR | VT_BYREF) && V_BSTRREF(&v)) return Utf8FromBstr(*V_BSTRREF(&v));
  if (V_VT(&v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(&v) && V_VT(V_VARIANTREF(&v)) == VT_BSTR)
    return Utf8FromBstr(V_BSTR(V_VARIANTREF(&v)));
  return {};
}

// ---------------------------------------------------------------------------------
// The site: what the control sees of its container.

class ControlSite::Site : public RefCounted<IDispatch>,
                          public IOleClientSite,
                          public IOleInPlaceSiteEx,
                          public IOleInPlaceFrame,
                          public IOleControlSite {
 public:
  explicit Site(ControlSite* owner) : m_owner(owner) {}
  void disconnect() { m_owner = nullptr; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite || iid == IID_IOleInPlaceSiteEx)
      *out = static_cast<IOleInPlaceSiteEx*>(this);
    else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
      *out = static_cast<IOleInPlaceFrame*>(this);
    else if (iid == IID_IOleControlSite) *out = static_cast<IOleControlSite*>(this);
    else if (iid == IID_IDispatch) *out = static_cast<IDispatch*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return RefCounted::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return RefCounted::Release(); }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow, shared by the in-place site and the frame: the parent window.
  STDMETHODIMP GetWindow(HWND* hwnd) override {
    if (!hwnd) return E_POINTER;
    *hwnd = m_owner ? m_owner->m_parent : nullptr;
    return *hwnd ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite and IOleInPlaceSiteEx
  STDMETHODIMP CanInPlaceActivate() override { return m_owner ? S_OK : S_FALSE; }
  STDMETHODIMP OnInPlaceActivate() override {
    if (m_owner) m_owner->m_inPlaceActive = true;
    return S_OK;
  }
  STDMETHODIMP OnInPlaceActivateEx(BOOL* noRedraw, DWORD) override {
    if (noRedraw) *noRedraw = FALSE;
    return OnInPlaceActivate();
  }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP RequestUIActivate() override { return m_owner ? S_OK : S_FALSE; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    if (frame) {
      *frame = static_cast<IOleInPlaceFrame*>(this);
      AddRef();
    }
    if (document) *document = nullptr;
    const RECT r = m_owner ? m_owner->m_rect : RECT{};
    if (position) *position = r;
    if (clip) *clip = r;
    if (info) {
      const HWND parent = m_owner ? m_owner->m_parent : nullptr;
      info->fMDIApp = FALSE;
      info->hwndFrame = parent ? GetAncestor(parent, GA_ROOT) : nullptr;
      info->haccel = nullptr;
      info->cAccelEntries = 0;
    }
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override {
    if (m_owner) m_owner->m_inPlaceActive = false;
    return S_OK;
  }
  STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override { return OnInPlaceDeactivate(); }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT position) override {
    if (m_owner && position) m_owner->move(*position);
    return S_OK;
  }

  // IOleInPlaceUIWindow and IOleInPlaceFrame: no toolbars, no menus.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) override {
    // A reference of its own; the one held before is let go.
    if (m_owner) m_owner->m_activeObject = vx::win::ComPtr<IOleInPlaceActiveObject>(active);
    return S_OK;
  }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IOleControlSite
  STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
  STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
  STDMETHODIMP GetExtendedControl(IDispatch** extended) override {
    if (extended) *extended = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
  STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
  STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

  // IDispatch: the ambient properties. The control runs in user mode.
  STDMETHODIMP Invoke(DISPID dispId, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                      UINT*) override {
    if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
    VariantInit(result);
    switch (dispId) {
      case DISPID_AMBIENT_USERMODE:
      case DISPID_AMBIENT_UIDEAD:
      case DISPID_AMBIENT_SHOWHATCHING:
      case DISPID_AMBIENT_SHOWGRABHANDLES:
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = dispId == DISPID_AMBIENT_USERMODE ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  ControlSite* m_owner;
};

// ---------------------------------------------------------------------------------
// The sink: receives the control's events and hands them to the owner's handler.

class ControlSite::Sink : public RefCounted<IDispatch> {
 public:
  Sink(ControlSite* owner, REFIID eventsIid) : m_owner(owner), m_iid(eventsIid) {}
  void disconnect() { m_owner = nullptr; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != m_iid) return E_NOINTERFACE;
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP Invoke(DISPID dispId, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) override {
    if (result) VariantInit(result);
    if (m_owner) m_owner->fireEvent(dispId, params);
    return S_OK;
  }

 private:
  ControlSite* m_owner;
  IID m_iid;
};

// ---------------------------------------------------------------------------------

ControlSite::ControlSite() = default;
ControlSite::~ControlSite() { close(); }

bool ControlSite::create(HWND parent, UINT id, const char* name, const RECT& rect, REFCLSID clsid,
                         IClassFactory* factory, const IID* eventsIid, EventHandler onEvent) {
  close();
  if (!parent) return false;
  m_parent = parent;
  m_rect = rect;
  m_onEvent = std::move(onEvent);
  const HRESULT created =
      factory ? factory->CreateInstance(nullptr, IID_IOleObject, m_object.put_void())
              : CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, m_object.put_void());
  if (FAILED(created) || !m_object) {
    // A failed call hands out no reference: whatever it left in the pointer is not ours.
    m_object.detach();
    return false;
  }
  m_site = vx::win::ComPtr<Site>::attach(new Site(this));
  IOleClientSite* clientSite = static_cast<IOleClientSite*>(m_site.get());

  DWORD misc = 0;
  m_object->GetMiscStatus(DVASPECT_CONTENT, &misc);
  if (misc & OLEMISC_SETCLIENTSITEFIRST) m_object->SetClientSite(clientSite);
  vx::win::ComPtr<IPersistStreamInit> persist;
  if (SUCCEEDED(m_object.query(IID_IPersistStreamInit, persist)) && persist) persist->InitNew();
  persist.reset();
  if (!(misc & OLEMISC_SETCLIENTSITEFIRST)) m_object->SetClientSite(clientSite);

  SIZEL extent = PixelsToHimetric(rect);
  m_object->SetExtent(DVASPECT_CONTENT, &extent);
  RECT position = m_rect;
  const HRESULT activated =
      m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, parent, &position);
  if (SUCCEEDED(activated)) m_object->DoVerb(OLEIVERB_SHOW, nullptr, clientSite, 0, parent, &position);

  m_object.query(IID_IOleInPlaceObject, m_inPlaceObject);
  HWND window = nullptr;
  if (m_inPlaceObject) m_inPlaceObject->GetWindow(&window);
  if (FAILED(activated) || !window) {
    close();
    return false;
  }
  m_window = window;
  m_inPlaceObject->SetObjectRects(&m_rect, &m_rect);
  m_object.query(IID_IDispatch, m_dispatch);
  SetWindowLongPtrA(window, GWLP_ID, static_cast<LONG_PTR>(id));
  if (name) SetWindowTextA(window, name);
  connectEvents(eventsIid);
  return true;
}

namespace {

// The source interface of a class's default source implementation, from its type
// information.
bool DefaultSourceFromClassInfo(ITypeInfo* classInfo, IID* out) {
  TYPEATTR* attr = nullptr;
  if (FAILED(classInfo->GetTypeAttr(&attr)) || !attr) return false;
  bool found = false;
  for (UINT i = 0; i < attr->cImplTypes && !found; ++i) {
    INT flags = 0;
    constexpr INT kDefaultSource = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
    if (FAILED(classInfo->GetImplTypeFlags(i, &flags)) || (flags & kDefaultSource) != kDefaultSource)
      continue;
    HREFTYPE ref;
    vx::win::ComPtr<ITypeInfo> source;
    if (FAILED(classInfo->GetRefTypeOfImplType(i, &ref)) ||
        FAILED(classInfo->GetRefTypeInfo(ref, source.put())) || !source)
      continue;
    TYPEATTR* sourceAttr = nullptr;
    if (SUCCEEDED(source->GetTypeAttr(&sourceAttr)) && sourceAttr) {
      *out = sourceAttr->guid;
      found = true;
      source->ReleaseTypeAttr(sourceAttr);
    }
  }
  classInfo->ReleaseTypeAttr(attr);
  return found;
}

// The default source interface from the control's class information.
bool DefaultSourceIid(const vx::win::ComPtr<IOleObject>& control, IID* out) {
  vx::win::ComPtr<IProvideClassInfo2> info2;
  if (SUCCEEDED(control.query(IID_IProvideClassInfo2, info2)) && info2 &&
      SUCCEEDED(info2->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, out)))
    return true;
  vx::win::ComPtr<IProvideClassInfo> info;
  if (FAILED(control.query(IID_IProvideClassInfo, info)) || !info) return false;
  vx::win::ComPtr<ITypeInfo> classInfo;
  return SUCCEEDED(info->GetClassInfo(classInfo.put())) && classInfo &&
         DefaultSourceFromClassInfo(classInfo.get(), out);
}

// Without class information: the first connection point that is not the
// property-change notification.
vx::win::ComPtr<IConnectionPoint> FirstEventsPoint(IConnectionPointContainer* points, IID* iid) {
  vx::win::ComPtr<IEnumConnectionPoints> all;
  if (FAILED(points->EnumConnectionPoints(all.put())) || !all) return {};
  vx::win::ComPtr<IConnectionPoint> point;
  while (all->Next(1, point.put(), nullptr) == S_OK) {
    IID pointIid;
    if (SUCCEEDED(point->GetConnectionInterface(&pointIid)) && pointIid != IID_IPropertyNotifySink) {
      *iid = pointIid;
      return point;
    }
  }
  return {};
}

}  // namespace

void ControlSite::connectEvents(const IID* eventsIid) {
  vx::win::ComPtr<IConnectionPointContainer> points;
  if (FAILED(m_object.query(IID_IConnectionPointContainer, points)) || !points) return;
  IID iid = IID_NULL;
  vx::win::ComPtr<IConnectionPoint> point;
  if (eventsIid) iid = *eventsIid;
  else if (!DefaultSourceIid(m_object, &iid)) point = FirstEventsPoint(points.get(), &iid);
  if (!point && iid != IID_NULL) points->FindConnectionPoint(iid, point.put());
  if (!point) return;
  auto sink = vx::win::ComPtr<Sink>::attach(new Sink(this, iid));
  if (FAILED(point->Advise(static_cast<IDispatch*>(sink.get()), &m_eventsCookie))) {
    sink->disconnect();
    return;
  }
  m_sink = std::move(sink);
  m_eventsPoint = std::move(point);
  m_eventsIid = iid;
}

void ControlSite::fireEvent(DISPID dispId, DISPPARAMS* params) {
  // Exceptions must not travel back into the control.
  try {
    if (m_onEvent) m_onEvent(dispId, params);
  } catch (...) {
    vx::win::ReportCurrentException();
  }
}

bool ControlSite::translateKey(MSG& msg) {
  if (!m_activeObject || !m_window || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
  if (msg.hwnd != m_window && !IsChild(m_window, msg.hwnd)) return false;
  // Keeps the object alive while it works: it may deactivate itself on the way.
  const vx::win::ComPtr<IOleInPlaceActiveObject> active = m_activeObject;
  return active->TranslateAccelerator(&msg) == S_OK;
}

void ControlSite::move(const RECT& rect) {
  m_rect = rect;
  if (m_object) {
    SIZEL extent = PixelsToHimetric(rect);
    m_object->SetExtent(DVASPECT_CONTENT, &extent);
  }
  if (m_inPlaceObject) m_inPlaceObject->SetObjectRects(&m_rect, &m_rect);
}

void ControlSite::invoke(DISPID dispId, WORD flags, VARIANT* args, UINT count, VARIANT* result) {
  if (!m_dispatch) throw DispatchError("The control has no dispatch interface.");
  DISPPARAMS params{args, nullptr, count, 0};
  DISPID named = DISPID_PROPERTYPUT;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  EXCEPINFO failure{};
  UINT badArgument = 0;
  HRESULT hr = m_dispatch->Invoke(dispId, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &failure,
                                  &badArgument);
  if (SUCCEEDED(hr)) return;
  if (hr == DISP_E_EXCEPTION && failure.pfnDeferredFillIn) failure.pfnDeferredFillIn(&failure);
  // The texts the control handed over are ours to free, also when the message below
  // cannot be made.
  const vx::win::Bstr source = TakeBstr(failure.bstrSource);
  const vx::win::Bstr description = TakeBstr(failure.bstrDescription);
  const vx::win::Bstr helpFile = TakeBstr(failure.bstrHelpFile);
  std::string message;
  if (hr == DISP_E_EXCEPTION) {
    message = Utf8FromBstr(description.get());
    if (failure.scode) hr = failure.scode;
  }
  if (message.empty()) {
    char text[96];
    std::snprintf(text, sizeof(text), "The control's member %ld failed (error 0x%08lX).",
                  static_cast<long>(dispId), static_cast<unsigned long>(hr));
    message = text;
  }
  throw DispatchError(message);
}

void ControlSite::close() {
  if (m_eventsPoint) {
    m_eventsPoint->Unadvise(m_eventsCookie);
    m_eventsPoint.reset();
  }
  if (m_sink) {
    m_sink->disconnect();
    m_sink.reset();
  }
  m_eventsIid = IID_NULL;
  m_activeObject.reset();
  if (m_inPlaceObject) {
    if (m_inPlaceActive) m_inPlaceObject->InPlaceDeactivate();
    m_inPlaceObject.reset();
  }
  m_dispatch.reset();
  if (m_object) {
    m_object->Close(OLECLOSE_NOSAVE);
    m_object->SetClientSite(nullptr);
    m_object.reset();
  }
  if (m_site) {
    m_site->disconnect();
    m_site.reset();
  }
  m_window = nullptr;
}
