#include "framework/wnd.h"

#include <cstdarg>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/activex.h"
#include "framework/app.h"
#include "common/win32_text.h"

namespace {

std::mutex g_mapMutex;
std::map<HWND, CWnd*> g_permanent;
std::map<HWND, std::unique_ptr<CWnd>> g_temporary;

// The object that the next window created on this thread belongs to (CreateEx,
// CDialog::Create); the CBT hook subclasses that window before its first message.
thread_local CWnd* t_pWndInit = nullptr;
thread_local HHOOK t_hHookInit = nullptr;

void AddPermanent(HWND hWnd, CWnd* pWnd) {
  std::lock_guard<std::mutex> lock(g_mapMutex);
  g_permanent[hWnd] = pWnd;
  g_temporary.erase(hWnd);
}

void RemovePermanent(HWND hWnd, CWnd* pWnd) {
  std::lock_guard<std::mutex> lock(g_mapMutex);
  auto it = g_permanent.find(hWnd);
  if (it != g_permanent.end() && it->second == pWnd) g_permanent.erase(it);
}

}  // namespace

// Hook used while a window of ours is being created.
class CWndCreationHook {
 public:
  static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && t_pWndInit) {
      CWnd* pWnd = t_pWndInit;
      t_pWndInit = nullptr;
      // Nothing may travel back into the system's code: a failure is reported, and
      // the window is then created without its object (its creator sees that).
      try {
        pWnd->SubclassWindow(reinterpret_cast<HWND>(wParam));
      } catch (...) {
        AfxReportCurrentException();
      }
    }
    return CallNextHookEx(t_hHookInit, code, wParam, lParam);
  }
  static void Begin(CWnd* pWnd) {
    t_pWndInit = pWnd;
    if (!t_hHookInit) t_hHookInit = SetWindowsHookExA(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
  }
  static void End() {
    t_pWndInit = nullptr;
    if (t_hHookInit) {
      UnhookWindowsHookEx(t_hHookInit);
      t_hHookInit = nullptr;
    }
  }
};

void AfxHookWindowCreate(CWnd* pWnd) { CWndCreationHook::Begin(pWnd); }
void AfxUnhookWindowCreate() { CWndCreationHook::End(); }

// ---------------------------------------------------------------------------------
// Handle map

CWnd::CWnd() = default;

CWnd::~CWnd() {
  if (m_pCtrlSite) delete m_pCtrlSite;  // closes the control and detaches this object
  if (m_pCtrlCont) {
    m_pCtrlCont->CloseAll();
    delete m_pCtrlCont;
    m_pCtrlCont = nullptr;
  }
  if (m_hWnd) {
    if (m_pfnSuper) {
      // Still subclassed: give the window back its own procedure before we go.
      if (IsWindow(m_hWnd)) SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
      m_pfnSuper = nullptr;
    }
    RemovePermanent(m_hWnd, this);
    m_hWnd = nullptr;
  }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
  std::lock_guard<std::mutex> lock(g_mapMutex);
  auto it = g_permanent.find(hWnd);
  return it == g_permanent.end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hWnd) {
  if (!hWnd) return nullptr;
  if (CWnd* p = FromHandlePermanent(hWnd)) return p;
  std::lock_guard<std::mutex> lock(g_mapMutex);
  // Drop wrappers of windows that no longer exist.
  for (auto it = g_temporary.begin(); it != g_temporary.end();) {
    if (!IsWindow(it->first)) it = g_temporary.erase(it);
    else ++it;
  }
  auto& slot = g_temporary[hWnd];
  if (!slot) {
    slot = std::make_unique<CWnd>();
    slot->m_hWnd = hWnd;
  }
  return slot.get();
}

BOOL CWnd::Attach(HWND hWnd) {
  if (!hWnd || m_hWnd) return FALSE;
  m_hWnd = hWnd;
  AddPermanent(hWnd, this);
  return TRUE;
}

