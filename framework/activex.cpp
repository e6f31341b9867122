#include "framework/activex.h"

#include <olectl.h>

#include <cstdio>
#include <utility>

#include "common/win32_text.h"
#include "framework/app.h"

namespace {

// Pixels to HIMETRIC (0.01 mm) on the screen.
SIZEL PixelsToHimetric(int cx, int cy) {
  vx::win::WindowDC screen(nullptr);
  int dpiX = GetDeviceCaps(screen.get(), LOGPIXELSX), dpiY = GetDeviceCaps(screen.get(), LOGPIXELSY);
  if (dpiX <= 0) dpiX = 96;
  if (dpiY <= 0) dpiY = 96;
  return SIZEL{MulDiv(cx, 2540, dpiX), MulDiv(cy, 2540, dpiY)};
}

// Takes over a BSTR that a callee handed out, so that it is freed however the caller's
// scope ends.
vx::win::Bstr TakeBstr(BSTR& text) {
  vx::win::Bstr owner;
  *owner.put() = std::exchange(text, nullptr);
  return owner;
}

}  // namespace

// ---------------------------------------------------------------------------------
// The site: what the control sees of its container.

class COleControlSite::Site : public IOleClientSite,
                              public IOleInPlaceSiteWindowless,
                              public IOleInPlaceFrame,
                              public IOleControlSite,
                              public IDispatch {
 public:
  explicit Site(COleControlSite* owner) : m_owner(owner) {}
  void Disconnect() { m_owner = nullptr; }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) *ppv = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite || riid == IID_IOleInPlaceSiteEx ||
             riid == IID_IOleInPlaceSiteWindowless)
      *ppv = static_cast<IOleInPlaceSiteWindowless*>(this);
    else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
      *ppv = static_cast<IOleInPlaceFrame*>(this);
    else if (riid == IID_IOleControlSite) *ppv = static_cast<IOleControlSite*>(this);
    else if (riid == IID_IDispatch) *ppv = static_cast<IDispatch*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&m_refs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** ppmk) override {
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** ppContainer) override {
    if (ppContainer) *ppContainer = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the in-place site and the frame)
  STDMETHODIMP GetWindow(HWND* phwnd) override {
    if (!phwnd) return E_POINTER;
    *phwnd = m_owner ? m_owner->parentWindow() : nullptr;
    return *phwnd ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return m_owner ? S_OK : S_FALSE; }
  STDMETHODIMP OnInPlaceActivate() override {
    if (m_owner) m_owner->m_bInPlaceActive = true;
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO lpFrameInfo) override {
    if (ppFrame) {
      *ppFrame = static_cast<IOleInPlaceFrame*>(this);
      AddRef();
    }
    if (ppDoc) *ppDoc = nullptr;
    RECT r = m_owner ? m_owner->m_rect : RECT{};
    if (lprcPosRect) *lprcPosRect = r;
    if (lprcClipRect) *lprcClipRect = r;
    if (lpFrameInfo) {
      HWND parent = m_owner ? m_owner->parentWindow() : nullptr;
      lpFrameInfo->fMDIApp = FALSE;
      lpFrameInfo->hwndFrame = parent ? GetAncestor(parent, GA_ROOT) : nullptr;
      lpFrameInfo->haccel = nullptr;
      lpFrameInfo->cAccelEntries = 0;
    }
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override {
    if (m_owner) m_owner->m_bInPlaceActive = false;
    return S_OK;
  }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT lprcPosRect) override {
    if (m_owner && lprcPosRect) m_owner->SetObjectRects(*lprcPosRect);
    return S_OK;
  }

  // IOleInPlaceSiteEx. Controls that look for it (or for the windowless site) activate
  // only in a container that offers it.
  STDMETHODIMP OnInPlaceActivateEx(BOOL* pfNoRedraw, DWORD) override {
    if (pfNoRedraw) *pfNoRedraw = FALSE;
    return OnInPlaceActivate();
  }
  STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override { return OnInPlaceDeactivate(); }
  STDMETHODIMP RequestUIActivate() override { return m_owner ? S_OK : S_FALSE; }

  // IOleInPlaceSiteWindowless: every control here keeps a window of its own, so the
  // services of a windowless control's site are never used.
  STDMETHODIMP CanWindowlessActivate() override { return S_FALSE; }
  STDMETHODIMP GetCapture() override { return S_FALSE; }
  STDMETHODIMP SetCapture(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetFocus() override { return S_FALSE; }
  STDMETHODIMP SetFocus(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetDC(LPCRECT, DWORD, HDC* phDC) override {
    if (phDC) *phDC = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP ReleaseDC(HDC) override { return E_NOTIMPL; }
  STDMETHODIMP InvalidateRect(LPCRECT, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InvalidateRgn(HRGN, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
  STDMETHODIMP AdjustRect(LPRECT) override { return E_NOTIMPL; }
  STDMETHODIMP OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT* plResult) override {
    if (plResult) *plResult = 0;
    return S_FALSE;
  }

  // IOleInPlaceUIWindow / IOleInPlaceFrame: no toolbars, no menus.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) override {
    if (m_owner) m_owner->SetActiveObject(pActiveObject);
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
  STDMETHODIMP GetExtendedControl(IDispatch** ppDisp) override {
    if (ppDisp) *ppDisp = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
  STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
  STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

  // IDispatch: the ambient properties. The control runs in user mode.
  STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
    if (pctinfo) *pctinfo = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo) *ppTInfo = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS*, VARIANT* pVarResult,
                      EXCEPINFO*, UINT*) override {
    if (!(wFlags & DISPATCH_PROPERTYGET) || !pVarResult) return DISP_E_MEMBERNOTFOUND;
    VariantInit(pVarResult);
    switch (dispIdMember) {
      case DISPID_AMBIENT_USERMODE:
        V_VT(pVarResult) = VT_BOOL;
        V_BOOL(pVarResult) = VARIANT_TRUE;
        return S_OK;
      case DISPID_AMBIENT_UIDEAD:
      case DISPID_AMBIENT_SHOWHATCHING:
      case DISPID_AMBIENT_SHOWGRABHANDLES:
        V_VT(pVarResult) = VT_BOOL;
        V_BOOL(pVarResult) = VARIANT_FALSE;
        return S_OK;
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  virtual ~Site() = default;
  COleControlSite* m_owner;
  LONG m_refs = 1;
};

// ---------------------------------------------------------------------------------
// The sink: receives the control's events and passes them to the parent window.

class COleControlSite::Sink : public IDispatch {
 public:
  Sink(COleControlSite* owner, REFIID eventsIid) : m_owner(owner), m_iid(eventsIid) {}
  void Disconnect() { m_owner = nullptr; }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == m_iid) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&m_refs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
    if (pctinfo) *pctinfo = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo) *ppTInfo = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                      EXCEPINFO*, UINT*) override {
    if (pVarResult) VariantInit(pVarResult);
    if (m_owner) m_owner->FireEvent(dispIdMember, pDispParams);
    return S_OK;
  }

 private:
  virtual ~Sink() = default;
  COleControlSite* m_owner;
  IID m_iid;
  LONG m_refs = 1;
};

// ---------------------------------------------------------------------------------

COleControlSite::COleControlSite(COleControlContainer* pContainer, CWnd* pWndCtrl, UINT nId)
    : m_pContainer(pContainer), m_pWndCtrl(pWndCtrl), m_nId(nId) {}

COleControlSite::~COleControlSite() { Close(); }

HWND COleControlSite::parentWindow() const {
  return m_pContainer && m_pContainer->window() ? m_pContainer->window()->GetSafeHwnd() : nullptr;
}

BOOL COleControlSite::CreateControl(REFCLSID clsid, const char* windowName, DWORD dwStyle, const RECT& rect,
                                    const IID* eventsIid, IClassFactory* pFactory) {
  HWND parent = parentWindow();
  if (!parent) return FALSE;
  m_rect = rect;
  HRESULT hr =
      pFactory ? pFactory->CreateInstance(nullptr, IID_IOleObject, m_pObject.put_void())
               : CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, m_pObject.put_void());
  if (FAILED(hr) || !m_pObject) {
    // A failed call hands out no reference: whatever it left in the pointer is not ours.
    m_pObject.detach();
    return FALSE;
  }
  m_pSite = vx::win::ComPtr<Site>::attach(new Site(this));
  IOleClientSite* clientSite = static_cast<IOleClientSite*>(m_pSite.get());

  DWORD misc = 0;
  m_pObject->GetMiscStatus(DVASPECT_CONTENT, &misc);
  if (misc & OLEMISC_SETCLIENTSITEFIRST) m_pObject->SetClientSite(clientSite);
  vx::win::ComPtr<IPersistStreamInit> persist;
  if (SUCCEEDED(m_pObject.query(IID_IPersistStreamInit, persist)) && persist) persist->InitNew();
  persist.reset();
  if (!(misc & OLEMISC_SETCLIENTSITEFIRST)) m_pObject->SetClientSite(clientSite);

  SIZEL extent = PixelsToHimetric(rect.right - rect.left, rect.bottom - rect.top);
  m_pObject->SetExtent(DVASPECT_CONTENT, &extent);

  RECT pos = m_rect;
  hr = m_pObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, parent, &pos);
  if (SUCCEEDED(hr) && (dwStyle & WS_VISIBLE))
    m_pObject->DoVerb(OLEIVERB_SHOW, nullptr, clientSite, 0, parent, &pos);

  m_pObject.query(IID_IOleInPlaceObject, m_pInPlaceObject);
  HWND hWndCtrl = nullptr;
  if (m_pInPlaceObject) m_pInPlaceObject->GetWindow(&hWndCtrl);
  if (FAILED(hr) || !hWndCtrl) {
    Close();
    return FALSE;
  }
  m_pInPlaceObject->SetObjectRects(&m_rect, &m_rect);
  m_pObject.query(IID_IDispatch, m_pDispatch);

  m_pWndCtrl->Attach(hWndCtrl);
  m_pWndCtrl->m_pCtrlSite = this;
  SetWindowLongPtrA(hWndCtrl, GWLP_ID, static_cast<LONG_PTR>(m_nId));
  if (windowName) ::SetWindowTextA(hWndCtrl, windowName);
  ConnectEvents(eventsIid);
  return TRUE;
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
    if (FAILED(classInfo->GetImplTypeFlags(i, &flags))) continue;
    if ((flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) !=
        (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE))
      continue;
    HREFTYPE ref;
    vx::win::ComPtr<ITypeInfo> source;
    if (FAILED(classInfo->GetRefTypeOfImplType(i, &ref)) ||
        FAILED(classInfo->GetRefTypeInfo(ref, source.put())) || !source)
      continue;
    TYPEATTR* sattr = nullptr;
    if (SUCCEEDED(source->GetTypeAttr(&sattr)) && sattr) {
      *out = sattr->guid;
      found = true;
      source->ReleaseTypeAttr(sattr);
    }
  }
  classInfo->ReleaseTypeAttr(attr);
  return found;
}

