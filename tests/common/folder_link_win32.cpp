#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <vector>

#include "common/byte_order.h"
#include "common/win32_handles.h"
#include "tests/common/folder_link.h"

namespace vx::test {

namespace {

bool IsReparsePoint(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::wstring WideIn(UINT codePage, const std::string& s) {
  std::wstring w(s.size() + 1, L'\0');
  const int n = MultiByteToWideChar(codePage, 0, s.c_str(), -1, &w[0], static_cast<int>(w.size()));
  w.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
  return w;
}
std::wstring Wide(const std::string& s) { return WideIn(CP_ACP, s); }
std::wstring WideFromUtf8(const std::string& s) { return WideIn(CP_UTF8, s); }

// A junction: an empty folder with a mount-point reparse point naming the target.
bool MakeJunction(const std::string& target, const std::string& link) {
  if (!CreateDirectoryA(link.c_str(), nullptr)) return false;
  const std::wstring substitute = L"\\??\\" + Wide(target), print = Wide(target);
  const size_t pathBytes = (substitute.size() + 1 + print.size() + 1) * sizeof(wchar_t);
  std::vector<BYTE> buffer(8 + 8 + pathBytes, 0);
  auto put16 = [&](size_t at, size_t v) { StoreLE16(&buffer[at], static_cast<uint16_t>(v)); };
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  std::memcpy(&buffer[0], &tag, 4);
  put16(4, 8 + pathBytes);                               // reparse data length
  put16(8, 0);                                           // substitute name offset
  put16(10, substitute.size() * sizeof(wchar_t));        // and length
  put16(12, (substitute.size() + 1) * sizeof(wchar_t));  // print name offset
  put16(14, print.size() * sizeof(wchar_t));             // and length
  std::memcpy(&buffer[16], substitute.c_str(), substitute.size() * sizeof(wchar_t));
  std::memcpy(&buffer[16 + (substitute.size() + 1) * sizeof(wchar_t)], print.c_str(),
              print.size() * sizeof(wchar_t));
  bool ok;
  {
    const win::UniqueHandle h(CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
    DWORD done = 0;
    ok = h && DeviceIoControl(h.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                              static_cast<DWORD>(buffer.size()), nullptr, 0, &done, nullptr);
  }
  if (!ok) RemoveDirectoryA(link.c_str());
  return ok;
}

// Waits up to ten seconds for `done`.
template <typename Done>
bool WaitFor(Done done) {
  for (int i = 0; i < 200; ++i) {
    if (done()) return true;
    Sleep(50);
  }
  return done();
}

// Under Wine: a Unix program on Unix paths (Wine starts it like any program, but its
// process handle does not wait for it: callers wait for the program's effect). False
// when this is not Wine or the program could not be started.
bool RunUnixTool(const char* program, const std::vector<std::string>& windowsPaths, const char* options) {
  using UnixName = char*(CDECL*)(LPCWSTR);
  const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) return false;
  // The command line is UTF-16: the Unix paths are UTF-8, which the ANSI code page would
  // read wrongly as soon as a path holds a letter beyond ASCII.
  std::wstring command = Wide(std::string(program) + " " + options);
  for (const std::string& path : windowsPaths) {
    char* unixPath = unixName(Wide(path).c_str());
    if (!unixPath) return false;
    command += L" \"" + WideFromUtf8(unixPath) + L"\"";
    HeapFree(GetProcessHeap(), 0, unixPath);
  }
  const std::wstring application = L"Z:\\bin\\" + Wide(program);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(application.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return false;
  const win::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  WaitForSingleObject(process.get(), 10000);
  return true;
}

}  // namespace

FolderLink MakeFolderLink(const std::string& target, const std::string& link) {
  // SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE. (Wine 8
  // answers success and makes nothing: the result is looked at on the disk.)
  if (CreateSymbolicLinkA(link.c_str(), target.c_str(), 0x1 | 0x2) && IsReparsePoint(link))
    return FolderLink::Native;
  if (MakeJunction(target, link) && IsReparsePoint(link)) return FolderLink::Native;
  if (RunUnixTool("ln", {target, link}, "-s") && WaitFor([&] { return IsReparsePoint(link); }))
    return FolderLink::UnixUnderWine;
  return FolderLink::None;
}

void DropFolderLink(const std::string& link) {
  if (!IsReparsePoint(link)) return;
  if (!RemoveDirectoryA(link.c_str()) && RunUnixTool("rm", {link}, "-f"))
    WaitFor([&] { return GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

}  // namespace vx::test