HWND CWnd::Detach() {
  HWND h = m_hWnd;
  if (h) RemovePermanent(h, this);
  m_hWnd = nullptr;
  return h;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
  if (!Attach(hWnd)) return FALSE;
  m_pfnSuper = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StandardWndProc)));
  if (!m_pfnSuper) {
    Detach();
    return FALSE;
  }
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nId, CWnd* pParent) {
  if (!pParent) return FALSE;
  HWND h = ::GetDlgItem(pParent->m_hWnd, static_cast<int>(nId));
  return h ? SubclassWindow(h) : FALSE;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, const char* className, const char* windowName, DWORD dwStyle,
                    const RECT& rect, CWnd* pParent, UINT nId) {
  HWND parent = pParent ? pParent->m_hWnd : nullptr;
  HMENU menu = (dwStyle & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nId)) : nullptr;
  AfxHookWindowCreate(this);
  HWND h =
      CreateWindowExA(dwExStyle, className, windowName, dwStyle, rect.left, rect.top, rect.right - rect.left,
                      rect.bottom - rect.top, parent, menu, AfxGetInstanceHandle(), nullptr);
  AfxUnhookWindowCreate();
  if (!h) {
    if (m_hWnd) Detach();
    return FALSE;
  }
  return m_hWnd == h;
}

// ---------------------------------------------------------------------------------
// Window procedure and dispatch

LRESULT CALLBACK CWnd::StandardWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // DispatchToWindowProc reports what the handlers throw; this catches the rest (the
  // handle map, the end of a window), so that nothing travels into the system's code.
  try {
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (!pWnd) return ::DefWindowProcA(hWnd, message, wParam, lParam);
    return pWnd->DispatchToWindowProc(message, wParam, lParam);
  } catch (...) {
    AfxReportCurrentException();
    return 0;
  }
}

LRESULT CWnd::DispatchToWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  MSG saved = m_currentMsg;
  m_currentMsg.hwnd = m_hWnd;
  m_currentMsg.message = message;
  m_currentMsg.wParam = wParam;
  m_currentMsg.lParam = lParam;
  LRESULT result = 0;
  try {
    result = WindowProc(message, wParam, lParam);
  } catch (const std::exception& e) {
    OnWndProcException(message, e);
  } catch (...) {
    OnWndProcException(message, CFrameworkException("Unknown error"));
  }
  m_currentMsg = saved;
  if (message == WM_NCDESTROY) {
    // The window is gone: restore its procedure, drop it from the map, tell the object.
    HWND h = m_hWnd;
    if (m_pfnSuper && h) SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    Detach();
    try {
      PostNcDestroy();
    } catch (const std::exception& e) {
      OnWndProcException(message, e);
    } catch (...) {
      OnWndProcException(message, CFrameworkException("Unknown error"));
    }
  }
  return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (OnWndMsg(message, wParam, lParam, &result)) return result;
  return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper) return CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
  return DefWindowProc(m_currentMsg.message, m_currentMsg.wParam, m_currentMsg.lParam);
}

