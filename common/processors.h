// How many threads the archive code runs on: the processors this process may use,
// capped, or the count a caller asks for.
#pragma once

namespace vx {

// The archive writer and reader never run more threads than this at once.
inline constexpr unsigned kMaxThreads = 16;

// The processors this process may run on (its affinity mask where the system has one,
// so `taskset -c 0` counts 1), at least 1. One source per platform.
unsigned ProcessorCount();

// The thread count for a request: 0 asks for the default, the processor count capped
// at kMaxThreads; any other value is kept, but never above kMaxThreads.
inline unsigned ThreadCount(unsigned requested) {
  if (requested == 0) {
    const unsigned n = ProcessorCount();
    return n < kMaxThreads ? n : kMaxThreads;
  }
  return requested < kMaxThreads ? requested : kMaxThreads;
}

}  // namespace vx
