#include "player/shockwave_flash.h"

#include "framework/activex.h"

BOOL CShockwaveFlash::Create(const char* windowName, DWORD dwStyle, const RECT& rect, CWnd* pParent, UINT nId,
                             IClassFactory* carriedFactory) {
  return CreateControl(CLSID_ShockwaveFlash, windowName, dwStyle, rect, pParent, nId,
                       &DIID_ShockwaveFlashEvents, carriedFactory);
}

BOOL CShockwaveFlash::PreTranslateMessage(MSG* pMsg) {
  switch (pMsg->message) {
    case WM_RBUTTONDOWN: return TRUE;
    case WM_KEYDOWN:
      if (pMsg->wParam != VK_ESCAPE) break;
      [[fallthrough]];
    case WM_LBUTTONDOWN:
      if (HWND parent = ::GetParent(m_hWnd))
        ::SendMessageA(parent, pMsg->message, pMsg->wParam, pMsg->lParam);
      break;
    default: break;
  }
  return CWnd::PreTranslateMessage(pMsg);
}

long CShockwaveFlash::FrameNum() {
  long frame = 0;
  InvokeHelper(kDispFrameNum, DISPATCH_PROPERTYGET, VT_I4, &frame, nullptr);
  return frame;
}

void CShockwaveFlash::SetBackgroundColor(long colour) {
  static const VARTYPE params[] = {VT_I4, 0};
  InvokeHelper(kDispBackgroundColor, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr, params, colour);
}

void CShockwaveFlash::LoadMovie(long layer, const char* url) {
  static const VARTYPE params[] = {VT_I4, VT_BSTR, 0};
  InvokeHelper(kDispLoadMovie, DISPATCH_METHOD, VT_EMPTY, nullptr, params, layer, url);
}

long CShockwaveFlash::FlashVersion() {
  COleControlSite* site = GetControlSite();
  if (!site || !site->object()) return 0;
  vx::win::ComPtr<IUnknown> flash;
  if (FAILED(site->object()->QueryInterface(IID_IShockwaveFlash, flash.put_void())) || !flash) return 0;
  long version = 0;
  if (!CallFlashVersion(flash.get(), &version)) version = 0;
  return version;
}

bool CShockwaveFlash::CallFlashVersion(IUnknown* instance, long* version) {
  using FlashVersionFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown * self, long* version);
  FlashVersionFn* table = *reinterpret_cast<FlashVersionFn**>(instance);
  long value = 0;
  if (FAILED(table[kFlashVersionVtableEntry](instance, &value))) return false;
  *version = value;
  return true;
}

bool CShockwaveFlash::ProbeInstalledVersion(long* version) {
  HRESULT init = CoInitialize(nullptr);
  bool ok = false;
  {
    vx::win::ComPtr<IUnknown> flash;
    HRESULT hr = CoCreateInstance(CLSID_ShockwaveFlash, nullptr, CLSCTX_INPROC_SERVER, IID_IShockwaveFlash,
                                  flash.put_void());
    // Never call through a missing instance: no control counts as no version.
    if (SUCCEEDED(hr) && flash) ok = CallFlashVersion(flash.get(), version);
  }  // the instance goes before COM is let go
  if (SUCCEEDED(init)) CoUninitialize();
  return ok;
}