// The default source interface from the control's class information.
bool DefaultSourceIid(const vx::win::ComPtr<IOleObject>& control, IID* out) {
  vx::win::ComPtr<IProvideClassInfo2> pci2;
  if (SUCCEEDED(control.query(IID_IProvideClassInfo2, pci2)) && pci2 &&
      SUCCEEDED(pci2->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, out)))
    return true;
  vx::win::ComPtr<IProvideClassInfo> pci;
  if (FAILED(control.query(IID_IProvideClassInfo, pci)) || !pci) return false;
  vx::win::ComPtr<ITypeInfo> classInfo;
  return SUCCEEDED(pci->GetClassInfo(classInfo.put())) && classInfo &&
         DefaultSourceFromClassInfo(classInfo.get(), out);
}

// Without class information: the first connection point that is not the
// property-change notification.
vx::win::ComPtr<IConnectionPoint> FirstEventsPoint(IConnectionPointContainer* cpc, IID* iid) {
  vx::win::ComPtr<IEnumConnectionPoints> en;
  if (FAILED(cpc->EnumConnectionPoints(en.put())) || !en) return {};
  vx::win::ComPtr<IConnectionPoint> cp;
  while (en->Next(1, cp.put(), nullptr) == S_OK) {
    IID cpIid;
    if (SUCCEEDED(cp->GetConnectionInterface(&cpIid)) && cpIid != IID_IPropertyNotifySink) {
      *iid = cpIid;
      return cp;
    }
  }
  return {};
}

}  // namespace

