// Times ReadSwfDimension (colour form, as the player calls it) on one movie.
//
//   swf_bench_tool MOVIE REPEATS
//
// Prints: best seconds per read, the growth of peak resident memory over the reads in
// KiB, and the result ("WIDTH HEIGHT 0xRRGGBB"), on one line.
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "common/swf_header.h"

static long PeakKiB() {
  struct rusage u;
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;  // KiB on Linux
}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: swf_bench_tool MOVIE REPEATS\n");
    return 1;
  }
  const int repeats = std::atoi(argv[2]);
  const long before = PeakKiB();
  double best = 1e30;
  vx::SwfDimension d{0, 0};
  uint32_t colour = vx::kNoColour;
  for (int i = 0; i < repeats; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    d = vx::ReadSwfDimension(argv[1], colour);
    auto t1 = std::chrono::steady_clock::now();
    double s = std::chrono::duration<double>(t1 - t0).count();
    if (s < best) best = s;
  }
  std::printf("%.6f %ld %d %d 0x%06X\n", best, PeakKiB() - before, static_cast<int>(d.width),
              static_cast<int>(d.height), static_cast<unsigned>(colour));
  return 0;
}
