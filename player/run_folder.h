// CRunFolder: a package's own folder under the shared "VX" temporary folder, held by a
// lock file for as long as the package runs.
//
// A running player keeps "<folder>\~orrinet.lock" open, sharing read access only: no
// other process can open the lock for writing or delete it while the player lives.
// When the process ends, however it ends, the system closes the handle, and the lock
// can be taken again. That is how a folder left by a run that was killed or crashed is
// told from one in use: process ids are reused, open handles are not inherited by
// strangers. Folders without a lock file are not the player's (or not yet) and are
// never touched.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "common/win32_handles.h"

class CRunFolder {
 public:
  static constexpr char kLockName[] = "~orrinet.lock";
  // Instances of one package running at once: the first gets the package's folder,
  // the others "<folder>-2", "<folder>-3", ...
  static constexpr int kMaxInstances = 64;

  CRunFolder() = default;
  ~CRunFolder();
  CRunFolder(const CRunFolder&) = delete;
  CRunFolder& operator=(const CRunFolder&) = delete;

  // Empties and removes every folder under `root` whose lock nobody holds: each
  // belongs to a run that is gone. Returns how many were removed. Stops before the
  // next folder once `*stop` is set; what is left is removed by a later sweep.
  static int SweepStale(const std::string& root, const std::atomic<bool>* stop = nullptr);

  // Takes the first free folder of the package: root\<name>, root\<name>-2, ...,
  // creating it when needed, and locks it. Leftovers in it are removed. False when
  // none can be taken.
  bool Claim(const std::string& root, const std::string& packageFolderName);

  // The locked folder (no trailing backslash); empty before Claim.
  const std::string& path() const { return m_strPath; }

  // Empties the folder and removes it with its lock. When something in it cannot be
  // deleted (a file still in use), the lock file stays behind, unlocked, so that the
  // next start of a package removes the rest.
  void Release();

 private:
  std::string m_strPath;
  vx::win::UniqueHandle m_hLock;
};
