// Writing a resource of the running executable to a file: the control a package
// carries, for installing it or for loading it from the run folder.
#pragma once
#include <windows.h>

#include <string>

// Writes resource (id, type) of `module` to `path` (UTF-8; created or replaced). True
// when the whole resource was written.
bool WriteResourceToFile(HMODULE module, UINT id, const char* type, const std::string& path);
