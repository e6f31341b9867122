// POSIX side: names are used as they are and errno is the only error state.
#include "zipreader/zip_platform.h"

namespace vx::zipplatform {

void FoldPathCase(std::string&) {}

unsigned long LastSystemError() { return 0; }

}  // namespace vx::zipplatform
