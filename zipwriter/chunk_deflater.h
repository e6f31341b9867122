// Raw Deflate at level 8 over a source cut into chunks, compressed on up to N threads.
//
// The stream is defined by the chunking alone, so it is the same whichever thread
// compresses which chunk, and whatever N is: the input is cut into kChunkSize pieces;
// each piece is compressed by a reset compressor primed with the last 32 KiB of the
// piece before it (so matches still reach back across the cut) and ends with a sync
// flush (an empty stored block, byte aligned), except the last, which ends the stream.
// The pieces concatenated are one valid raw Deflate stream. A source of at most one
// chunk gives exactly zlib's one-call level-8 stream.
//
// The calling thread reads the source and writes the output, in chunk order; between
// those it compresses chunks too, and N - 1 helper threads (made on first need, kept
// for the deflater's life) compress the others. At most SlotCount(N) chunks are held at
// once, each with its input, its dictionary and its output, so memory does not depend
// on the size of the source.
#pragma once
#include <zlib.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vx {

class ChunkDeflater {
 public:
  static constexpr size_t kChunkSize = 256 * 1024;
  static constexpr size_t kDictionarySize = 32 * 1024;
  // A chunk's output buffer: the chunk stored, with room to spare for block headers.
  static constexpr size_t kOutputRoom = kChunkSize + kChunkSize / 64 + 1024;

  // Chunks in flight for `threads` compressing threads: one for a single thread; else
  // one per thread plus two, so that the helpers still find work while the calling
  // thread reads one chunk and writes another.
  static constexpr size_t SlotCount(unsigned threads) { return threads <= 1 ? 1 : threads + 2u; }

  enum class Result { Ok, ReadFailed, WriteFailed, CompressFailed, OutOfMemory };

  // Fills `buf` with exactly `len` bytes of the source; false stops the stream.
  using ReadFn = std::function<bool(uint8_t* buf, size_t len)>;
  // Takes the next `len` bytes of the stream (they may be changed in place, e.g.
  // encrypted); false stops the stream.
  using WriteFn = std::function<bool(uint8_t* data, size_t len)>;

  // `threads`: the threads that compress, the calling thread included; 1 compresses on
  // the calling thread alone. Clamped to 1..kMaxThreads.
  explicit ChunkDeflater(unsigned threads = 1);
  ~ChunkDeflater();
  ChunkDeflater(const ChunkDeflater&) = delete;
  ChunkDeflater& operator=(const ChunkDeflater&) = delete;

  // Compresses the `size` bytes that `read` delivers, chunk by chunk in order, into one
  // raw Deflate stream handed to `write` in order. Both callbacks run on the calling
  // thread. On any failure nothing more is read or written, and every helper has let
  // go of the buffers before this returns.
  Result deflate(uint64_t size, const ReadFn& read, const WriteFn& write);

  unsigned threads() const { return m_threads; }
  // Helper threads running (at most threads() - 1; fewer when the system refused one
  // or no stream so far had chunks for them).
  unsigned helpersStarted() const { return static_cast<unsigned>(m_helpers.size()); }
  // Bytes of chunk buffers held (inputs, dictionaries, outputs); the compressor states
  // come on top, about 260 KiB per thread.
  size_t bufferBytes() const;

 private:
  struct Slot {
    std::vector<uint8_t> input;       // kChunkSize
    std::vector<uint8_t> dictionary;  // kDictionarySize: the previous chunk's tail
    size_t inputLength = 0;
    size_t dictionaryLength = 0;
    bool last = false;            // ends the stream
    std::vector<uint8_t> output;  // grown to fit
    size_t outputLength = 0;
    bool ok = false;
    bool done = false;  // guarded by m_mutex
  };
  struct Stream {
    z_stream z{};
    bool ready = false;
    bool failed = false;
  };

  // Where a stream stands: its chunks, the slots it uses, the next chunk to read and
  // the next to write.
  struct Progress {
    uint64_t chunks = 0;
    size_t slotCount = 0;
    uint64_t remaining = 0;  // bytes not read yet
    uint64_t nextRead = 0;
    uint64_t nextWrite = 0;
  };

  static void Compress(Stream& stream, Slot& slot);
  bool readChunk(Progress& p, const ReadFn& read);
  Result writeOldestOrHelp(Progress& p, const WriteFn& write);
  bool ensureSlots(size_t count);
  void startHelpers(unsigned wanted);
  void helperLoop(size_t streamIndex);

  const unsigned m_threads;
  std::vector<Stream> m_streams;  // [0] the calling thread's, [i] helper i's
  std::vector<std::unique_ptr<Slot>> m_slots;
  std::vector<std::thread> m_helpers;
  bool m_helpersRefused = false;

  std::mutex m_mutex;
  std::condition_variable m_work;  // helpers: a chunk was queued, or stop
  std::condition_variable m_done;  // caller: a chunk is done
  std::deque<Slot*> m_queue;       // chunks waiting for a thread, oldest first
  unsigned m_running = 0;          // chunks being compressed by helpers
  bool m_stop = false;
};

}  // namespace vx
