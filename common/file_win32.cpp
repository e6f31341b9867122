// Win32 side of the file layer.
#include <windows.h>
#include <sys/utime.h>

#include "common/file.h"
#include "common/win32_handles.h"

namespace vx {
namespace {

uint64_t ToU64(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

bool File::open(const std::string& path, Mode mode) {
  close();
  HANDLE h = INVALID_HANDLE_VALUE;
  switch (mode) {
    case Mode::Read:
      h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
      break;
    case Mode::CreateWrite:
      h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      break;
    case Mode::CreateReadWrite:
      h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
      break;
    case Mode::ReadWrite:
      h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
      break;
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  m_handle = reinterpret_cast<intptr_t>(h);
  return true;
}

bool File::isOpen() const { return m_handle != -1; }

bool File::close() {
  if (m_handle == -1) return true;
  BOOL ok = CloseHandle(H(m_handle));
  m_handle = -1;
  return ok != FALSE;
}

long long File::read(void* buf, size_t len) {
  if (m_handle == -1) return -1;
  char* p = static_cast<char*>(buf);
  long long total = 0;
  while (len > 0) {
    DWORD piece = len > 0x40000000u ? 0x40000000u : static_cast<DWORD>(len);
    DWORD got = 0;
    if (!ReadFile(H(m_handle), p, piece, &got, nullptr)) return total > 0 ? total : -1;
    if (got == 0) break;
    total += got;
    p += got;
    len -= got;
    if (got < piece) break;
  }
  return total;
}

bool File::write(const void* buf, size_t len) {
  if (m_handle == -1) return false;
  const char* p = static_cast<const char*>(buf);
  while (len > 0) {
    DWORD piece = len > 0x40000000u ? 0x40000000u : static_cast<DWORD>(len);
    DWORD put = 0;
    if (!WriteFile(H(m_handle), p, piece, &put, nullptr) || put == 0) return false;
    p += put;
    len -= put;
  }
  return true;
}

bool File::seek(uint64_t offset) {
  if (m_handle == -1) return false;
  LARGE_INTEGER li;
  li.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(H(m_handle), li, nullptr, FILE_BEGIN) != FALSE;
}

long long File::tell() const {
  if (m_handle == -1) return -1;
  LARGE_INTEGER zero, pos;
  zero.QuadPart = 0;
  if (!SetFilePointerEx(H(m_handle), zero, &pos, FILE_CURRENT)) return -1;
  return pos.QuadPart;
}

bool File::describe(FileDescription& out) const {
  BY_HANDLE_FILE_INFORMATION info;
  if (m_handle == -1 || !GetFileInformationByHandle(H(m_handle), &info)) return false;
  out.attributes = info.dwFileAttributes;
  out.lastWrite = ToU64(info.ftLastWriteTime);
  out.lastAccess = ToU64(info.ftLastAccessTime);
  out.creation = ToU64(info.ftCreationTime);
  out.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return true;
}

bool DescribePath(const std::string& path, FileDescription& out) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  out.attributes = data.dwFileAttributes;
  out.lastWrite = ToU64(data.ftLastWriteTime);
  out.lastAccess = ToU64(data.ftLastAccessTime);
  out.creation = ToU64(data.ftCreationTime);
  out.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool SetFileTimesUnix(const std::string& path, int64_t accessTime, int64_t modificationTime) {
  struct _utimbuf times;
  times.actime = static_cast<time_t>(accessTime);
  times.modtime = static_cast<time_t>(modificationTime);
  return _utime(path.c_str(), &times) == 0;
}

bool SetFileAttributeBits(const std::string& path, uint32_t attributes) {
  return SetFileAttributesA(path.c_str(), attributes) != FALSE;
}

bool CreateFolder(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(path);
}

bool DeleteFilePath(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

bool RemoveFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != FALSE; }

bool IsLink(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool RemoveLink(const std::string& path) {
  // A link to a folder is itself a folder entry: RemoveDirectoryA takes the link away
  // and leaves its target as it is.
  const DWORD a = GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  if (a & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryA(path.c_str()) != FALSE;
  return DeleteFileA(path.c_str()) != FALSE;
}

bool CopyFilePath(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool MoveFileReplace(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
}

bool ForEachInFolder(const std::string& folder, const std::function<void(const std::string&, bool)>& fn) {
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += "*.*";
  WIN32_FIND_DATAA fd;
  const win::UniqueFind find(FindFirstFileA(pattern.c_str(), &fd));
  if (!find) return false;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    fn(name, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  } while (FindNextFileA(find.get(), &fd));
  return true;
}

std::string TempFolder() {
  char buf[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof buf, buf);
  if (n == 0 || n > MAX_PATH) return ".\\";
  return std::string(buf, n);
}

std::string ExecutableFolder() {
  char buf[MAX_PATH + 1];
  const DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  const std::string path(buf, n);
  const size_t pos = path.find_last_of("\\/");
  return pos == std::string::npos ? std::string(".") : path.substr(0, pos);
}

void FoldPathLetters(std::string& path) {
  for (char& c : path)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

}  // namespace vx
