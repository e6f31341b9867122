#include "player/carried_control.h"

#include "common/file.h"
#include "common/package_contract.h"
#include "common/win32_text.h"
#include "player/resource_file.h"

namespace {

template <typename F>
F Export(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

HMODULE ThisModule() { return GetModuleHandleW(nullptr); }

}  // namespace

CCarriedControl::~CCarriedControl() { Unload(); }

bool CCarriedControl::IsCarried() {
  return FindResourceA(ThisModule(), MAKEINTRESOURCEA(vx::kFlashResourceId), vx::kFlashResourceType) !=
         nullptr;
}

bool CCarriedControl::Load(const std::string& folder, REFCLSID clsid) {
  Unload();
  if (folder.empty() || !IsCarried()) return false;
  // The folder is the player's own: no extracted file lives there, so the control's
  // file replaces nothing of the package's, and a failed one is ours to delete.
  const std::string path = vx::JoinPath(folder, kFileName);
  if (!WriteResourceToFile(ThisModule(), vx::kFlashResourceId, vx::kFlashResourceType, path)) {
    vx::DeleteFilePath(path);
    return false;
  }
  // Whatever the control loads beside it is looked for in its own folder first.
  vx::win::UniqueModule module(
      LoadLibraryExW(vx::win::PathW(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (module) {
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject = Export<GetClassObjectFn>(module.get(), "DllGetClassObject");
    if (getClassObject && SUCCEEDED(getClassObject(clsid, IID_IClassFactory, m_factory.put_void())) &&
        m_factory) {
      m_module = std::move(module);
      return true;
    }
    m_factory.detach();  // a failed call hands out no reference
    module.reset();      // unloaded before its file is deleted
  }
  vx::DeleteFilePath(path);
  return false;
}

void CCarriedControl::Unload() {
  m_factory.reset();
  if (!m_module) return;
  // A control object still alive would lose its code: the file then stays loaded, and
  // the run folder that holds it is removed by a later start.
  using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
  auto canUnloadNow = Export<CanUnloadNowFn>(m_module.get(), "DllCanUnloadNow");
  if (canUnloadNow && canUnloadNow() == S_OK) m_module.reset();
  else m_module.release();
}
