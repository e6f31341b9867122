// The reason the system gave for the last failed call of the calling thread, as text
// for the user: errno on POSIX, GetLastError on Windows (whose file calls leave errno
// alone). One header, one source per platform.
#pragma once
#include <string>

namespace vx {

// The system's wording of the last recorded failure; empty when none is recorded.
std::string LastSystemErrorText();
// The system's wording of an error code (errno on POSIX, a GetLastError or HRESULT
// value on Windows), without a line end; "system error N" when it has none.
std::string SystemErrorText(unsigned long code);
// Forgets the recorded failure, so that LastSystemErrorText() then tells of a later
// failure only.
void ClearLastSystemError();

}  // namespace vx
