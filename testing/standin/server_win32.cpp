// The in-process server around the control: the DLL entry points, the class factory
// and the registration under the Shockwave Flash class.
#include <olectl.h>

#include <string>

#include "common/win32_text.h"
#include "testing/standin/standin.h"

namespace vx::standin {
namespace {

HINSTANCE g_module = nullptr;
LONG g_inUse = 0;  // live objects plus LockServer(TRUE) calls

constexpr char kProgId[] = "ShockwaveFlash.ShockwaveFlash";
constexpr char kTitle[] = "Shockwave Flash Object";

class ClassFactory : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  // The factory is static; while anyone holds it, the server stays loaded.
  STDMETHODIMP_(ULONG) AddRef() override {
    ServerAddRef();
    return 2;
  }
  STDMETHODIMP_(ULONG) Release() override {
    ServerRelease();
    return 1;
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CreateControl(iid, out);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) ServerAddRef();
    else ServerRelease();
    return S_OK;
  }
};

ClassFactory g_factory;

// Sets a value (UTF-8 text: the DLL's path may hold any character) of a key of
// HKEY_CLASSES_ROOT.
bool SetKey(const std::string& path, const char* name, const std::string& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const std::wstring text = vx::win::Wide(value);
  LONG rc = RegSetValueExW(key, name ? vx::win::Wide(name).c_str() : nullptr, 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

// The class's registry name, "{D27CDB6E-...}", written from its identifier.
std::string ClsidText() {
  wchar_t text[40];
  const int n = StringFromGUID2(CLSID_ShockwaveFlash, text, 40);
  return n > 0 ? vx::win::Utf8(text, static_cast<size_t>(n - 1)) : std::string();
}

// Deletes a key of HKEY_CLASSES_ROOT with everything below it.
void DeleteTree(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | KEY_WRITE, &key) == ERROR_SUCCESS) {
    char name[256];
    for (;;) {
      DWORD len = sizeof name;
      if (RegEnumKeyExA(key, 0, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      DeleteTree(path + "\\" + name);
    }
    RegCloseKey(key);
  }
  RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
}

}  // namespace

void ServerAddRef() { InterlockedIncrement(&g_inUse); }
void ServerRelease() { InterlockedDecrement(&g_inUse); }
bool ServerInUse() { return g_inUse > 0; }
HINSTANCE ModuleInstance() { return g_module; }

}  // namespace vx::standin

using namespace vx::standin;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    UnregisterClassA("VxFlashStandin", instance);
  }
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_ShockwaveFlash) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return ServerInUse() ? S_FALSE : S_OK;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
  wchar_t wide[MAX_PATH];
  DWORD n = GetModuleFileNameW(g_module, wide, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return SELFREG_E_CLASS;
  const std::string path = vx::win::Utf8(wide, n);
  const std::string clsid = "CLSID\\" + ClsidText();
  bool ok = SetKey(clsid, nullptr, kTitle) && SetKey(clsid + "\\InprocServer32", nullptr, path) &&
            SetKey(clsid + "\\InprocServer32", "ThreadingModel", "Apartment") &&
            SetKey(clsid + "\\Control", nullptr, "") && SetKey(clsid + "\\ProgID", nullptr, kProgId) &&
            SetKey(kProgId, nullptr, kTitle) &&
            SetKey(std::string(kProgId) + "\\CLSID", nullptr, ClsidText());
  return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
  DeleteTree("CLSID\\" + ClsidText());
  DeleteTree(kProgId);
  return S_OK;
}
