// POSIX side of the processor count: the CPUs of this process's affinity mask on
// Linux, else the CPUs online.
#include <sched.h>
#include <unistd.h>

#include "common/processors.h"

namespace vx {

unsigned ProcessorCount() {
#ifdef __linux__
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return static_cast<unsigned>(n);
  }
#endif
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1u;
}

}  // namespace vx
