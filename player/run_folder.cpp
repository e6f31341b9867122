#include "player/run_folder.h"

#include <utility>
#include <vector>

#include "common/empty_folder.h"
#include "player/playback_rules.h"

namespace {

// Opens a folder's lock as its holder does: read and write access, others may only
// read. Nobody can open it so, or delete it, while a holder has it open.
vx::win::UniqueHandle OpenLock(const std::string& path, DWORD disposition) {
  return vx::win::UniqueHandle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                           nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Deletes everything in `folder` but its lock (which the caller holds open). True
// when nothing but the lock is left.
bool EmptyAllButLock(const std::string& folder) {
  std::vector<std::pair<std::string, DWORD>> entries;
  WIN32_FIND_DATAA fd;
  {
    vx::win::UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &fd));
    if (!find) return false;
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == ".." || lstrcmpiA(name.c_str(), CRunFolder::kLockName) == 0) continue;
      entries.emplace_back(folder + "\\" + name, fd.dwFileAttributes);
    } while (FindNextFileA(find.get(), &fd));
  }
  bool empty = true;
  for (const auto& [path, attributes] : entries) {
    bool gone;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      vx::EmptyFolder(path);
      gone = RemoveDirectoryA(path.c_str()) != 0;
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      gone = RemoveDirectoryA(path.c_str()) != 0;  // a link: removed, never followed
    } else {
      if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      gone = DeleteFileA(path.c_str()) != 0;
    }
    empty = empty && gone;
  }
  return empty;
}

// Deletes the (closed) lock and the folder. Another start may take the folder between
// the two: its lock then stays, and so does the folder.
bool RemoveUnlocked(const std::string& folder) {
  std::string lock = folder + "\\" + CRunFolder::kLockName;
  return DeleteFileA(lock.c_str()) && RemoveDirectoryA(folder.c_str());
}

}  // namespace

CRunFolder::~CRunFolder() { Release(); }

int CRunFolder::SweepStale(const std::string& root, const std::atomic<bool>* stop) {
  // List first, then remove: a listing is not to be changed while it is read.
  std::vector<std::string> folders;
  WIN32_FIND_DATAA fd;
  {
    vx::win::UniqueFind find(FindFirstFileA((root + "\\*").c_str(), &fd));
    if (!find) return 0;
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      // Only real folders: a link is never followed into whatever it points at.
      if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        folders.push_back(root + "\\" + name);
    } while (FindNextFileA(find.get(), &fd));
  }

  int removed = 0;
  for (const std::string& folder : folders) {
    if (stop && stop->load()) break;
    // Taking the lock as a holder would keeps a package that starts meanwhile from
    // taking the folder while it is emptied. A lock that is held, or none at all,
    // leaves the folder alone.
    vx::win::UniqueHandle lock = OpenLock(folder + "\\" + kLockName, OPEN_EXISTING);
    if (!lock) continue;
    bool empty = EmptyAllButLock(folder);
    lock.reset();
    if (empty && RemoveUnlocked(folder)) ++removed;
  }
  return removed;
}

bool CRunFolder::Claim(const std::string& root, const std::string& packageFolderName) {
  Release();
  for (int instance = 1; instance <= kMaxInstances; ++instance) {
    std::string folder = root + "\\" + vx::InstanceFolderName(packageFolderName, instance);
    for (int attempt = 0; attempt < 3; ++attempt) {
      CreateDirectoryA(folder.c_str(), nullptr);  // usually new; left over after a crash
      vx::win::UniqueHandle lock = OpenLock(folder + "\\" + kLockName, OPEN_ALWAYS);
      if (lock) {
        m_hLock = std::move(lock);
        m_strPath = folder;
        // Whatever an earlier run could not remove goes now that the folder is ours.
        EmptyAllButLock(folder);
        return true;
      }
      // The folder went away between the two calls (another start removed it as left
      // over): make it again. Any other failure means another instance holds it.
      if (GetLastError() != ERROR_PATH_NOT_FOUND) break;
    }
  }
  return false;
}

void CRunFolder::Release() {
  if (!m_hLock) return;
  bool empty = EmptyAllButLock(m_strPath);
  m_hLock.reset();
  // With something left (a file in use), the lock file stays, unlocked now: the next
  // start of a package finds the folder as left over and removes it.
  if (empty) RemoveUnlocked(m_strPath);
  m_strPath.clear();
}
