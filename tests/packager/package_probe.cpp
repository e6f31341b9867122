// What Windows itself reads of a package's version information and icon, for tests
// that compare it with what the package was given.
//
//   package_probe.exe PACKAGE [SIZE...]
//
// prints, one fact per line, fields separated by TABs:
//   fixed        FILEVERSION  PRODUCTVERSION      (a.b.c.d, from VS_FIXEDFILEINFO)
//   translation  LLLLCCCC                         (the first \VarFileInfo\Translation entry)
//   string       KEY  VALUE                       (UTF-8; each known key that the string
//                                                  table of that translation has)
//   icon         SIZE  WIDTHxHEIGHT  ID  BYTES  FNV1A
// The icon line is LoadImage of icon 128 at SIZE x SIZE (the size of the icon it made),
// and the RT_ICON image LookupIconIdFromDirectoryEx picks for that size, with its length
// and hash. Version information comes from GetFileVersionInfoSizeW, GetFileVersionInfoW
// and VerQueryValueW, as Explorer reads it. Exit 0; 1 when the package's version
// information or icon cannot be read.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "common/win32_handles.h"

namespace {

std::wstring Wide(const char* text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring out(n > 0 ? n : 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], n);
  out.resize(out.size() - 1);
  return out;
}

std::string Utf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

std::string Version(DWORD ms, DWORD ls) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(HIWORD(ms)), unsigned(LOWORD(ms)),
                unsigned(HIWORD(ls)), unsigned(LOWORD(ls)));
  return text;
}

bool ProbeVersion(const std::wstring& path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<BYTE> info(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed && length) {
    std::printf("fixed\t%s\t%s\n", Version(fixed->dwFileVersionMS, fixed->dwFileVersionLS).c_str(),
                Version(fixed->dwProductVersionMS, fixed->dwProductVersionLS).c_str());
  }
  WORD* translation = nullptr;
  if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                      &length) ||
      length < 4)
    return true;
  // As Explorer names the table: language and code page in lower-case hex.
  wchar_t table[16];
  std::swprintf(table, 16, L"%04x%04x", translation[0], translation[1]);
  std::printf("translation\t%s\n", Utf8(table).c_str());
  static const wchar_t* kKeys[] = {L"FileVersion",      L"ProductVersion", L"CompanyName",
                                   L"FileDescription",  L"LegalCopyright", L"ProductName",
                                   L"OriginalFilename", L"InternalName",   L"Comments"};
  for (const wchar_t* key : kKeys) {
    std::wstring query = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + key;
    wchar_t* value = nullptr;
    if (VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) && value)
      std::printf("string\t%s\t%s\n", Utf8(key).c_str(), Utf8(value).c_str());
  }
  return true;
}

uint32_t Fnv1a(const BYTE* p, DWORD n) {
  uint32_t h = 2166136261u;
  for (DWORD i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

struct IconTraits {  // LoadImage(IMAGE_ICON)
  using Handle = HICON;
  static Handle invalid() { return nullptr; }
  static Handle also_invalid() { return nullptr; }
  static void close(Handle h) { DestroyIcon(h); }
};

bool ProbeIcon(HMODULE module, int size) {
  vx::win::Unique<IconTraits> icon(
      static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(128), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
  if (!icon) return false;
  ICONINFO ii = {};
  BITMAP bm = {};
  bool ok = GetIconInfo(icon.get(), &ii);
  vx::win::GdiObject<HBITMAP> color(ii.hbmColor), mask(ii.hbmMask);
  ok = ok && GetObjectW(color ? color.get() : mask.get(), sizeof bm, &bm);
  int height = color ? bm.bmHeight : bm.bmHeight / 2;
  HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(128), MAKEINTRESOURCEW(14));
  BYTE* directory = group ? static_cast<BYTE*>(LockResource(LoadResource(module, group))) : nullptr;
  int id = directory ? LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR) : 0;
  HRSRC image = id ? FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3)) : nullptr;
  const BYTE* bytes = image ? static_cast<const BYTE*>(LockResource(LoadResource(module, image))) : nullptr;
  if (!ok || !bytes) return false;
  DWORD length = SizeofResource(module, image);
  std::printf("icon\t%d\t%dx%d\t%d\t%lu\t%08x\n", size, int(bm.bmWidth), height, id,
              static_cast<unsigned long>(length), static_cast<unsigned>(Fnv1a(bytes, length)));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: package_probe PACKAGE [SIZE...]\n");
    return 2;
  }
  std::wstring path = Wide(argv[1]);
  bool ok = ProbeVersion(path);
  if (!ok) std::fprintf(stderr, "package_probe: no version information (error %lu)\n", GetLastError());
  vx::win::UniqueModule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) {
    std::fprintf(stderr, "package_probe: cannot load the package (error %lu)\n", GetLastError());
    return 1;
  }
  for (int i = 2; i < argc; ++i) {
    if (!ProbeIcon(module.get(), std::atoi(argv[i]))) {
      std::fprintf(stderr, "package_probe: icon 128 at %s pixels cannot be loaded (error %lu)\n", argv[i],
                   GetLastError());
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
