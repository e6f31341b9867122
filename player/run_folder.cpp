#include "player/run_folder.h"

#include <utility>
#include <vector>

#include "common/empty_folder.h"
#include "common/file.h"
#include "common/win32_text.h"
#include "player/playback_rules.h"

namespace {

// Opens a lock as its holder does: read and write access, others may only read.
// Nobody can open it so, or delete it, while a holder has it open.
vx::win::UniqueHandle OpenLock(const std::string& path, DWORD disposition) {
  return vx::win::UniqueHandle(CreateFileW(vx::win::PathW(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                                           nullptr));
}

std::string OwnFolder(const std::string& folder) { return vx::JoinPath(folder, CRunFolder::kOwnFolderName); }
std::string LockPath(const std::string& folder) {
  return vx::JoinPath(OwnFolder(folder), CRunFolder::kLockName);
}
std::string LegacyLockPath(const std::string& folder) {
  return vx::JoinPath(folder, CRunFolder::kLegacyLockName);
}

bool IsRealFolder(const std::string& path) { return vx::IsDirectory(path) && !vx::IsLink(path); }

bool SameName(const std::string& a, const char* b) {
  return lstrcmpiW(vx::win::Wide(a).c_str(), vx::win::Wide(b).c_str()) == 0;
}

// Deletes everything in `folder` but the lock file `keep` (held open by the caller)
// and the folders on the way to it. Links are removed, never followed. True when
// nothing else is left.
bool EmptyAllBut(const std::string& folder, const std::string& keep, const std::atomic<bool>* stop) {
  std::vector<std::string> entries;
  if (!vx::ForEachInFolder(folder, [&](const std::string& name, bool) { entries.push_back(name); }))
    return false;
  bool empty = true;
  for (const std::string& name : entries) {
    if (stop && stop->load()) return false;
    const std::string path = vx::JoinPath(folder, name);
    bool gone;
    if (SameName(path, keep.c_str())) {
      continue;
    } else if (vx::IsLink(path)) {
      gone = vx::RemoveLink(path);
    } else if (vx::IsDirectory(path)) {
      const bool holdsKeep = keep.size() > path.size() &&
                             SameName(keep.substr(0, path.size()), path.c_str()) &&
                             (keep[path.size()] == '\\' || keep[path.size()] == '/');
      if (holdsKeep) {
        gone = false;
        if (EmptyAllBut(path, keep, stop)) continue;
      } else {
        vx::EmptyFolder(path, stop);
        gone = vx::RemoveFolder(path);
      }
    } else {
      gone = vx::DeleteFilePath(path);
      if (!gone) {
        // A read-only file cannot be deleted until it is writable again.
        vx::SetFileAttributeBits(path, vx::kAttrNormal);
        gone = vx::DeleteFilePath(path);
      }
    }
    empty = empty && gone;
  }
  return empty;
}

// Deletes the (closed) lock, the own folder and the run folder. Another start may take
// the folder between the calls: its lock then stays, and so does the folder.
bool RemoveUnlocked(const std::string& folder, const std::string& lock) {
  if (!vx::DeleteFilePath(lock)) return false;
  if (lock == LockPath(folder)) vx::RemoveFolder(OwnFolder(folder));
  return vx::RemoveFolder(folder);
}

// True when the folder holds nothing, or nothing but an empty own folder: what a run
// leaves when it ends between removing its lock and its folder.
bool HoldsNothing(const std::string& folder) {
  bool nothing = true;
  vx::ForEachInFolder(folder, [&](const std::string& name, bool isDirectory) {
    const std::string path = vx::JoinPath(folder, name);
    if (!(isDirectory && SameName(name, CRunFolder::kOwnFolderName) && !vx::IsLink(path))) {
      nothing = false;
      return;
    }
    vx::ForEachInFolder(path, [&](const std::string&, bool) { nothing = false; });
  });
  return nothing;
}

// Removes one folder of a run that is gone, if it is one; true when it was removed.
bool SweepOne(const std::string& folder, const std::atomic<bool>* stop) {
  for (const std::string& lockPath : {LockPath(folder), LegacyLockPath(folder)}) {
    if (!vx::PathExists(lockPath)) continue;
    // Taking the lock as a holder would keeps a package that starts meanwhile from
    // taking the folder while it is emptied. A lock that is held leaves it alone.
    vx::win::UniqueHandle lock = OpenLock(lockPath, OPEN_EXISTING);
    if (!lock) return false;
    const bool empty = EmptyAllBut(folder, lockPath, stop);
    lock.reset();
    return empty && RemoveUnlocked(folder, lockPath);
  }
  if (!HoldsNothing(folder)) return false;
  vx::RemoveFolder(OwnFolder(folder));
  return vx::RemoveFolder(folder);
}

}  // namespace

CRunFolder::~CRunFolder() { Release(); }

std::string CRunFolder::ownFolder() const { return m_path.empty() ? std::string() : OwnFolder(m_path); }

int CRunFolder::SweepStale(const std::string& root, const std::atomic<bool>* stop) {
  // A shared folder that is itself a link is never swept: it leads somewhere else.
  if (!IsRealFolder(root)) return 0;
  // List first, then remove: a listing is not to be changed while it is read.
  std::vector<std::string> folders;
  vx::ForEachInFolder(root, [&](const std::string& name, bool isDirectory) {
    if (isDirectory) folders.push_back(vx::JoinPath(root, name));
  });
  int removed = 0;
  for (const std::string& folder : folders) {
    if (stop && stop->load()) break;
    // Only real folders: a link is never followed into whatever it points at.
    if (vx::IsLink(folder)) continue;
    if (SweepOne(folder, stop)) ++removed;
  }
  return removed;
}

bool CRunFolder::Claim(const std::string& root, const std::string& packageFolderName) {
  Release();
  for (int instance = 1; instance <= kMaxInstances; ++instance) {
    const std::string folder = vx::JoinPath(root, vx::InstanceFolderName(packageFolderName, instance));
    const DWORD started = GetTickCount();
    for (int attempt = 0;; ++attempt) {
      // A folder (or its own folder) that is a link leads somewhere else: nothing is
      // made, replaced or deleted there.
      vx::CreateFolder(folder);  // usually new; left over after a crash
      if (vx::IsLink(folder)) break;
      vx::CreateFolder(OwnFolder(folder));
      if (vx::IsLink(OwnFolder(folder))) break;
      vx::win::UniqueHandle lock = OpenLock(LockPath(folder), OPEN_ALWAYS);
      if (lock) {
        m_lock = std::move(lock);
        m_path = folder;
        // Whatever an earlier run could not remove goes now that the folder is ours.
        EmptyAllBut(folder, LockPath(folder), nullptr);
        return true;
      }
      const DWORD error = GetLastError();
      // The folder went away between the calls (another start removed it as left
      // over): make it again.
      if (error == ERROR_PATH_NOT_FOUND && attempt < 3) continue;
      // The package's own folder is held: by a run that may be ending right now (a
      // quick restart), whose saved data is found only in this folder. Wait a little
      // for it; then it is another instance that plays on.
      if (error == ERROR_SHARING_VIOLATION && instance == 1 && GetTickCount() - started < kOwnFolderWaitMs) {
        Sleep(50);
        continue;
      }
      break;
    }
  }
  return false;
}

void CRunFolder::Release() {
  if (!m_lock) return;
  // The folder may have been replaced by a link while the package ran: nothing is
  // deleted through it.
  const bool empty = IsRealFolder(m_path) && EmptyAllBut(m_path, LockPath(m_path), nullptr);
  m_lock.reset();
  // With something left (a file in use), the lock file stays, unlocked now: the next
  // start of a package finds the folder as left over and removes it.
  if (empty) RemoveUnlocked(m_path, LockPath(m_path));
  m_path.clear();
}
