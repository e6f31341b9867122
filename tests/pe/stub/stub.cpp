// A small console program that reports the resources a package's player reads:
// "ZIP" 129, "OCX" 1091 and string 1, one line each, so that a test can run a copy
// whose resources were replaced and check what the Windows loader finds in it.
//   ZIP 129 <size> <fnv1a-32 hex>      or  ZIP 129 absent
//   OCX 1091 <size> <fnv1a-32 hex>     or  OCX 1091 absent
//   STRING 1 <UTF-16 code units in hex, blank-separated>
// Exits 0 when it could look (whatever it found), 1 when a lookup failed oddly.
#include <windows.h>

#include <cstdio>

namespace {

unsigned long Fnv1a(const unsigned char* p, DWORD n) {
  unsigned long h = 2166136261ul;
  for (DWORD i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619ul & 0xFFFFFFFFul;
  return h;
}

bool Report(const char* type, WORD id) {
  HRSRC r = FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
  if (!r) {
    std::printf("%s %u absent\n", type, id);
    return true;
  }
  HGLOBAL g = LoadResource(nullptr, r);
  DWORD size = SizeofResource(nullptr, r);
  const unsigned char* p = g ? static_cast<const unsigned char*>(LockResource(g)) : nullptr;
  if (!p && size) return false;
  std::printf("%s %u %lu %08lx\n", type, id, static_cast<unsigned long>(size), Fnv1a(p, size));
  return true;
}

}  // namespace

int main() {
  bool ok = Report("ZIP", 129) && Report("OCX", 1091);
  // LoadStringW with a zero buffer length gives a pointer to the string in place.
  const wchar_t* text = nullptr;
  int n = LoadStringW(GetModuleHandleW(nullptr), 1, reinterpret_cast<LPWSTR>(&text), 0);
  std::printf("STRING 1");
  for (int i = 0; i < n && text; ++i) std::printf(" %04x", static_cast<unsigned>(text[i]));
  std::printf("\n");
  return ok ? 0 : 1;
}
