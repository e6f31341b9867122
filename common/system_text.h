// Text that carries no mark of its encoding, as older files and archives hold it: the
// system's code page on Windows, bytes on Linux. Our own strings are UTF-8.
#pragma once
#include <string>

namespace vx {

// Windows: `bytes` read in the ANSI code page, or in the OEM code page when `oem` (a
// name an MS-DOS program wrote), as UTF-8. POSIX: the bytes as they are.
std::string LegacyTextToUtf8(const std::string& bytes, bool oem = false);

}  // namespace vx
