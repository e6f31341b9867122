// Win32 side of the processor count: the processors of the process's affinity mask,
// else those the system reports.
#include <windows.h>

#include "common/processors.h"

namespace vx {

unsigned ProcessorCount() {
  DWORD_PTR processMask = 0, systemMask = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask) && processMask != 0) {
    unsigned n = 0;
    for (DWORD_PTR m = processMask; m != 0; m &= m - 1) ++n;
    return n;
  }
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? static_cast<unsigned>(info.dwNumberOfProcessors) : 1u;
}

}  // namespace vx
