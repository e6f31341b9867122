#include "player/shockwave_flash.h"

#include <utility>

#include "common/win32_text.h"

bool CShockwaveFlash::Create(HWND parent, UINT id, const char* name, const RECT& rect,
                             IClassFactory* carriedFactory,
                             std::function<void(const std::string&, const std::string&)> onFSCommand) {
  return m_site.create(parent, id, name, rect, CLSID_ShockwaveFlash, carriedFactory,
                       &DIID_ShockwaveFlashEvents,
                       [onFSCommand = std::move(onFSCommand)](DISPID dispId, DISPPARAMS* params) {
                         if (dispId == kDispFSCommand)
                           onFSCommand(EventArgString(params, 0), EventArgString(params, 1));
                       });
}

bool CShockwaveFlash::PreTranslateMessage(MSG& msg) {
  const HWND control = m_site.window();
  if (!control || (msg.hwnd != control && !IsChild(control, msg.hwnd))) return false;
  switch (msg.message) {
    case WM_RBUTTONDOWN: return true;
    case WM_KEYDOWN:
      if (msg.wParam != VK_ESCAPE) break;
      [[fallthrough]];
    case WM_LBUTTONDOWN: SendMessageA(GetParent(control), msg.message, msg.wParam, msg.lParam); break;
    default: break;
  }
  return false;
}

long CShockwaveFlash::FrameNum() {
  OwnedVariant frame;
  m_site.invoke(kDispFrameNum, DISPATCH_PROPERTYGET, nullptr, 0, &frame);
  if (FAILED(VariantChangeType(&frame, &frame, 0, VT_I4)))
    throw DispatchError("The control returned a value of an unexpected type.");
  return V_I4(&frame);
}

void CShockwaveFlash::SetBackgroundColor(long colour) {
  OwnedVariant value;
  V_VT(&value) = VT_I4;
  V_I4(&value) = colour;
  m_site.invoke(kDispBackgroundColor, DISPATCH_PROPERTYPUT, &value, 1, nullptr);
}

void CShockwaveFlash::LoadMovie(long layer, const std::string& url) {
  // IDispatch takes the arguments last first.
  OwnedVariant args[2];
  V_VT(&args[0]) = VT_BSTR;
  V_BSTR(&args[0]) = vx::win::Bstr(vx::win::Wide(url).c_str()).release();
  V_VT(&args[1]) = VT_I4;
  V_I4(&args[1]) = layer;
  m_site.invoke(kDispLoadMovie, DISPATCH_METHOD, args, 2, nullptr);
}

bool CShockwaveFlash::ProbeInstalledVersion(long* version) {
  const HRESULT init = CoInitialize(nullptr);
  bool ok = false;
  {
    vx::win::ComPtr<IUnknown> flash;
    const HRESULT hr = CoCreateInstance(CLSID_ShockwaveFlash, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IShockwaveFlash, flash.put_void());
    // Never call through a missing instance: no control counts as no version.
    if (SUCCEEDED(hr) && flash) {
      using FlashVersionFn = HRESULT(STDMETHODCALLTYPE*)(IUnknown * self, long* version);
      FlashVersionFn* table = *reinterpret_cast<FlashVersionFn**>(flash.get());
      long value = 0;
      ok = SUCCEEDED(table[kFlashVersionVtableEntry](flash.get(), &value));
      if (ok) *version = value;
    }
  }  // the instance goes before COM is let go
  if (SUCCEEDED(init)) CoUninitialize();
  return ok;
}
