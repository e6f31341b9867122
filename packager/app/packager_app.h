// CPackagerApp: the Vellumix application object. It finds the installation folder
// (the folder of the running executable), makes the work folder "Temp" under it, runs
// the main window modally and, when that closes, empties the work folder.
#pragma once
#include <string>

#include "framework/app.h"
#include "packager/app/work_folder.h"

class CPackagerApp : public vx::win::App {
 public:
  CPackagerApp();

  void Run() override;
  int ExitInstance() override;

  // The installation folder, without a trailing backslash, in the ANSI code page. Set
  // once, here, before any thread starts; every packager path is built on it. Empty
  // when it could not be found out: the program then refuses to start.
  std::string m_installDir;
};
