#include "player/carried_control.h"

#include "common/package_contract.h"
#include "framework/app.h"
#include "player/player_app.h"

namespace {

template <typename F>
F Export(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

CCarriedControl::~CCarriedControl() { Unload(); }

bool CCarriedControl::IsCarried() {
  return FindResourceA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(vx::kFlashResourceId),
                       vx::kFlashResourceType) != nullptr;
}

bool CCarriedControl::Load(const std::string& folder, REFCLSID clsid) {
  Unload();
  if (folder.empty() || !IsCarried()) return false;
  std::string path = folder + "\\" + kFileName;
  if (!CPlayerApp::WriteResourceToFile(vx::kFlashResourceId, vx::kFlashResourceType, path.c_str())) {
    DeleteFileA(path.c_str());
    return false;
  }
  // Whatever the control loads beside it is looked for in its own folder first.
  vx::win::UniqueModule module(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (module) {
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject = Export<GetClassObjectFn>(module.get(), "DllGetClassObject");
    if (getClassObject && SUCCEEDED(getClassObject(clsid, IID_IClassFactory, m_pFactory.put_void())) &&
        m_pFactory) {
      m_module = std::move(module);
      return true;
    }
    m_pFactory.detach();  // a failed call hands out no reference
    module.reset();       // unloaded before its file is deleted
  }
  DeleteFileA(path.c_str());
  return false;
}

void CCarriedControl::Unload() {
  m_pFactory.reset();
  if (!m_module) return;
  // A control object still alive would lose its code: the file then stays loaded, and
  // the run folder that holds it is removed by a later start.
  using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
  auto canUnloadNow = Export<CanUnloadNowFn>(m_module.get(), "DllCanUnloadNow");
  if (canUnloadNow && canUnloadNow() == S_OK) m_module.reset();
  else m_module.release();
}
