// The few places where the reader asks the operating system something. One source
// per platform: zip_platform_win32.cpp, zip_platform_posix.cpp.
#pragma once
#include <string>

namespace vx::zipplatform {

// Makes `text` (UTF-8) a key under which two paths that name the same file compare
// equal: upper case as Windows folds file names, whose file system ignores case; as
// it is on POSIX.
void FoldPathCase(std::string& text);

// The last system error (GetLastError on Windows; 0 on POSIX, where errno serves).
unsigned long LastSystemError();

}  // namespace vx::zipplatform
