#include "zipwriter/chunk_deflater.h"

#include <new>
#include <system_error>

namespace vx {

ChunkDeflater::~ChunkDeflater() {
  if (workerStarted_) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    worker_.join();
  }
  for (int i = 0; i < 2; ++i) {
    if (streamReady_[i]) deflateEnd(&streams_[i]);
  }
}

bool ChunkDeflater::ensureStream(int index) {
  if (streamReady_[index]) return true;
  streams_[index] = z_stream{};
  if (deflateInit2(&streams_[index], 8, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  streamReady_[index] = true;
  return true;
}

void ChunkDeflater::Compress(z_stream& stream, DeflateChunk& chunk) {
  chunk.ok = false;
  chunk.outputLength = 0;
  if (deflateReset(&stream) != Z_OK) return;
  if (chunk.dictionaryLength > 0 &&
      deflateSetDictionary(&stream, chunk.dictionary, static_cast<uInt>(chunk.dictionaryLength)) != Z_OK) {
    return;
  }
  std::vector<uint8_t>& out = *chunk.output;
  try {
    // Room for incompressible input plus block overhead, so one call nearly always
    // does; the loop grows the buffer otherwise.
    const size_t room = chunk.inputLength + chunk.inputLength / 64 + 1024;
    if (out.size() < room) out.resize(room);
    stream.next_in = const_cast<Bytef*>(chunk.input);
    stream.avail_in = static_cast<uInt>(chunk.inputLength);
    const int flush = chunk.last ? Z_FINISH : Z_SYNC_FLUSH;
    size_t produced = 0;
    for (;;) {
      if (out.size() - produced < 64) out.resize(out.size() + out.size() / 2 + 1024);
      stream.next_out = out.data() + produced;
      stream.avail_out = static_cast<uInt>(out.size() - produced);
      const uInt inputBefore = stream.avail_in;
      const size_t producedBefore = produced;
      const int rc = deflate(&stream, flush);
      produced = out.size() - stream.avail_out;
      if (rc == Z_STREAM_ERROR) return;
      if (chunk.last ? rc == Z_STREAM_END : (stream.avail_in == 0 && stream.avail_out != 0)) break;
      if (rc != Z_OK && rc != Z_BUF_ERROR) return;
      // A call that could make no progress with output room left would repeat forever.
      if (stream.avail_out != 0 && stream.avail_in == inputBefore && produced == producedBefore) return;
    }
    chunk.outputLength = produced;
    chunk.ok = true;
  } catch (const std::bad_alloc&) {
    chunk.ok = false;
  }
}

bool ChunkDeflater::startWorker() {
  if (workerStarted_) return true;
  if (workerFailed_) return false;
  try {
    worker_ = std::thread(&ChunkDeflater::workerLoop, this);
    workerStarted_ = true;
  } catch (const std::system_error&) {
    workerFailed_ = true;  // compress on the calling thread alone from now on
  }
  return workerStarted_;
}

void ChunkDeflater::workerLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || job_ != nullptr; });
    if (stop_) return;
    DeflateChunk* job = job_;
    lock.unlock();
    Compress(streams_[1], *job);
    lock.lock();
    job_ = nullptr;
    jobDone_ = true;
    done_.notify_one();
  }
}

bool ChunkDeflater::compress(DeflateChunk& first, DeflateChunk* second) {
  if (!ensureStream(0)) return false;
  if (!second) {
    Compress(streams_[0], first);
    return first.ok;
  }
  if (!ensureStream(1)) return false;
  if (!startWorker()) {
    Compress(streams_[0], first);
    Compress(streams_[1], *second);
    return first.ok && second->ok;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = second;
    jobDone_ = false;
  }
  wake_.notify_one();
  Compress(streams_[0], first);
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return jobDone_; });
  return first.ok && second->ok;
}

}  // namespace vx
