// CPlayerApp: Orrinet's start-up. Checks the installed Shockwave Flash control (and
// installs the one the package carries when the installed major version is not 8),
// extracts the package archive that the executable carries as resource "ZIP" 129 into
// a folder of its own under the system's "VX" temporary folder, runs the player window
// and removes that folder at the end.
#pragma once
#include <string>
#include <vector>

#include "framework/app.h"

class CPlayerApp : public CWinApp {
 public:
  CPlayerApp();

  BOOL InitInstance() override;
  int ExitInstance() override;

  // Writes resource (id, type) of the running executable to `path` (created or
  // replaced). True when the whole resource was written.
  static bool WriteResourceToFile(UINT id, const char* type, const char* path);

  // This run's temporary folder: <system temporary folder>VX\<pid>-<random>, no
  // trailing backslash. Empty until the folder exists.
  std::string m_strTempFolder;
  // Names of the extracted entries whose name ends in "SWF", in archive order.
  std::vector<std::string> m_slides;
  // Set by the player window when the package is a slideshow.
  bool m_bSlideshow = false;

 private:
  void InstallFlashControlIfNeeded();
  bool CreateRunFolder();
  // Extracts the archive; false when the player must end (too few entries or a
  // rejected archive, which has been reported).
  bool ExtractPackage(HRSRC resource);
};
