// Win32 side of the file layer.
#include <windows.h>
#include <sys/utime.h>

#include "common/file.h"
#include "common/win32_handles.h"
#include "common/win32_text.h"

namespace vx {
namespace {

uint64_t ToU64(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

std::wstring win::PathW(const std::string& path) {
  std::wstring wide = win::Wide(path);
  if (wide.size() < MAX_PATH - 12 || wide.compare(0, 4, L"\\\\?\\") == 0 ||
      wide.compare(0, 4, L"\\\\.\\") == 0)
    return wide;
  const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return wide;
  std::wstring full(n, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), n, &full[0], nullptr);
  if (got == 0 || got >= n) return wide;
  full.resize(got);
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share
  return L"\\\\?\\" + full;
}

bool File::open(const std::string& path, Mode mode) {
  close();
  HANDLE h = INVALID_HANDLE_VALUE;
  switch (mode) {
    case Mode::Read:
      h = CreateFileW(win::PathW(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
      break;
    case Mode::CreateWrite:
      h = CreateFileW(win::PathW(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
      break;
    case Mode::CreateReadWrite:
      h = CreateFileW(win::PathW(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      break;
    case Mode::ReadWrite:
      h = CreateFileW(win::PathW(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
  if (!GetFileAttributesExW(win::PathW(path).c_str(), GetFileExInfoStandard, &data)) return false;
  out.attributes = data.dwFileAttributes;
  out.lastWrite = ToU64(data.ftLastWriteTime);
  out.lastAccess = ToU64(data.ftLastAccessTime);
  out.creation = ToU64(data.ftCreationTime);
  out.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesW(win::PathW(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
  DWORD a = GetFileAttributesW(win::PathW(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool SetFileTimesUnix(const std::string& path, int64_t accessTime, int64_t modificationTime) {
  struct _utimbuf times;
  times.actime = static_cast<time_t>(accessTime);
  times.modtime = static_cast<time_t>(modificationTime);
  return _wutime(win::PathW(path).c_str(), &times) == 0;
}

bool SetFileAttributeBits(const std::string& path, uint32_t attributes) {
  return SetFileAttributesW(win::PathW(path).c_str(), attributes) != FALSE;
}

bool CreateFolder(const std::string& path) {
  if (CreateDirectoryW(win::PathW(path).c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(path);
}

bool DeleteFilePath(const std::string& path) { return DeleteFileW(win::PathW(path).c_str()) != FALSE; }

bool RemoveFolder(const std::string& path) { return RemoveDirectoryW(win::PathW(path).c_str()) != FALSE; }

bool IsLink(const std::string& path) {
  const DWORD a = GetFileAttributesW(win::PathW(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool RemoveLink(const std::string& path) {
  // A link to a folder is itself a folder entry: RemoveDirectoryW takes the link away
  // and leaves its target as it is.
  const DWORD a = GetFileAttributesW(win::PathW(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  if (a & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryW(win::PathW(path).c_str()) != FALSE;
  return DeleteFileW(win::PathW(path).c_str()) != FALSE;
}

bool CopyFilePath(const std::string& from, const std::string& to) {
  return CopyFileW(win::PathW(from).c_str(), win::PathW(to).c_str(), FALSE) != FALSE;
}

bool MoveFileReplace(const std::string& from, const std::string& to) {
  return MoveFileExW(win::PathW(from).c_str(), win::PathW(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
}

bool ForEachInFolder(const std::string& folder, const std::function<void(const std::string&, bool)>& fn) {
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += "*.*";
  WIN32_FIND_DATAW fd;
  const win::UniqueFind find(FindFirstFileW(win::PathW(pattern).c_str(), &fd));
  if (!find) return false;
  do {
    const std::string name = win::Utf8(fd.cFileName, wcslen(fd.cFileName));
    if (name == "." || name == "..") continue;
    fn(name, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  } while (FindNextFileW(find.get(), &fd));
  return true;
}

std::string TempFolder() {
  wchar_t buf[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, buf);
  if (n == 0 || n > MAX_PATH) return ".\\";
  return win::Utf8(buf, n);
}

std::string ExecutableFolder() {
  // A path may exceed MAX_PATH where long paths are enabled: the buffer grows until
  // the whole name fits.
  std::wstring buf(MAX_PATH, L'\0');
  DWORD n;
  while ((n = GetModuleFileNameW(nullptr, &buf[0], static_cast<DWORD>(buf.size()))) >= buf.size() &&
         buf.size() < 32768)
    buf.resize(buf.size() * 2);
  const std::string path = n < buf.size() ? win::Utf8(buf.data(), n) : std::string();
  const size_t pos = path.find_last_of("\\/");
  return pos == std::string::npos ? std::string(".") : path.substr(0, pos);
}

std::string AbsolutePath(const std::string& path) {
  const std::wstring wide = win::Wide(path);
  const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), n, &full[0], nullptr);
  return got == 0 || got >= n ? path : win::Utf8(full.data(), got);
}

void FoldPathLetters(std::string& path) {
  for (char& c : path)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

}  // namespace vx
