#include "player/resource_file.h"

#include "common/file.h"

bool WriteResourceToFile(HMODULE module, UINT id, const char* type, const std::string& path) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (!found) return false;
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  DWORD size = SizeofResource(module, found);
  if (!data) return false;
  vx::File file;
  return file.open(path, vx::File::Mode::CreateWrite) && file.write(data, size) && file.close();
}