void COleControlSite::ConnectEvents(const IID* eventsIid) {
  vx::win::ComPtr<IConnectionPointContainer> cpc;
  if (FAILED(m_pObject.query(IID_IConnectionPointContainer, cpc)) || !cpc) return;
  IID iid = IID_NULL;
  vx::win::ComPtr<IConnectionPoint> point;
  if (eventsIid) iid = *eventsIid;
  else if (!DefaultSourceIid(m_pObject, &iid)) point = FirstEventsPoint(cpc.get(), &iid);
  if (!point && iid != IID_NULL) cpc->FindConnectionPoint(iid, point.put());
  cpc.reset();
  if (!point) return;
  auto sink = vx::win::ComPtr<Sink>::attach(new Sink(this, iid));
  if (FAILED(point->Advise(static_cast<IDispatch*>(sink.get()), &m_dwEventsCookie))) {
    sink->Disconnect();
    return;
  }
  m_pSink = std::move(sink);
  m_pEventsPoint = std::move(point);
  m_eventsIid = iid;
}

void COleControlSite::FireEvent(DISPID dispId, DISPPARAMS* pParams) {
  CWnd* parent = m_pContainer ? m_pContainer->window() : nullptr;
  if (!parent) return;
  // Exceptions must not travel back into the control.
  try {
    parent->OnControlEvent(m_nId, dispId, pParams);
  } catch (const std::exception& e) {
    parent->OnWndProcException(WM_NULL, e);
  } catch (...) {
    parent->OnWndProcException(WM_NULL, CFrameworkException("Unknown error"));
  }
}