BOOL CWnd::ReflectChildNotify(HWND hWndChild, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (!hWndChild) return FALSE;
  CWnd* child = FromHandlePermanent(hWndChild);
  return child ? child->OnChildNotify(message, wParam, lParam, pResult) : FALSE;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  *pResult = 0;
  switch (message) {
    case WM_COMMAND:
      if (lParam && ReflectChildNotify(reinterpret_cast<HWND>(lParam), message, wParam, lParam, pResult))
        return TRUE;
      return OnCommand(wParam, lParam);
    case WM_NOTIFY: {
      const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lParam);
      return hdr && ReflectChildNotify(hdr->hwndFrom, message, wParam, lParam, pResult);
    }
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
      if (dis->CtlType != ODT_MENU && ReflectChildNotify(dis->hwndItem, message, wParam, lParam, pResult))
        return TRUE;
      Default();
      *pResult = TRUE;
      return TRUE;
    }
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam);
      if (mis->CtlType != ODT_MENU && ReflectChildNotify(::GetDlgItem(m_hWnd, static_cast<int>(mis->CtlID)),
                                                         message, wParam, lParam, pResult))
        return TRUE;
      Default();
      *pResult = TRUE;
      return TRUE;
    }
    case WM_DELETEITEM: {
      auto* dis = reinterpret_cast<LPDELETEITEMSTRUCT>(lParam);
      return ReflectChildNotify(dis->hwndItem, message, wParam, lParam, pResult);
    }
    case WM_COMPAREITEM: {
      auto* cis = reinterpret_cast<LPCOMPAREITEMSTRUCT>(lParam);
      return ReflectChildNotify(cis->hwndItem, message, wParam, lParam, pResult);
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
      return lParam ? ReflectChildNotify(reinterpret_cast<HWND>(lParam), message, wParam, lParam, pResult)
                    : FALSE;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return ReflectChildNotify(reinterpret_cast<HWND>(lParam), message, wParam, lParam, pResult);
    case WM_PAINT: OnPaint(); return TRUE;
    case WM_TIMER: OnTimer(static_cast<UINT_PTR>(wParam)); return TRUE;
    case WM_QUERYDRAGICON: *pResult = reinterpret_cast<LRESULT>(OnQueryDragIcon()); return TRUE;
    case WM_DESTROY:
      // Hosted controls go first, while their parent window still exists; then the
      // default processing.
      if (m_pCtrlCont) m_pCtrlCont->CloseAll();
      return FALSE;
    case WM_SYSCOMMAND: OnSysCommand(static_cast<UINT>(wParam), lParam); return TRUE;
    case WM_SYSCOLORCHANGE:
      // Only top-level windows hear of it from the system; their controls from them.
      *pResult = Default();
      if (!(GetStyle() & WS_CHILD)) SendMessageToDescendants(message, wParam, lParam);
      return TRUE;
    default: return FALSE;
  }
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWnd::WalkPreTranslateTree(HWND hWndStop, MSG* pMsg) {
  for (HWND h = pMsg->hwnd; h; h = ::GetParent(h)) {
    if (CWnd* w = FromHandlePermanent(h)) {
      if (w->PreTranslateMessage(pMsg)) return TRUE;
    }
    if (h == hWndStop || !(::GetWindowLongA(h, GWL_STYLE) & WS_CHILD)) break;
  }
  return FALSE;
}

BOOL CWnd::OnCommand(WPARAM, LPARAM) { return FALSE; }
BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }
BOOL CWnd::OnControlEvent(UINT, DISPID, DISPPARAMS*) { return FALSE; }

void CWnd::OnWndProcException(UINT, const std::exception& e) { AfxReportException(e); }

void CWnd::OnPaint() { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
HCURSOR CWnd::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
void CWnd::PostNcDestroy() {}

// ---------------------------------------------------------------------------------
// Helpers

CWnd* CWnd::GetDlgItem(int nId) const { return FromHandle(::GetDlgItem(m_hWnd, nId)); }
CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
void CWnd::SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text ? text : ""); }

std::string CWnd::GetWindowText() const {
  int n = ::GetWindowTextLengthA(m_hWnd);
  std::string s(static_cast<size_t>(n) + 1, '\0');
  n = ::GetWindowTextA(m_hWnd, &s[0], n + 1);
  s.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return s;
}

void CWnd::SetDlgItemText(int nId, const char* text) { ::SetDlgItemTextA(m_hWnd, nId, text ? text : ""); }

std::string CWnd::GetDlgItemText(int nId) const {
  HWND h = ::GetDlgItem(m_hWnd, nId);
  if (!h) return {};
  int n = ::GetWindowTextLengthA(h);
  std::string s(static_cast<size_t>(n) + 1, '\0');
  n = ::GetWindowTextA(h, &s[0], n + 1);
  s.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return s;
}

BOOL CWnd::ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
BOOL CWnd::EnableWindow(BOOL bEnable) { return ::EnableWindow(m_hWnd, bEnable); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }

