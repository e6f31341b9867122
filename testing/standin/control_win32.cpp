// The control object: in-place activation through the standard OLE protocol, the
// IShockwaveFlash dual interface (FrameNum, BackgroundColor, LoadMovie through
// IDispatch::Invoke, checked as strictly as a type-library dispatch; FlashVersion
// through the function table), the FSCommand event through one connection point, the
// keyboard of a windowed control that takes every key, and a window that paints what
// is playing.
#include <olectl.h>
#include <ocidl.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "common/win32_handles.h"
#include "testing/standin/standin.h"
#include "testing/standin/swf_movie.h"
#include "testing/standin/timeline.h"

namespace vx::standin {
namespace {

using vx::win::ComPtr;

constexpr char kWindowClass[] = "VxFlashStandin";
constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 50;

uint64_t NowMs() { return GetTickCount64(); }

// The control's texts are UTF-8 (its log among them), so a path's characters are
// logged as they are, whatever the code page.
std::string Narrow(const wchar_t* text, int length) {
  if (!text || length <= 0) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
  return out;
}

std::string FromBstr(BSTR b) { return b ? Narrow(b, static_cast<int>(SysStringLen(b))) : ""; }

vx::win::Bstr ToBstr(const std::string& s) {
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  vx::win::Bstr b(nullptr, static_cast<UINT>(n));
  if (b.get() && n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), b.get(), n);
  return b;
}

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}

std::string BaseName(const std::string& path) {
  size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

LRESULT CALLBACK ControlWndProc(HWND, UINT, WPARAM, LPARAM);

// Argument `index` of rgvarg (the last declared argument is at 0) as a member declared
// with `type` receives it: coerced with VariantChangeType, as the type library's
// Invoke does. The marker of a missing argument (VT_ERROR, DISP_E_PARAMNOTFOUND) and a
// value that does not convert are refused, and *argErr names the argument.
HRESULT TakeArgument(const DISPPARAMS& params, UINT index, VARTYPE type, VARIANT* out, UINT* argErr) {
  VariantInit(out);
  VARIANT* source = &params.rgvarg[index];
  HRESULT hr;
  if (source->vt == VT_ERROR && source->scode == DISP_E_PARAMNOTFOUND) {
    hr = DISP_E_PARAMNOTFOUND;
  } else {
    hr = VariantChangeType(out, source, 0, type);
    if (FAILED(hr) && hr != DISP_E_OVERFLOW) hr = DISP_E_TYPEMISMATCH;
  }
  if (FAILED(hr) && argErr) *argErr = index;
  return hr;
}

bool RegisterWindowClass() {
  WNDCLASSA wc = {};
  if (GetClassInfoA(ModuleInstance(), kWindowClass, &wc)) return true;
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = ControlWndProc;
  wc.hInstance = ModuleInstance();
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kWindowClass;
  return RegisterClassA(&wc) != 0;
}

class FlashControl;

// The one connection point: FSCommand and any other event go to the advised sinks.
class EventPoint : public IConnectionPoint {
 public:
  explicit EventPoint(FlashControl* owner) : m_owner(owner) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetConnectionInterface(IID* iid) override {
    if (!iid) return E_POINTER;
    *iid = DIID_ShockwaveFlashEvents;
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    ComPtr<IDispatch> dispatch;
    if (FAILED(sink->QueryInterface(DIID_ShockwaveFlashEvents, dispatch.put_void())) &&
        FAILED(sink->QueryInterface(IID_IDispatch, dispatch.put_void()))) {
      return CONNECT_E_CANNOTCONNECT;
    }
    *cookie = ++m_lastCookie;
    m_sinks.emplace_back(*cookie, std::move(dispatch));
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
      if (it->first == cookie) {
        ComPtr<IDispatch> sink = std::move(it->second);
        m_sinks.erase(it);  // before the sink goes: its release may call back
        return S_OK;
      }
    }
    return CONNECT_E_NOCONNECTION;
  }
  STDMETHODIMP EnumConnections(IEnumConnections** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

  // Calls Invoke(dispid) on every sink; the arguments go in the order the event
  // declares them (DISPPARAMS gets them reversed).
  void Fire(DISPID dispid, const std::vector<std::string>& args) {
    // A sink may unadvise while an event is delivered: each one called is held.
    std::vector<ComPtr<IDispatch>> sinks;
    for (auto& s : m_sinks) sinks.push_back(s.second);
    std::vector<vx::win::Bstr> texts;
    texts.reserve(args.size());
    std::vector<VARIANTARG> argv(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
      texts.push_back(ToBstr(args[i]));
      VARIANTARG& v = argv[args.size() - 1 - i];
      VariantInit(&v);
      v.vt = VT_BSTR;
      v.bstrVal = texts.back().get();
    }
    for (const ComPtr<IDispatch>& sink : sinks) {
      DISPPARAMS params = {argv.empty() ? nullptr : argv.data(), nullptr, static_cast<UINT>(argv.size()), 0};
      sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                   nullptr);
    }
  }

 private:
  FlashControl* m_owner;
  std::vector<std::pair<DWORD, ComPtr<IDispatch>>> m_sinks;
  DWORD m_lastCookie = 0;
};

