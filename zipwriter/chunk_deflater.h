// Raw Deflate at level 8 over a source cut into chunks, two chunks at a time on two
// threads.
//
// The stream is defined by the chunking alone, so it is the same whichever thread
// compresses which chunk: the input is cut into kChunkSize pieces; each piece is
// compressed by a reset compressor primed with the last 32 KiB of the piece before it
// (so matches still reach back across the cut) and ends with a sync flush (an empty
// stored block, byte aligned), except the last, which ends the stream. The pieces
// concatenated are one valid raw Deflate stream. A source of at most one chunk gives
// exactly zlib's one-call level-8 stream.
#pragma once
#include <zlib.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace vx {

struct DeflateChunk {
  const uint8_t* input = nullptr;
  size_t inputLength = 0;
  const uint8_t* dictionary = nullptr;  // the previous chunk's last bytes, or none
  size_t dictionaryLength = 0;
  bool last = false;                    // ends the stream
  std::vector<uint8_t>* output = nullptr;
  size_t outputLength = 0;              // set by compression
  bool ok = false;
};

class ChunkDeflater {
 public:
  static constexpr size_t kChunkSize = 256 * 1024;
  static constexpr size_t kDictionarySize = 32 * 1024;

  ChunkDeflater() = default;
  ~ChunkDeflater();
  ChunkDeflater(const ChunkDeflater&) = delete;
  ChunkDeflater& operator=(const ChunkDeflater&) = delete;

  // Compresses `first` on the calling thread and, when given, `second` on the worker
  // at the same time (or afterwards on the calling thread when no worker can be
  // started). Returns when both are done; false if either failed.
  bool compress(DeflateChunk& first, DeflateChunk* second);

 private:
  // The compressor states are made once and reset for every chunk.
  bool ensureStream(int index);
  static void Compress(z_stream& stream, DeflateChunk& chunk);
  bool startWorker();
  void workerLoop();

  z_stream streams_[2] = {};
  bool streamReady_[2] = {false, false};

  std::thread worker_;
  bool workerStarted_ = false;
  bool workerFailed_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  DeflateChunk* job_ = nullptr;  // guarded by mutex_
  bool jobDone_ = false;
  bool stop_ = false;
};

}  // namespace vx