void COleControlSite::SetActiveObject(IOleInPlaceActiveObject* pActiveObject) {
  // Takes a reference of its own; the one held before is let go.
  m_pActiveObject = vx::win::ComPtr<IOleInPlaceActiveObject>(pActiveObject);
}

BOOL COleControlSite::TranslateKeyboardMessage(MSG* pMsg) {
  if (!m_pActiveObject || !m_pWndCtrl || !m_pWndCtrl->m_hWnd) return FALSE;
  if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST) return FALSE;
  HWND control = m_pWndCtrl->m_hWnd;
  if (pMsg->hwnd != control && !::IsChild(control, pMsg->hwnd)) return FALSE;
  // Keep the object alive while it works: it may deactivate itself on the way.
  vx::win::ComPtr<IOleInPlaceActiveObject> active = m_pActiveObject;
  return active->TranslateAccelerator(pMsg) == S_OK;
}

void COleControlSite::SetObjectRects(const RECT& rect) {
  m_rect = rect;
  if (m_pObject) {
    SIZEL extent = PixelsToHimetric(rect.right - rect.left, rect.bottom - rect.top);
    m_pObject->SetExtent(DVASPECT_CONTENT, &extent);
  }
  if (m_pInPlaceObject) {
    m_pInPlaceObject->SetObjectRects(&m_rect, &m_rect);
  } else if (m_pWndCtrl && m_pWndCtrl->m_hWnd) {
    ::MoveWindow(m_pWndCtrl->m_hWnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 TRUE);
  }
}

