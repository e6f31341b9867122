#include "packager/app/work_folder.h"

#include "common/empty_folder.h"
#include "common/file.h"
#include "common/win32_text.h"

std::string InstallDirFromModuleName(const char* buffer, DWORD length, DWORD capacity) {
  if (!buffer || length == 0 || length >= capacity) return std::string();
  const std::string path(buffer, length);
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string WorkFolderOf(const std::string& installDir) {
  return installDir.empty() ? std::string() : installDir + "\\Temp";
}

bool EmptyWorkFolder(const std::string& installDir) {
  const std::string work = vx::win::AnsiToUtf8(WorkFolderOf(installDir));
  if (work.empty() || !vx::IsDirectory(work) || vx::IsLink(work)) return false;
  vx::EmptyFolder(work);
  return true;
}
