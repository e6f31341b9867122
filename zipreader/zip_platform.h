// The few places where the reader asks the operating system something. One source
// per platform: zip_platform_win32.cpp, zip_platform_posix.cpp.
#pragma once
#include <cstddef>
#include <string>

namespace vx::zipplatform {

// Converts a name written by an MS-DOS host from the OEM to the ANSI code page, in
// place. The POSIX side leaves the bytes as they are.
void OemToAnsi(char* text, size_t length);

// Makes `text` a key under which two paths that name the same file compare equal:
// upper case in the ANSI code page on Windows, whose file system ignores case; as it
// is on POSIX.
void FoldPathCase(std::string& text);

// The last system error (GetLastError on Windows; 0 on POSIX, where errno serves).
unsigned long LastSystemError();

}  // namespace vx::zipplatform
