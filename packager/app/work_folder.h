// The packager's installation folder and its work folder "Temp", which the packager
// makes at every start and empties at every exit.
#pragma once
#include <windows.h>

#include <string>

// The installation folder from the answer of GetModuleFileNameA: `length` characters
// written into a buffer of `capacity`. The path before its last backslash; empty when
// the call failed (0), cut the path short (length == capacity) or gave no folder.
std::string InstallDirFromModuleName(const char* buffer, DWORD length, DWORD capacity);

// installDir + "\Temp"; empty for an empty installDir, never "\Temp" alone (the root
// of whatever drive is current).
std::string WorkFolderOf(const std::string& installDir);

// Empties the work folder of `installDir` (in the ANSI code page, as the window holds
// it) and keeps the folder. Does nothing, and
// returns false, when the installation folder is unknown or the work folder is a link
// (a junction or symbolic link named Temp leads to a folder the packager did not make).
bool EmptyWorkFolder(const std::string& installDir);