void COleControlSite::Invoke(DISPID dispId, WORD wFlags, VARIANT* args, UINT argCount, VARIANT* result) {
  if (!m_pDispatch)
    throw COleDispatchException("The control has no dispatch interface.", E_NOINTERFACE, dispId);
  DISPPARAMS params{};
  params.rgvarg = args;
  params.cArgs = argCount;
  DISPID named = DISPID_PROPERTYPUT;
  if (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  EXCEPINFO excep{};
  UINT argErr = 0;
  HRESULT hr =
      m_pDispatch->Invoke(dispId, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &params, result, &excep, &argErr);
  if (SUCCEEDED(hr)) return;
  if (hr == DISP_E_EXCEPTION && excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
  // The texts the control handed over are ours to free, also when the message below
  // cannot be made.
  vx::win::Bstr source = TakeBstr(excep.bstrSource);
  vx::win::Bstr description = TakeBstr(excep.bstrDescription);
  vx::win::Bstr helpFile = TakeBstr(excep.bstrHelpFile);
  std::string message;
  if (hr == DISP_E_EXCEPTION) {
    if (description.get()) message = vx::win::Utf8(description.get(), wcslen(description.get()));
    if (excep.scode) hr = excep.scode;
  }
  if (message.empty()) {
    char buf[96];
    std::snprintf(buf, sizeof(buf), "The control's member %ld failed (error 0x%08lX).",
                  static_cast<long>(dispId), static_cast<unsigned long>(hr));
    message = buf;
  }
  throw COleDispatchException(message, hr, dispId);
}

void COleControlSite::Close() {
  if (m_pEventsPoint) {
    m_pEventsPoint->Unadvise(m_dwEventsCookie);
    m_pEventsPoint.reset();
  }
  if (m_pSink) {
    m_pSink->Disconnect();
    m_pSink.reset();
  }
  m_pActiveObject.reset();
  if (m_pInPlaceObject) {
    if (m_bInPlaceActive) m_pInPlaceObject->InPlaceDeactivate();
    m_pInPlaceObject.reset();
  }
  m_pDispatch.reset();
  if (m_pObject) {
    m_pObject->Close(OLECLOSE_NOSAVE);
    m_pObject->SetClientSite(nullptr);
    m_pObject.reset();
  }
  if (m_pSite) {
    m_pSite->Disconnect();
    m_pSite.reset();
  }
  if (m_pWndCtrl) {
    if (m_pWndCtrl->m_pCtrlSite == this) m_pWndCtrl->m_pCtrlSite = nullptr;
    m_pWndCtrl->Detach();
    m_pWndCtrl = nullptr;
  }
  if (m_pContainer) {
    COleControlContainer* c = m_pContainer;
    m_pContainer = nullptr;
    c->Remove(this);
  }
}

// ---------------------------------------------------------------------------------

COleControlContainer::~COleControlContainer() { CloseAll(); }

void COleControlContainer::Remove(COleControlSite* pSite) {
  for (auto it = m_sites.begin(); it != m_sites.end(); ++it) {
    if (*it == pSite) {
      m_sites.erase(it);
      return;
    }
  }
}

BOOL COleControlContainer::PreTranslateMessage(MSG* pMsg) {
  for (COleControlSite* s : m_sites) {
    if (s->TranslateKeyboardMessage(pMsg)) return TRUE;
  }
  return FALSE;
}

void COleControlContainer::CloseAll() {
  std::vector<COleControlSite*> sites;
  sites.swap(m_sites);
  for (COleControlSite* s : sites) delete s;  // closes (Remove finds nothing left)
}

// ---------------------------------------------------------------------------------

BOOL CWnd::CreateControl(REFCLSID clsid, const char* windowName, DWORD dwStyle, const RECT& rect,
                         CWnd* pParent, UINT nId, const IID* eventsIid, IClassFactory* pFactory) {
  if (!pParent || !pParent->m_hWnd || m_hWnd) return FALSE;
  AfxEnableControlContainer();
  if (!pParent->m_pCtrlCont) pParent->m_pCtrlCont = new COleControlContainer(pParent);
  auto* site = new COleControlSite(pParent->m_pCtrlCont, this, nId);
  if (!site->CreateControl(clsid, windowName, dwStyle, rect, eventsIid, pFactory)) {
    delete site;
    return FALSE;
  }
  pParent->m_pCtrlCont->Add(site);
  return TRUE;
}
