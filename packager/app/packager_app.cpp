#include "packager/app/packager_app.h"

#include <commctrl.h>

#include "common/swf_header.h"
#include "packager/app/packager_dlg.h"

CPackagerApp theApp;

namespace {

// "Failed to locate" of the SWF header reader, in a box captioned with the program's name.
void ShowSwfMessage(const char* text) { vx::win::MessageBoxAnsi(text); }

}  // namespace

CPackagerApp::CPackagerApp() {
  char path[1024];
  const DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof(path));
  m_installDir = InstallDirFromModuleName(path, n, sizeof(path));
}

void CPackagerApp::Run() {
  vx::win::UseOle();
  vx::SetSwfMessageHandler(ShowSwfMessage);
  // Without its own folder the program would make and later empty "\Temp" at the root
  // of the current drive, a folder that is not its own.
  if (m_installDir.empty()) {
    vx::win::MessageBoxAnsi(vx::win::LoadText(IDS_NO_INSTALL_FOLDER), MB_OK | MB_ICONSTOP);
    return;
  }
  // The list view and the tooltips come from the common controls.
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);

  ::CreateDirectoryA(WorkFolderOf(m_installDir).c_str(), nullptr);  // an existing folder is fine

  CPackagerDlg dlg(m_installDir);
  m_mainWindow = &dlg;
  dlg.doModal();
  m_mainWindow = nullptr;
}

int CPackagerApp::ExitInstance() {
  EmptyWorkFolder(m_installDir);
  return 0;
}
