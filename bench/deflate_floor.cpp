// The floor for writing a deflated ZIP archive: read each file, run zlib's level-8 raw
// Deflate and the CRC-32 over it, and throw the output away. No archive records, no
// encryption. zip_bench.sh compares `vellumix-cli pack` against this loop.
//
//   deflate_floor FILE...    prints "<bytes in> <bytes out>"
#include <zlib.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  std::vector<unsigned char> in(65536), out(16384);
  z_stream s{};
  if (deflateInit2(&s, 8, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 2;
  unsigned long long totalIn = 0, totalOut = 0;
  unsigned long crcSum = 0;
  for (int i = 1; i < argc; ++i) {
    FILE* f = std::fopen(argv[i], "rb");
    if (!f) {
      std::perror(argv[i]);
      return 1;
    }
    deflateReset(&s);
    uLong crc = crc32(0, nullptr, 0);
    int flush;
    do {
      size_t n = std::fread(in.data(), 1, in.size(), f);
      totalIn += n;
      crc = crc32(crc, in.data(), static_cast<uInt>(n));
      flush = n < in.size() ? Z_FINISH : Z_NO_FLUSH;
      s.next_in = in.data();
      s.avail_in = static_cast<uInt>(n);
      do {
        s.next_out = out.data();
        s.avail_out = static_cast<uInt>(out.size());
        if (deflate(&s, flush) == Z_STREAM_ERROR) return 3;
        totalOut += out.size() - s.avail_out;
      } while (s.avail_out == 0);
    } while (flush != Z_FINISH);
    std::fclose(f);
    crcSum ^= crc;
  }
  deflateEnd(&s);
  std::printf("%llu %llu %08lx\n", totalIn, totalOut, crcSum);
  return 0;
}
