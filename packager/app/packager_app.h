// CPackagerApp: the Vellumix application object. It finds the installation folder
// (the folder of the running executable), makes the work folder "Temp" under it, runs
// the main window modally and, when that closes, empties the work folder.
#pragma once
#include <string>

#include "framework/app.h"

class CPackagerApp : public CWinApp {
 public:
  CPackagerApp();

  BOOL InitInstance() override;
  int ExitInstance() override;

  // The installation folder, without a trailing backslash. Set once, here, before any
  // thread starts; every packager path is built on it.
  std::string m_strInstallDir;

  std::string WorkFolder() const { return m_strInstallDir + "\\Temp"; }
};

// The folder part of a module path: everything before its last backslash.
std::string InstallDirFromModulePath(const std::string& modulePath);
