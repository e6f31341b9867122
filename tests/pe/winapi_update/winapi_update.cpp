// Applies a resource update to an executable with the Windows functions
// BeginUpdateResourceA / UpdateResourceA / EndUpdateResourceA, for tests that compare
// our own rewriter's result with the system's.
//
//   winapi_update.exe EXE [--delete-existing] OP...
//     set TYPE NAME LANG FILE    replace or add (TYPE, NAME, LANG) with FILE's bytes
//     del TYPE NAME LANG         delete the entry
//   TYPE and NAME are decimal ids or names.
// Exits 0 on success; on failure prints the failing step and GetLastError() and exits 1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

LPCSTR Id(const char* text) {
  bool digits = *text != '\0';
  for (const char* p = text; *p; ++p)
    if (*p < '0' || *p > '9') digits = false;
  return digits ? MAKEINTRESOURCEA(std::atoi(text)) : text;
}

bool ReadAll(const char* path, std::vector<char>& out) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

int Fail(const char* step) {
  std::fprintf(stderr, "winapi_update: %s failed (error %lu)\n", step, GetLastError());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: winapi_update EXE [--delete-existing] OP...\n");
    return 2;
  }
  int i = 2;
  BOOL deleteExisting = FALSE;
  if (i < argc && std::strcmp(argv[i], "--delete-existing") == 0) {
    deleteExisting = TRUE;
    ++i;
  }
  HANDLE h = BeginUpdateResourceA(argv[1], deleteExisting);
  if (!h) return Fail("BeginUpdateResourceA");
  std::vector<std::vector<char>> keep;  // UpdateResourceA copies, but keep them anyway
  while (i < argc) {
    std::string op = argv[i];
    if (op == "set" && i + 4 < argc) {
      keep.emplace_back();
      if (!ReadAll(argv[i + 4], keep.back())) {
        std::fprintf(stderr, "winapi_update: cannot read %s\n", argv[i + 4]);
        EndUpdateResourceA(h, TRUE);
        return 1;
      }
      std::vector<char>& data = keep.back();
      if (!UpdateResourceA(h, Id(argv[i + 1]), Id(argv[i + 2]), static_cast<WORD>(std::atoi(argv[i + 3])),
                           data.empty() ? const_cast<char*>("") : data.data(),
                           static_cast<DWORD>(data.size())))
        return Fail("UpdateResourceA");
      i += 5;
    } else if (op == "del" && i + 3 < argc) {
      if (!UpdateResourceA(h, Id(argv[i + 1]), Id(argv[i + 2]), static_cast<WORD>(std::atoi(argv[i + 3])),
                           nullptr, 0))
        return Fail("UpdateResourceA (delete)");
      i += 4;
    } else {
      std::fprintf(stderr, "winapi_update: bad operation at %s\n", argv[i]);
      EndUpdateResourceA(h, TRUE);
      return 2;
    }
  }
  if (!EndUpdateResourceA(h, FALSE)) return Fail("EndUpdateResourceA");
  return 0;
}
