// CPlayerApp: Orrinet's start-up. Checks the installed Shockwave Flash control (and
// installs the one the package carries when the installed major version is not 8),
// extracts the package archive that the executable carries as resource "ZIP" 129 into
// the package's own folder under the system's "VX" temporary folder (the same one on
// every run, see CRunFolder), runs the player window and removes that folder at the
// end. Once the movie plays, the folders that killed or crashed runs left under "VX"
// are removed on a worker thread.
#pragma once
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/app.h"
#include "player/carried_control.h"
#include "player/run_folder.h"

class CPlayerApp : public vx::win::App {
 public:
  void Run() override;
  int ExitInstance() override;

  // The package title, string 1 of the executable (UTF-8).
  std::string Title() const;

  // Starts removing, on a worker thread of low priority, the folders under "VX" of runs
  // that are gone. The player window calls it once its movie is loaded, so that the
  // deleting (a few milliseconds a file under Wine) never delays the start; a start
  // that ends before (no window) sweeps at exit. ExitInstance stops a sweep that is
  // still running: what is left goes at a later start.
  void SweepLeftOverFolders();

  // The class factory of the control the package carries, loaded from the run folder
  // on the first call (see CCarriedControl); null when there is none or it cannot be
  // loaded.
  IClassFactory* CarriedFlashFactory();

  // This run's temporary folder: <system temporary folder>VX\<package folder>, no
  // trailing backslash (see CRunFolder), UTF-8. Empty until the folder is held.
  std::string m_tempFolder;
  // Names (UTF-8) of the extracted entries whose name ends in "SWF", in archive order.
  std::vector<std::string> m_slides;

 private:
  void InstallFlashControlIfNeeded();
  // Removes left-over folders and takes the package's own; false when none can be had.
  bool CreateRunFolder(HRSRC resource);
  // Extracts the archive; false when the player must end (too few entries or a
  // rejected archive, which has been reported).
  bool ExtractPackage(HRSRC resource);
  // The sweep's thread, for its priority and for waiting on it.
  HANDLE SweepThread();

  CRunFolder m_runFolder;
  CCarriedControl m_carriedControl;
  std::string m_sharedFolder;  // <system temporary folder>VX
  std::thread m_sweep;
  // Set when the process is about to end: a running sweep stops before its next file.
  std::atomic<bool> m_stopSweep{false};
  bool m_swept = false;
};
