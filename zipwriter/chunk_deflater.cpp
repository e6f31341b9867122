#include "zipwriter/chunk_deflater.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

#include "common/processors.h"

namespace vx {

ChunkDeflater::ChunkDeflater(unsigned threads)
    : m_threads(threads < 1             ? 1u
                : threads > kMaxThreads ? kMaxThreads
                                        : threads),
      m_streams(m_threads) {}

ChunkDeflater::~ChunkDeflater() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_work.notify_all();
  for (std::thread& t : m_helpers) t.join();
  for (Stream& s : m_streams) {
    if (s.ready) deflateEnd(&s.z);
  }
}

size_t ChunkDeflater::bufferBytes() const {
  size_t n = 0;
  for (const auto& s : m_slots) n += s->input.capacity() + s->dictionary.capacity() + s->output.capacity();
  return n;
}

void ChunkDeflater::Compress(Stream& stream, Slot& slot) {
  slot.ok = false;
  slot.outputLength = 0;
  if (!stream.ready) {
    if (stream.failed) return;
    stream.z = z_stream{};
    if (deflateInit2(&stream.z, 8, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      stream.failed = true;
      return;
    }
    stream.ready = true;
  }
  z_stream& z = stream.z;
  if (deflateReset(&z) != Z_OK) return;
  if (slot.dictionaryLength > 0 &&
      deflateSetDictionary(&z, slot.dictionary.data(), static_cast<uInt>(slot.dictionaryLength)) != Z_OK) {
    return;
  }
  std::vector<uint8_t>& out = slot.output;
  try {
    // Room for a whole chunk of incompressible input plus block overhead, so one call
    // nearly always does; the loop grows the buffer otherwise. Made once per slot.
    if (out.size() < kOutputRoom) std::vector<uint8_t>(kOutputRoom).swap(out);
    z.next_in = slot.input.data();
    z.avail_in = static_cast<uInt>(slot.inputLength);
    const int flush = slot.last ? Z_FINISH : Z_SYNC_FLUSH;
    size_t produced = 0;
    for (;;) {
      if (out.size() - produced < 64) out.resize(out.size() + out.size() / 2 + 1024);
      z.next_out = out.data() + produced;
      z.avail_out = static_cast<uInt>(out.size() - produced);
      const uInt inputBefore = z.avail_in;
      const size_t producedBefore = produced;
      const int rc = ::deflate(&z, flush);
      produced = out.size() - z.avail_out;
      if (rc == Z_STREAM_ERROR) return;
      if (slot.last ? rc == Z_STREAM_END : (z.avail_in == 0 && z.avail_out != 0)) break;
      if (rc != Z_OK && rc != Z_BUF_ERROR) return;
      // A call that could make no progress with output room left would repeat forever.
      if (z.avail_out != 0 && z.avail_in == inputBefore && produced == producedBefore) return;
    }
    slot.outputLength = produced;
    slot.ok = true;
  } catch (const std::bad_alloc&) {
    slot.ok = false;
  }
}

bool ChunkDeflater::ensureSlots(size_t count) {
  try {
    while (m_slots.size() < count) {
      std::unique_ptr<Slot> slot(new Slot);
      slot->input.resize(kChunkSize);
      slot->dictionary.resize(kDictionarySize);
      m_slots.push_back(std::move(slot));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void ChunkDeflater::startHelpers(unsigned wanted) {
  while (!m_helpersRefused && m_helpers.size() < wanted) {
    try {
      const size_t index = m_helpers.size() + 1;
      m_helpers.emplace_back(&ChunkDeflater::helperLoop, this, index);
    } catch (const std::system_error&) {
      m_helpersRefused = true;  // the calling thread and the helpers so far do the work
    } catch (const std::bad_alloc&) {
      m_helpersRefused = true;
    }
  }
}

void ChunkDeflater::helperLoop(size_t streamIndex) {
  Stream& stream = m_streams[streamIndex];
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_work.wait(lock, [this] { return m_stop || !m_queue.empty(); });
    if (m_stop) return;
    Slot* slot = m_queue.front();
    m_queue.pop_front();
    ++m_running;
    lock.unlock();
    Compress(stream, *slot);
    lock.lock();
    slot->done = true;
    --m_running;
    m_done.notify_one();
  }
}

// Copies the tail of the chunk before into the slot of the next chunk, reads that chunk
// and queues it for a thread. The chunk before is still in its slot: only the chunk
// slotCount places later reuses it. Its tail is copied first, since with one slot the
// read overwrites it.
bool ChunkDeflater::readChunk(Progress& p, const ReadFn& read) {
  Slot& slot = *m_slots[p.nextRead % p.slotCount];
  if (p.nextRead == 0) {
    slot.dictionaryLength = 0;
  } else {
    const Slot& previous = *m_slots[(p.nextRead - 1) % p.slotCount];
    const size_t tail = std::min(previous.inputLength, kDictionarySize);
    std::memmove(slot.dictionary.data(), previous.input.data() + previous.inputLength - tail, tail);
    slot.dictionaryLength = tail;
  }
  const size_t want = static_cast<size_t>(std::min<uint64_t>(p.remaining, kChunkSize));
  if (!read(slot.input.data(), want)) return false;
  p.remaining -= want;
  slot.inputLength = want;
  slot.last = p.nextRead + 1 == p.chunks;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    slot.done = false;
    m_queue.push_back(&slot);
  }
  m_work.notify_one();
  ++p.nextRead;
  return true;
}

// Writes the oldest chunk when it is done; otherwise compresses a waiting chunk on the
// calling thread, or waits for a helper to finish one.
ChunkDeflater::Result ChunkDeflater::writeOldestOrHelp(Progress& p, const WriteFn& write) {
  Slot& oldest = *m_slots[p.nextWrite % p.slotCount];
  std::unique_lock<std::mutex> lock(m_mutex);
  if (oldest.done) {
    lock.unlock();
    if (!oldest.ok) return Result::CompressFailed;
    if (!write(oldest.output.data(), oldest.outputLength)) return Result::WriteFailed;
    ++p.nextWrite;
    return Result::Ok;
  }
  if (!m_queue.empty()) {
    Slot* slot = m_queue.front();
    m_queue.pop_front();
    lock.unlock();
    Compress(m_streams[0], *slot);
    lock.lock();
    slot->done = true;
    return Result::Ok;
  }
  m_done.wait(lock, [&oldest] { return oldest.done; });
  return Result::Ok;
}

ChunkDeflater::Result ChunkDeflater::deflate(uint64_t size, const ReadFn& read, const WriteFn& write) {
  Progress p;
  p.chunks = size == 0 ? 1 : (size - 1) / kChunkSize + 1;
  p.slotCount = static_cast<size_t>(std::min<uint64_t>(SlotCount(m_threads), p.chunks));
  p.remaining = size;
  if (!ensureSlots(p.slotCount)) return Result::OutOfMemory;
  if (p.chunks > 1) startHelpers(static_cast<unsigned>(std::min<uint64_t>(m_threads - 1u, p.chunks - 1)));

  // However the stream ends (a failure, or an exception from a callback), no helper
  // may still hold a slot when this returns: the next stream reuses them.
  struct Settle {
    ChunkDeflater& d;
    ~Settle() {
      std::unique_lock<std::mutex> lock(d.m_mutex);
      d.m_queue.clear();
      d.m_done.wait(lock, [this] { return d.m_running == 0; });
    }
  } settle{*this};

  while (p.nextWrite < p.chunks) {
    // Read while a slot is free, so that every thread finds a chunk to compress.
    if (p.nextRead < p.chunks && p.nextRead - p.nextWrite < p.slotCount) {
      if (!readChunk(p, read)) return Result::ReadFailed;
      continue;
    }
    const Result r = writeOldestOrHelp(p, write);
    if (r != Result::Ok) return r;
  }
  return Result::Ok;
}

}  // namespace vx
