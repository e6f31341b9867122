#include "zipwriter/chunk_deflater.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

#include "common/processors.h"

namespace vx {

ChunkDeflater::ChunkDeflater(unsigned threads)
    : threads_(threads < 1 ? 1u : threads > kMaxThreads ? kMaxThreads : threads), streams_(threads_) {}

ChunkDeflater::~ChunkDeflater() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_.notify_all();
  for (std::thread& t : helpers_) t.join();
  for (Stream& s : streams_) {
    if (s.ready) deflateEnd(&s.z);
  }
}

size_t ChunkDeflater::bufferBytes() const {
  size_t n = 0;
  for (const auto& s : slots_) n += s->input.capacity() + s->dictionary.capacity() + s->output.capacity();
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
    while (slots_.size() < count) {
      std::unique_ptr<Slot> slot(new Slot);
      slot->input.resize(kChunkSize);
      slot->dictionary.resize(kDictionarySize);
      slots_.push_back(std::move(slot));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void ChunkDeflater::startHelpers(unsigned wanted) {
  while (!helpersRefused_ && helpers_.size() < wanted) {
    try {
      const size_t index = helpers_.size() + 1;
      helpers_.emplace_back(&ChunkDeflater::helperLoop, this, index);
    } catch (const std::system_error&) {
      helpersRefused_ = true;  // the calling thread and the helpers so far do the work
    } catch (const std::bad_alloc&) {
      helpersRefused_ = true;
    }
  }
}

void ChunkDeflater::helperLoop(size_t streamIndex) {
  Stream& stream = streams_[streamIndex];
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (stop_) return;
    Slot* slot = queue_.front();
    queue_.pop_front();
    ++running_;
    lock.unlock();
    Compress(stream, *slot);
    lock.lock();
    slot->done = true;
    --running_;
    done_.notify_one();
  }
}

ChunkDeflater::Result ChunkDeflater::deflate(uint64_t size, const ReadFn& read, const WriteFn& write) {
  const uint64_t chunks = size == 0 ? 1 : (size - 1) / kChunkSize + 1;
  const size_t slotCount = static_cast<size_t>(std::min<uint64_t>(SlotCount(threads_), chunks));
  if (!ensureSlots(slotCount)) return Result::OutOfMemory;
  if (chunks > 1) startHelpers(static_cast<unsigned>(std::min<uint64_t>(threads_ - 1u, chunks - 1)));

  // However the stream ends (a failure, or an exception from a callback), no helper
  // may still hold a slot when this returns: the next stream reuses them.
  struct Settle {
    ChunkDeflater& d;
    ~Settle() {
      std::unique_lock<std::mutex> lock(d.mutex_);
      d.queue_.clear();
      d.done_.wait(lock, [this] { return d.running_ == 0; });
    }
  } settle{*this};

  Result result = Result::Ok;
  uint64_t remaining = size;
  uint64_t nextRead = 0;  // the next chunk to read
  uint64_t nextWrite = 0;  // the next chunk to write
  std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
  while (nextWrite < chunks) {
    // Read while a slot is free, so that every thread finds a chunk to compress.
    if (nextRead < chunks && nextRead - nextWrite < slotCount) {
      Slot& slot = *slots_[nextRead % slotCount];
      // The chunk before is still in its slot: only the chunk slotCount places later
      // reuses it. Its tail is copied first, since with one slot the next read
      // overwrites it.
      if (nextRead == 0) {
        slot.dictionaryLength = 0;
      } else {
        const Slot& previous = *slots_[(nextRead - 1) % slotCount];
        const size_t tail = std::min(previous.inputLength, kDictionarySize);
        std::memmove(slot.dictionary.data(), previous.input.data() + previous.inputLength - tail, tail);
        slot.dictionaryLength = tail;
      }
      const size_t want = static_cast<size_t>(std::min<uint64_t>(remaining, kChunkSize));
      if (!read(slot.input.data(), want)) {
        result = Result::ReadFailed;
        break;
      }
      remaining -= want;
      slot.inputLength = want;
      slot.last = nextRead + 1 == chunks;
      lock.lock();
      slot.done = false;
      queue_.push_back(&slot);
      lock.unlock();
      work_.notify_one();
      ++nextRead;
      continue;
    }

    // Write the oldest chunk when it is done; otherwise compress a waiting chunk here,
    // or wait for a helper.
    Slot& oldest = *slots_[nextWrite % slotCount];
    lock.lock();
    if (oldest.done) {
      lock.unlock();
      if (!oldest.ok) {
        result = Result::CompressFailed;
        break;
      }
      if (!write(oldest.output.data(), oldest.outputLength)) {
        result = Result::WriteFailed;
        break;
      }
      ++nextWrite;
      continue;
    }
    if (!queue_.empty()) {
      Slot* slot = queue_.front();
      queue_.pop_front();
      lock.unlock();
      Compress(streams_[0], *slot);
      lock.lock();
      slot->done = true;
      lock.unlock();
      continue;
    }
    done_.wait(lock, [&oldest] { return oldest.done; });
    lock.unlock();
  }

  return result;
}

}  // namespace vx
