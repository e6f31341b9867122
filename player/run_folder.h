// CRunFolder: a package's own folder under the shared "VX" temporary folder, held by a
// lock file for as long as the package runs.
//
// A running player keeps "<folder>\~orrinet\run.lock" open, sharing read access only:
// no other process can open the lock for writing or delete it while the player lives.
// When the process ends, however it ends, the system closes the handle, and the lock
// can be taken again. That is how a folder left by a run that was killed or crashed is
// told from one in use: process ids are reused, open handles are not inherited by
// strangers. Folders that hold something but no lock file are not the player's (or not
// yet) and are never touched.
//
// The lock and the control a package may carry live in the player's own sub-folder
// "~orrinet". A package's entries are plain file names that never reach into a folder,
// and that folder is made before anything is extracted, so no entry can overwrite them.
//
// Nothing is ever emptied or removed through a link: a run folder that is a link (a
// junction, a symbolic link) is refused and the next instance's name taken, and the
// sweep passes links by.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "common/win32_handles.h"

class CRunFolder {
 public:
  // The player's own sub-folder of a run folder, and the lock file in it.
  static constexpr char kOwnFolderName[] = "~orrinet";
  static constexpr char kLockName[] = "run.lock";
  // Where earlier players kept their lock: at the top of the run folder. The sweep
  // still recognises their left-over folders by it.
  static constexpr char kLegacyLockName[] = "~orrinet.lock";
  // Instances of one package running at once: the first gets the package's folder,
  // the others "<folder>-2", "<folder>-3", ...
  static constexpr int kMaxInstances = 64;
  // How long a start waits for its package's folder to be let go by a run that is
  // still ending, before it takes the next instance's folder.
  static constexpr DWORD kOwnFolderWaitMs = 1000;

  CRunFolder() = default;
  ~CRunFolder();
  CRunFolder(const CRunFolder&) = delete;
  CRunFolder& operator=(const CRunFolder&) = delete;

  // Empties and removes every folder under `root` whose lock nobody holds (each
  // belongs to a run that is gone), and every folder that holds nothing at all (a run
  // killed between removing its lock and its folder). Returns how many were removed.
  // Once `*stop` is set it stops before the next file; what is left is removed by a
  // later sweep.
  static int SweepStale(const std::string& root, const std::atomic<bool>* stop = nullptr);

  // Takes the first free folder of the package: root\<name>, root\<name>-2, ...,
  // creating it when needed, and locks it. Leftovers in it are removed. False when
  // none can be taken.
  bool Claim(const std::string& root, const std::string& packageFolderName);

  // The locked folder (no trailing backslash); empty before Claim.
  const std::string& path() const { return m_path; }
  // The player's own sub-folder of it, for the files that are not the package's.
  std::string ownFolder() const;

  // Empties the folder and removes it with its lock. When something in it cannot be
  // deleted (a file still in use), the lock file stays behind, unlocked, so that the
  // next start of a package removes the rest.
  void Release();

 private:
  std::string m_path;
  vx::win::UniqueHandle m_lock;
};