BOOL CWnd::SetWindowPos(HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
  if (!m_pCtrlSite) return ::SetWindowPos(m_hWnd, hWndInsertAfter, x, y, cx, cy, nFlags);
  // A hosted control moves through its in-place object, which moves its window.
  UINT rest = nFlags & ~(SWP_NOMOVE | SWP_NOSIZE);
  if (!(rest & SWP_NOZORDER) || (rest & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)))
    ::SetWindowPos(m_hWnd, hWndInsertAfter, 0, 0, 0, 0, rest | SWP_NOMOVE | SWP_NOSIZE);
  if ((nFlags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) {
    RECT r = m_pCtrlSite->rect();
    int w = r.right - r.left, h = r.bottom - r.top;
    if (!(nFlags & SWP_NOMOVE)) {
      r.left = x;
      r.top = y;
    }
    if (!(nFlags & SWP_NOSIZE)) {
      w = cx;
      h = cy;
    }
    r.right = r.left + w;
    r.bottom = r.top + h;
    m_pCtrlSite->SetObjectRects(r);
  }
  return TRUE;
}

void CWnd::GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
void CWnd::GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
void CWnd::Invalidate(BOOL bErase) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
void CWnd::UpdateWindow() { ::UpdateWindow(m_hWnd); }
LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessageA(m_hWnd, message, wParam, lParam);
}
namespace {

struct DescendantMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

BOOL CALLBACK SendToDescendant(HWND hWnd, LPARAM param) {
  const auto* m = reinterpret_cast<const DescendantMessage*>(param);
  ::SendMessageA(hWnd, m->message, m->wParam, m->lParam);
  return TRUE;
}

}  // namespace

void CWnd::SendMessageToDescendants(UINT message, WPARAM wParam, LPARAM lParam) const {
  // EnumChildWindows visits the children's children as well.
  DescendantMessage m{message, wParam, lParam};
  ::EnumChildWindows(m_hWnd, SendToDescendant, reinterpret_cast<LPARAM>(&m));
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::PostMessageA(m_hWnd, message, wParam, lParam);
}
UINT_PTR CWnd::SetTimer(UINT_PTR nIdEvent, UINT nElapse) {
  return ::SetTimer(m_hWnd, nIdEvent, nElapse, nullptr);
}
BOOL CWnd::KillTimer(UINT_PTR nIdEvent) { return ::KillTimer(m_hWnd, nIdEvent); }

static BOOL ModifyBits(HWND h, int index, DWORD remove, DWORD add, UINT nFlags) {
  DWORD style = static_cast<DWORD>(::GetWindowLongA(h, index));
  DWORD changed = (style & ~remove) | add;
  if (changed == style) return FALSE;
  ::SetWindowLongA(h, index, static_cast<LONG>(changed));
  if (nFlags)
    ::SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
  return TRUE;
}

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
  return ModifyBits(m_hWnd, GWL_STYLE, dwRemove, dwAdd, nFlags);
}
DWORD CWnd::GetStyle() const { return static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE)); }

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
  return reinterpret_cast<HICON>(
      SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
}
CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }

BOOL CWnd::DestroyWindow() {
  if (m_pCtrlSite) {
    delete m_pCtrlSite;  // the control destroys its own window
    return TRUE;
  }
  if (!m_hWnd) return FALSE;
  return ::DestroyWindow(m_hWnd);
}

// ---------------------------------------------------------------------------------
// Text and dispatch helpers

namespace {

std::string Utf8FromBstr(const wchar_t* text) {
  return text ? vx::win::Utf8(text, wcslen(text)) : std::string();
}

}  // namespace

