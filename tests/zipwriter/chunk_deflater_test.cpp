// ChunkDeflater on 1 to 16 threads: the stream is the sequential chunked stream
// whatever the thread count and the timing, the callbacks run on the calling thread
// alone, a failure or an exception stops the stream and leaves the deflater usable,
// and the buffers held stay within the slots of the thread count.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "zip_test_util.h"
#include "zipwriter/chunk_deflater.h"

namespace {

using namespace ziptest;
using vx::ChunkDeflater;
constexpr size_t kChunk = ChunkDeflater::kChunkSize;

struct Stream {
  Bytes out;
  size_t chunksRead = 0;
  size_t writes = 0;
  bool onCallerThread = true;
};

// Deflates `data`; the write callback pauses for 0 to 2 ms now and then (seeded), so
// that helpers finish chunks in varying order. Reads number `failRead` and writes
// number `failWrite` (counted from 0) fail.
ChunkDeflater::Result Deflate(ChunkDeflater& d, const Bytes& data, Stream& s, uint32_t seed,
                              size_t failRead = SIZE_MAX, size_t failWrite = SIZE_MAX) {
  const std::thread::id caller = std::this_thread::get_id();
  size_t at = 0;
  uint32_t x = seed | 1;
  return d.deflate(
      data.size(),
      [&](uint8_t* buf, size_t len) {
        s.onCallerThread = s.onCallerThread && std::this_thread::get_id() == caller;
        if (s.chunksRead++ == failRead || at + len > data.size()) return false;
        std::copy(data.begin() + at, data.begin() + at + len, buf);
        at += len;
        return true;
      },
      [&](uint8_t* buf, size_t len) {
        s.onCallerThread = s.onCallerThread && std::this_thread::get_id() == caller;
        if (s.writes++ == failWrite) return false;
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        if (x % 3 != 0) std::this_thread::sleep_for(std::chrono::milliseconds(x % 3));
        s.out.insert(s.out.end(), buf, buf + len);
        return true;
      });
}

std::vector<Bytes> Sources() {
  Bytes mixed = CompressibleBytes(kChunk + 1000);
  Bytes noise = RandomBytes(kChunk, 8);
  mixed.insert(mixed.end(), noise.begin(), noise.end());
  return {Bytes(),
          Bytes{'x'},
          CompressibleBytes(kChunk - 1),
          CompressibleBytes(kChunk),
          CompressibleBytes(kChunk + 1),
          CompressibleBytes(5 * kChunk + 777),
          RandomBytes(3 * kChunk, 5),
          mixed};
}

TEST(ChunkDeflater, StreamIsTheSameForEveryThreadCountAndTiming) {
  const std::vector<Bytes> sources = Sources();
  std::vector<Bytes> expected;
  for (const Bytes& s : sources) expected.push_back(ChunkedDeflateLevel8(s, kChunk));
  for (unsigned threads : {1u, 2u, 5u, 16u}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    ChunkDeflater d(threads);  // one deflater for every source: its state is reused
    for (size_t i = 0; i < sources.size(); ++i) {
      Stream s;
      ASSERT_EQ(Deflate(d, sources[i], s, threads * 100 + static_cast<uint32_t>(i)),
                ChunkDeflater::Result::Ok)
          << "source " << i;
      EXPECT_TRUE(s.out == expected[i]) << "source " << i << " of " << sources[i].size() << " bytes";
      EXPECT_EQ(s.chunksRead, sources[i].empty() ? 1u : (sources[i].size() - 1) / kChunk + 1);
      EXPECT_TRUE(s.onCallerThread);
    }
    // The helpers ran: as many as the largest source (6 chunks) had work for.
    EXPECT_EQ(d.helpersStarted(), std::min(threads - 1, 5u));
    // Memory: the slots of the thread count and no more (the largest source has 6
    // chunks), each an input, a dictionary and an output with room for a stored chunk.
    const size_t perSlot = kChunk + ChunkDeflater::kDictionarySize + ChunkDeflater::kOutputRoom;
    EXPECT_EQ(d.bufferBytes(), std::min<size_t>(ChunkDeflater::SlotCount(threads), 6) * perSlot);
  }
}

TEST(ChunkDeflater, FailureStopsTheStreamAndTheDeflaterGoesOn) {
  const Bytes big = CompressibleBytes(7 * kChunk + 3);
  const Bytes next = CompressibleBytes(3 * kChunk + 11);
  const Bytes nextExpected = ChunkedDeflateLevel8(next, kChunk);
  struct Case {
    size_t failRead, failWrite;
    ChunkDeflater::Result result;
  } cases[] = {{0, SIZE_MAX, ChunkDeflater::Result::ReadFailed},
               {3, SIZE_MAX, ChunkDeflater::Result::ReadFailed},
               {SIZE_MAX, 0, ChunkDeflater::Result::WriteFailed},
               {SIZE_MAX, 4, ChunkDeflater::Result::WriteFailed}};
  for (unsigned threads : {1u, 5u}) {
    ChunkDeflater d(threads);
    for (const Case& c : cases) {
      SCOPED_TRACE("threads " + std::to_string(threads) + ", read " + std::to_string(c.failRead) +
                   ", write " + std::to_string(c.failWrite));
      Stream failed;
      EXPECT_EQ(Deflate(d, big, failed, 7, c.failRead, c.failWrite), c.result);
      // Nothing is read or written after the failure.
      if (c.failRead != SIZE_MAX) {
        EXPECT_EQ(failed.chunksRead, c.failRead + 1);
      } else {
        EXPECT_EQ(failed.writes, c.failWrite + 1);
      }
      Stream s;
      ASSERT_EQ(Deflate(d, next, s, 9), ChunkDeflater::Result::Ok);
      EXPECT_TRUE(s.out == nextExpected);
    }
    // An exception from a callback leaves the deflater as usable as a failure does.
    EXPECT_THROW(d.deflate(
                     big.size(), [](uint8_t*, size_t) { return true; },
                     [](uint8_t*, size_t) -> bool { throw std::runtime_error("the disk is gone"); }),
                 std::runtime_error);
    Stream s;
    ASSERT_EQ(Deflate(d, next, s, 11), ChunkDeflater::Result::Ok);
    EXPECT_TRUE(s.out == nextExpected);
  }
}

}  // namespace