class FlashControl final : public IShockwaveFlashTable,
                           public IOleObject,
                           public IOleInPlaceObject,
                           public IOleInPlaceActiveObject,
                           public IViewObject2,
                           public IPersistStreamInit,
                           public IPersistPropertyBag,
                           public IOleControl,
                           public IConnectionPointContainer {
 public:
  FlashControl() : m_events(this) {
    ServerAddRef();
    // A 550 x 400 pixel stage in HIMETRIC until the container sets its own extent.
    m_extent.cx = MulDiv(550, 2540, 96);
    m_extent.cy = MulDiv(400, 2540, 96);
  }
  ~FlashControl() {
    DestroyControlWindow();
    ReleaseSiteInterfaces();
    m_site.reset();
    m_viewSink.reset();
    ServerRelease();
  }

  // ---- IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IShockwaveFlash) {
      *out = static_cast<IShockwaveFlashTable*>(this);
    } else if (iid == IID_IOleObject) {
      *out = static_cast<IOleObject*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject) {
      *out = static_cast<IOleInPlaceObject*>(this);
    } else if (iid == IID_IOleInPlaceActiveObject) {
      *out = static_cast<IOleInPlaceActiveObject*>(this);
    } else if (iid == IID_IViewObject || iid == IID_IViewObject2) {
      *out = static_cast<IViewObject2*>(this);
    } else if (iid == IID_IPersist || iid == IID_IPersistStreamInit) {
      *out = static_cast<IPersistStreamInit*>(this);
    } else if (iid == IID_IPersistPropertyBag) {
      *out = static_cast<IPersistPropertyBag*>(this);
    } else if (iid == IID_IOleControl) {
      *out = static_cast<IOleControl*>(this);
    } else if (iid == IID_IConnectionPointContainer) {
      *out = static_cast<IConnectionPointContainer*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&m_refs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  // ---- IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    static const std::pair<const wchar_t*, DISPID> kNames[] = {
        {L"FrameNum", kDispidFrameNum},
        {L"BackgroundColor", kDispidBackgroundColor},
        {L"LoadMovie", kDispidLoadMovie},
    };
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (count == 0) return S_OK;
    for (auto& n : kNames) {
      if (names[0] && lstrcmpiW(names[0], n.first) == 0) ids[0] = n.second;
    }
    if (ids[0] == DISPID_UNKNOWN || count > 1) hr = DISP_E_UNKNOWNNAME;
    return hr;
  }
  // Checks calls as a control whose dispatch is built from its type library does: a
  // property put carries its value as the one named argument DISPID_PROPERTYPUT, other
  // calls take no named arguments, the count must match, and every argument is
  // coerced to the declared type (TakeArgument).
  STDMETHODIMP Invoke(DISPID dispid, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT* argErr) override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (!params) params = &none;
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    auto checkNamed = [&]() -> HRESULT {
      if (put) {
        if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
            params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
          return DISP_E_PARAMNOTFOUND;
      } else if (params->cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
      }
      return S_OK;
    };
    switch (dispid) {
      case kDispidFrameNum: {
        if (put || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        if (HRESULT hr = checkNamed(); FAILED(hr)) return hr;
        if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
        if (result) {
          VariantInit(result);
          result->vt = VT_I4;
          result->lVal = FrameNum();
        }
        return S_OK;
      }

      case kDispidBackgroundColor: {
        if (HRESULT hr = checkNamed(); FAILED(hr)) return hr;
        if (put) {
          if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
          VARIANT v;
          if (HRESULT hr = TakeArgument(*params, 0, VT_I4, &v, argErr); FAILED(hr)) return hr;
          SetBackgroundColor(v.lVal);
          return S_OK;
        }
        if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
        if (result) {
          VariantInit(result);
          result->vt = VT_I4;
          result->lVal = m_background;
        }
        return S_OK;
      }

      case kDispidLoadMovie: {
        if (put || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        if (HRESULT hr = checkNamed(); FAILED(hr)) return hr;
        if (params->cArgs != 2) return DISP_E_BADPARAMCOUNT;
        VARIANT layer, path;
        if (HRESULT hr = TakeArgument(*params, 1, VT_I4, &layer, argErr); FAILED(hr)) return hr;
        if (HRESULT hr = TakeArgument(*params, 0, VT_BSTR, &path, argErr); FAILED(hr)) return hr;
        LoadMovie(layer.lVal, FromBstr(path.bstrVal));
        VariantClear(&path);
        if (result) VariantInit(result);
        return S_OK;
      }

      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

  // ---- IShockwaveFlash, as far as the stand-in offers it (the table answers the rest)

  STDMETHODIMP FlashVersion(long* version) override {
    if (!version) return E_POINTER;
    *version = static_cast<long>(kDefaultFlashVersion);
    std::string text = Environment("FLASH_STANDIN_VERSION");
    if (!text.empty()) {
      char* end = nullptr;
      unsigned long v = std::strtoul(text.c_str(), &end, 16);
      if (end && *end == '\0') *version = static_cast<long>(v);
    }
    return S_OK;
  }

  // ---- IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override {
    m_site = ComPtr<IOleClientSite>(site);
    return S_OK;
  }
  STDMETHODIMP GetClientSite(IOleClientSite** out) override {
    if (!out) return E_POINTER;
    *out = ComPtr<IOleClientSite>(m_site).detach();  // the caller's own reference
    return S_OK;
  }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD) override {
    InPlaceDeactivate();
    return S_OK;
  }
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT posRect) override {
    switch (verb) {
      case OLEIVERB_PRIMARY:
      case OLEIVERB_SHOW:
      case OLEIVERB_UIACTIVATE: return Activate(true, site, posRect);
      case OLEIVERB_INPLACEACTIVATE: return Activate(false, site, posRect);
      case OLEIVERB_HIDE:
        if (m_hwnd) ShowWindow(m_hwnd, SW_HIDE);
        return S_OK;
      default: return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
    }
  }
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** out) override {
    if (out) *out = nullptr;
    return OLE_S_USEREG;
  }
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID* clsid) override {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_ShockwaveFlash;
    return S_OK;
  }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR* out) override {
    if (out) *out = nullptr;
    return OLE_S_USEREG;
  }
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    m_extent = *size;
    return S_OK;
  }
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = m_extent;
    return S_OK;
  }
  STDMETHODIMP Advise(IAdviseSink*, DWORD* cookie) override {
    if (cookie) *cookie = 0;
    return OLE_E_ADVISENOTSUPPORTED;
  }
  STDMETHODIMP Unadvise(DWORD) override { return OLE_E_NOCONNECTION; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** out) override {
    if (out) *out = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
  }
  STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override {
    if (!status) return E_POINTER;
    *status = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
              OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;
    return S_OK;
  }
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // ---- IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  STDMETHODIMP GetWindow(HWND* out) override {
    if (!out) return E_POINTER;
    *out = m_hwnd;
    return m_hwnd ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override {
    UIDeactivate();
    DestroyControlWindow();
    if (m_inPlaceSite) m_inPlaceSite->OnInPlaceDeactivate();
    ReleaseSiteInterfaces();
    return S_OK;
  }
  STDMETHODIMP UIDeactivate() override {
    if (!m_uiActive) return S_OK;
    m_uiActive = false;
    if (m_uiWindow) m_uiWindow->SetActiveObject(nullptr, nullptr);
    if (m_frame) m_frame->SetActiveObject(nullptr, nullptr);
    if (m_inPlaceSite) m_inPlaceSite->OnUIDeactivate(FALSE);
    return S_OK;
  }
  STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT) override {
    if (!pos) return E_POINTER;
    if (m_hwnd) {
      SetWindowPos(m_hwnd, nullptr, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return S_OK;
  }
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
  // The container offers every keyboard message meant for the control here first. The
  // stand-in logs each key that goes down and leaves the message to the container's
  // normal handling, which gives it to the control's window (the window asks for every
  // key with DLGC_WANTALLKEYS).
  STDMETHODIMP TranslateAccelerator(LPMSG msg) override {
    if (!msg) return E_INVALIDARG;
    if (msg->message == WM_KEYDOWN && m_hwnd && (msg->hwnd == m_hwnd || IsChild(m_hwnd, msg->hwnd)))
      LogEvent(Format("Key 0x%02X", static_cast<unsigned>(msg->wParam & 0xFF)));
    return S_FALSE;
  }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

  // ---- IViewObject2
  STDMETHODIMP Draw(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, HDC hdc, LPCRECTL bounds, LPCRECTL,
                    BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override {
    if (!hdc || !bounds) return E_INVALIDARG;
    RECT r = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    Paint(hdc, r);
    return S_OK;
  }
  STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** out) override {
    if (out) *out = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD* cookie) override {
    if (cookie) *cookie = 0;
    return E_NOTIMPL;
  }
  STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override {
    m_viewSink = ComPtr<IAdviseSink>(sink);
    m_viewAspects = aspects;
    m_viewFlags = flags;
    return S_OK;
  }
  STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override {
    if (aspects) *aspects = m_viewAspects;
    if (flags) *flags = m_viewFlags;
    if (sink) *sink = ComPtr<IAdviseSink>(m_viewSink).detach();  // the caller's own reference
    return S_OK;
  }
  STDMETHODIMP GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) override {
    return GetExtent(aspect, size);
  }

  // ---- IPersistStreamInit, IPersistPropertyBag: the control keeps no state.
  STDMETHODIMP GetClassID(CLSID* clsid) override { return GetUserClassID(clsid); }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(LPSTREAM) override { return S_OK; }
  STDMETHODIMP Save(LPSTREAM, BOOL) override { return S_OK; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override {
    if (!size) return E_POINTER;
    size->QuadPart = 0;
    return S_OK;
  }
  STDMETHODIMP InitNew() override { return S_OK; }
  STDMETHODIMP Load(IPropertyBag*, IErrorLog*) override { return S_OK; }
  STDMETHODIMP Save(IPropertyBag*, BOOL, BOOL) override { return S_OK; }

  // ---- IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override {
    if (!info) return E_POINTER;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
  }
  STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
  STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

  // ---- IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != DIID_ShockwaveFlashEvents) return CONNECT_E_NOCONNECTION;
    *out = &m_events;
    AddRef();
    return S_OK;
  }

  // ---- the window
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_ERASEBKGND: return 1;
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hwnd, &ps);
        RECT r;
        GetClientRect(m_hwnd, &r);
        Paint(dc, r);
        EndPaint(m_hwnd, &ps);
        return 0;
      }
      case WM_TIMER:
        if (wp == kTickTimer) Tick();
        return 0;
      case WM_GETDLGCODE:
        // A movie takes every key, Enter, Tab and the arrows among them.
        return DLGC_WANTALLKEYS;
      case WM_WINDOWPOSCHANGED: {
        LRESULT r = DefWindowProcA(m_hwnd, msg, wp, lp);
        ReportPlacement();
        return r;
      }
      default: return DefWindowProcA(m_hwnd, msg, wp, lp);
    }
  }
  // The window procedure ties the window to its control while the window exists.
  void AttachWindow(HWND h) { m_hwnd = h; }
  void WindowGone() { m_hwnd = nullptr; }

 private:
  HRESULT Activate(bool ui, IOleClientSite* site, LPCRECT posRect) {
    if (!site) site = m_site.get();
    if (!site) return E_UNEXPECTED;
    if (!m_inPlaceSite) {
      ComPtr<IOleInPlaceSite> ips;
      if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, ips.put_void()))) return E_NOINTERFACE;
      if (ips->CanInPlaceActivate() != S_OK) return E_FAIL;
      ips->OnInPlaceActivate();
      m_inPlaceSite = std::move(ips);
    }
    if (!m_hwnd) {
      HWND parent = nullptr;
      if (FAILED(m_inPlaceSite->GetWindow(&parent)) || !parent) return E_FAIL;
      RECT pos = {0, 0, 0, 0}, clip = {0, 0, 0, 0};
      OLEINPLACEFRAMEINFO info = {};
      info.cb = sizeof info;
      m_inPlaceSite->GetWindowContext(m_frame.put(), m_uiWindow.put(), &pos, &clip, &info);
      if (posRect) pos = *posRect;
      if (!RegisterWindowClass()) return E_FAIL;
      CreateWindowExA(0, kWindowClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, pos.left, pos.top,
                      pos.right - pos.left, pos.bottom - pos.top, parent, nullptr, ModuleInstance(), this);
      if (!m_hwnd) return E_FAIL;
      SetTimer(m_hwnd, kTickTimer, kTickMs, nullptr);
      ReportPlacement();
    } else if (posRect) {
      SetObjectRects(posRect, posRect);
    }
    ShowWindow(m_hwnd, SW_SHOW);
    if (ui && !m_uiActive) {
      m_uiActive = true;
      m_inPlaceSite->OnUIActivate();
      if (m_frame) m_frame->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"Shockwave Flash");
      if (m_uiWindow)
        m_uiWindow->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"Shockwave Flash");
      SetFocus(m_hwnd);
    }
    return S_OK;
  }

  void DestroyControlWindow() {
    if (!m_hwnd) return;
    HWND h = m_hwnd;
    KillTimer(h, kTickTimer);
    DestroyWindow(h);  // WM_NCDESTROY clears m_hwnd
    m_hwnd = nullptr;
  }

  void ReleaseSiteInterfaces() {
    m_frame.reset();
    m_uiWindow.reset();
    m_inPlaceSite.reset();
  }

  // Logs the control's rectangle in its parent's client area and the top-level
  // window's screen rectangle, each when it differs from the last one logged.
  void ReportPlacement() {
    if (!m_hwnd) return;
    RECT r;
    GetWindowRect(m_hwnd, &r);
    HWND parent = GetParent(m_hwnd);
    if (parent) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    if (!m_haveRect || !SameRect(r, m_lastRect)) {
      m_haveRect = true;
      m_lastRect = r;
      LogEvent(Format("Rect %ld %ld %ld %ld", r.left, r.top, r.right - r.left, r.bottom - r.top));
    }
    HWND top = GetAncestor(m_hwnd, GA_ROOT);
    if (top) {
      RECT w;
      GetWindowRect(top, &w);
      if (!m_haveWindow || !SameRect(w, m_lastWindow)) {
        m_haveWindow = true;
        m_lastWindow = w;
        LogEvent(Format("Window %ld %ld %ld %ld", w.left, w.top, w.right - w.left, w.bottom - w.top));
      }
    }
  }

  long FrameNum() const {
    if (!m_loaded) return -1;
    return m_timeline.frameAt(NowMs() - m_loadTick);
  }

  void SetBackgroundColor(long color) {
    m_background = color;
    LogEvent(Format("BackgroundColor 0x%06lX", static_cast<unsigned long>(color)));
    if (m_hwnd) InvalidateRect(m_hwnd, nullptr, FALSE);
  }

  void LoadMovie(long layer, const std::string& path) {
    LogEvent(Format("LoadMovie %ld ", layer) + path);
    uint64_t now = NowMs();
    if (!m_anyLoad) {
      m_anyLoad = true;
      m_firstLoadTick = now;
      std::string quit = Environment("FLASH_STANDIN_QUIT_MS");
      if (!quit.empty()) {
        char* end = nullptr;
        long ms = std::strtol(quit.c_str(), &end, 10);
        if (end && *end == '\0' && ms >= 0) m_quitAfterMs = ms;
      }
    }
    if (layer != 0) return;  // only layer 0 replaces what plays
    m_movie = LoadSwfFile(path);
    m_moviePath = path;
    m_timeline = Timeline(m_movie.frameRate, m_movie.frameCount, Environment("FLASH_STANDIN_HOLD") == "1");
    m_loaded = true;
    ++m_loadGeneration;
    m_loadTick = now;
    m_lastPosition = -1;
    m_paintedFrame = -2;
    if (m_hwnd) InvalidateRect(m_hwnd, nullptr, FALSE);
  }

  void FireFSCommand(const std::string& command, const std::string& args) {
    LogEvent("FSCommand " + command + " " + args);
    m_events.Fire(kDispidFSCommand, {command, args});
  }

  // Every 50 ms: follows the window's placement, plays the timeline forward (firing
  // the fscommands of each frame entered) and fires the timed "quit".
  void Tick() {
    ComPtr<FlashControl> self(this);  // a sink may close the control while an event is delivered
    ReportPlacement();
    uint64_t now = NowMs();
    if (m_loaded) {
      int64_t position = m_timeline.positionAt(now - m_loadTick);
      std::vector<int> entered = m_timeline.framesEntered(m_lastPosition, position);
      m_lastPosition = position;
      // A sink may load another movie while an event is delivered: stop then.
      const std::vector<FsCommandAction> actions = m_movie.fsCommands;
      const unsigned generation = m_loadGeneration;
      for (int frame : entered) {
        for (const FsCommandAction& a : actions) {
          if (a.frame == frame && generation == m_loadGeneration) FireFSCommand(a.command, a.args);
        }
      }
      int frame = m_timeline.frameOf(position);
      if (frame != m_paintedFrame && m_hwnd) InvalidateRect(m_hwnd, nullptr, FALSE);
    }
    if (m_quitAfterMs >= 0 && !m_quitFired && now - m_firstLoadTick >= static_cast<uint64_t>(m_quitAfterMs)) {
      m_quitFired = true;
      FireFSCommand("quit", "");
    }
  }

  void Paint(HDC dc, const RECT& r) {
    unsigned long rgb = 0xFFFFFF;
    if (m_background >= 0) rgb = static_cast<unsigned long>(m_background) & 0xFFFFFF;
    else if (m_movie.hasBackground) rgb = m_movie.background;
    COLORREF fill = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    vx::win::GdiObject<HBRUSH> brush(CreateSolidBrush(fill));
    FillRect(dc, &r, brush.get());
    int luminance = static_cast<int>(((rgb >> 16) & 0xFF) * 3 + ((rgb >> 8) & 0xFF) * 6 + (rgb & 0xFF));
    SetTextColor(dc, luminance > 1280 ? RGB(0, 0, 0) : RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    vx::win::SelectedObject font(dc, GetStockObject(DEFAULT_GUI_FONT));
    std::string text;
    if (m_loaded) {
      m_paintedFrame = FrameNum();
      text = BaseName(m_moviePath) + "\nframe " + std::to_string(m_paintedFrame) + " of " +
             std::to_string(m_movie.frameCount);
    } else {
      text = "Shockwave Flash stand-in\nno movie";
    }
    RECT box = r;
    DrawTextA(dc, text.c_str(), -1, &box, DT_CENTER | DT_CALCRECT | DT_NOPREFIX);
    int h = box.bottom - box.top;
    box = r;
    box.top = r.top + (r.bottom - r.top - h) / 2;
    DrawTextA(dc, text.c_str(), -1, &box, DT_CENTER | DT_NOPREFIX);
  }

  LONG m_refs = 1;
  EventPoint m_events;
  ComPtr<IOleClientSite> m_site;
  ComPtr<IOleInPlaceSite> m_inPlaceSite;
  ComPtr<IOleInPlaceFrame> m_frame;
  ComPtr<IOleInPlaceUIWindow> m_uiWindow;
  ComPtr<IAdviseSink> m_viewSink;
  DWORD m_viewAspects = 0, m_viewFlags = 0;
  HWND m_hwnd = nullptr;
  bool m_uiActive = false;
  SIZEL m_extent = {0, 0};

  long m_background = -1;  // -1: none set; the movie's own colour shows
  SwfMovie m_movie;
  std::string m_moviePath;
  Timeline m_timeline;
  bool m_loaded = false;
  uint64_t m_loadTick = 0;
  int64_t m_lastPosition = -1;
  unsigned m_loadGeneration = 0;
  long m_paintedFrame = -2;

  bool m_anyLoad = false;
  uint64_t m_firstLoadTick = 0;
  long m_quitAfterMs = -1;
  bool m_quitFired = false;

  bool m_haveRect = false, m_haveWindow = false;
  RECT m_lastRect = {0, 0, 0, 0}, m_lastWindow = {0, 0, 0, 0};
};