std::string EventArgString(const DISPPARAMS* pParams, unsigned index) {
  if (!pParams || index >= pParams->cArgs) return {};
  const VARIANT& v = pParams->rgvarg[pParams->cArgs - 1 - index];
  if (V_VT(&v) == VT_BSTR) return Utf8FromBstr(V_BSTR(&v));
  if (V_VT(&v) == (VT_BSTR | VT_BYREF) && V_BSTRREF(&v)) return Utf8FromBstr(*V_BSTRREF(&v));
  if (V_VT(&v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(&v) && V_VT(V_VARIANTREF(&v)) == VT_BSTR)
    return Utf8FromBstr(V_BSTR(V_VARIANTREF(&v)));
  return {};
}

namespace {

// VARIANTs owned for a scope: cleared (their strings freed) however the scope ends.
class OwnedVariants {
 public:
  explicit OwnedVariants(size_t count) : m_items(count) {
    for (VARIANT& v : m_items) VariantInit(&v);
  }
  ~OwnedVariants() {
    for (VARIANT& v : m_items) VariantClear(&v);
  }
  OwnedVariants(const OwnedVariants&) = delete;
  OwnedVariants& operator=(const OwnedVariants&) = delete;
  VARIANT& operator[](size_t i) { return m_items[i]; }
  VARIANT* data() { return m_items.empty() ? nullptr : m_items.data(); }
  size_t size() const { return m_items.size(); }

 private:
  std::vector<VARIANT> m_items;
};

// Ends a va_list on every way out of a scope.
class VaListEnd {
 public:
  explicit VaListEnd(va_list& ap) : m_ap(ap) {}
  ~VaListEnd() { va_end(m_ap); }
  VaListEnd(const VaListEnd&) = delete;
  VaListEnd& operator=(const VaListEnd&) = delete;

 private:
  va_list& m_ap;
};

size_t ParamCount(const VARTYPE* pbParamInfo) {
  size_t n = 0;
  for (const VARTYPE* p = pbParamInfo; p && *p; ++p) ++n;
  return n;
}

// Stores the converted result in the caller's variable of the wanted type.
void StoreResult(VARIANT& result, VARTYPE vtRet, void* pvRet, DISPID dispId) {
  HRESULT hr = VariantChangeType(&result, &result, 0, vtRet);
  if (FAILED(hr))
    throw COleDispatchException("The control returned a value of an unexpected type.", hr, dispId);
  switch (vtRet) {
    case VT_I4: *static_cast<long*>(pvRet) = V_I4(&result); break;
    case VT_BOOL: *static_cast<BOOL*>(pvRet) = V_BOOL(&result) != VARIANT_FALSE; break;
    case VT_R8: *static_cast<double*>(pvRet) = V_R8(&result); break;
    case VT_BSTR: *static_cast<std::string*>(pvRet) = Utf8FromBstr(V_BSTR(&result)); break;
    default: break;
  }
}

}  // namespace

void CWnd::InvokeHelper(DISPID dwDispId, WORD wFlags, VARTYPE vtRet, void* pvRet, const VARTYPE* pbParamInfo,
                        ...) {
  if (!m_pCtrlSite) throw CFrameworkException("The window does not host a control.", E_UNEXPECTED);
  // IDispatch takes the arguments last to first.
  OwnedVariants args(ParamCount(pbParamInfo));
  va_list ap;
  va_start(ap, pbParamInfo);
  {
    VaListEnd end(ap);
    for (size_t i = 0; i < args.size(); ++i) {
      VARIANT& v = args[args.size() - 1 - i];
      switch (pbParamInfo[i]) {
        case VT_I4:
          V_VT(&v) = VT_I4;
          V_I4(&v) = va_arg(ap, long);
          break;
        case VT_BOOL:
          V_VT(&v) = VT_BOOL;
          V_BOOL(&v) = va_arg(ap, int) ? VARIANT_TRUE : VARIANT_FALSE;
          break;
        case VT_R8:
          V_VT(&v) = VT_R8;
          V_R8(&v) = va_arg(ap, double);
          break;
        case VT_BSTR: {
          const char* utf8 = va_arg(ap, const char*);
          vx::win::Bstr text(vx::win::Wide(utf8 ? utf8 : "").c_str());
          V_VT(&v) = VT_BSTR;
          V_BSTR(&v) = text.release();
          break;
        }
        default: throw CFrameworkException("Unsupported argument type.", DISP_E_BADVARTYPE);
      }
    }
  }
  OwnedVariants result(1);
  m_pCtrlSite->Invoke(dwDispId, wFlags, args.data(), static_cast<UINT>(args.size()),
                      vtRet == VT_EMPTY ? nullptr : &result[0]);
  if (vtRet != VT_EMPTY && pvRet) StoreResult(result[0], vtRet, pvRet, dwDispId);
}
