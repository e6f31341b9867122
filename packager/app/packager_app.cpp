#include "packager/app/packager_app.h"

#include <commctrl.h>

#include "common/empty_folder.h"
#include "packager/app/packager_dlg.h"

CPackagerApp theApp;

std::string InstallDirFromModulePath(const std::string& modulePath) {
  const size_t slash = modulePath.find_last_of('\\');
  return slash == std::string::npos ? std::string() : modulePath.substr(0, slash);
}

CPackagerApp::CPackagerApp() : CWinApp(nullptr) {
  char path[1024];
  const DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof(path));
  m_strInstallDir = InstallDirFromModulePath(std::string(path, n < sizeof(path) ? n : 0));
}

BOOL CPackagerApp::InitInstance() {
  AfxEnableControlContainer();
  Enable3dControls();
  // The list view and the tooltips come from the common controls.
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);

  ::CreateDirectoryA(WorkFolder().c_str(), nullptr);  // an existing folder is fine

  CPackagerDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}

int CPackagerApp::ExitInstance() {
  vx::EmptyFolder(WorkFolder());
  return CWinApp::ExitInstance();
}