STDMETHODIMP EventPoint::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}
STDMETHODIMP_(ULONG) EventPoint::AddRef() { return m_owner->AddRef(); }
STDMETHODIMP_(ULONG) EventPoint::Release() { return m_owner->Release(); }
STDMETHODIMP EventPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  *out = static_cast<IConnectionPointContainer*>(m_owner);
  m_owner->AddRef();
  return S_OK;
}

LRESULT CALLBACK ControlWndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    auto* control = static_cast<FlashControl*>(cs->lpCreateParams);
    SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
    control->AttachWindow(h);
  }
  auto* control = reinterpret_cast<FlashControl*>(GetWindowLongPtrA(h, GWLP_USERDATA));
  if (!control) return DefWindowProcA(h, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(h, GWLP_USERDATA, 0);
    control->WindowGone();
    return DefWindowProcA(h, msg, wp, lp);
  }
  return control->HandleMessage(msg, wp, lp);
}

}  // namespace

HRESULT CreateControl(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  // The object starts with one reference, which this scope holds until the caller's
  // own is taken.
  auto control = ComPtr<FlashControl>::attach(new (std::nothrow) FlashControl());
  if (!control) return E_OUTOFMEMORY;
  return control->QueryInterface(iid, out);
}

}  // namespace vx::standin
