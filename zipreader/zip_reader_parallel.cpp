// ZipReader::extractEntries: several entries extracted at once, reported in order.
//
// Once the central directory is read, entries are independent: each thread takes the
// next entry that may start, extracts it through a ZipEntryStream of its own (its own
// keys, inflate state and read buffer; the archive is read through
// ZipSource::readAt) into its own output buffer, and records the outcome. The calling
// thread extracts entries too, and between them reports the finished ones in the
// order given, stopping at the first that failed.
#include <condition_variable>
#include <exception>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "common/file.h"
#include "common/processors.h"
#include "zipreader/zip_entry_stream.h"
#include "zipreader/zip_platform.h"
#include "zipreader/zip_reader.h"

namespace vx {
namespace {

enum class JobState { Waiting, Running, Done };

struct Job {
  int index = -1;
  std::string path;      // "": nothing to extract, reported as not complete
  bool ordered = false;  // starts only once every entry before it has been reported
  JobState state = JobState::Waiting;
  bool complete = false;
  std::vector<std::string> created;  // folders and file that did not exist before, outermost first
  std::exception_ptr error;
};

// The folders that hold `key`, as prefixes of it.
std::vector<std::string> EnclosingFolders(const std::string& key) {
  std::vector<std::string> folders;
  for (size_t at = key.find_first_of("\\/"); at != std::string::npos; at = key.find_first_of("\\/", at + 1)) {
    if (at > 0) folders.push_back(key.substr(0, at));
  }
  return folders;
}

}  // namespace

bool ZipReader::extractEntries(const std::vector<int>& indices, const std::string& targetFolder, bool keepFolders,
                               unsigned bufferSize, unsigned threads, const ExtractReport& report) {
  if (m_pSource == nullptr || m_stream->isOpen()) return false;
  const size_t count = indices.size();
  std::vector<Job> jobs(count);

  // The targets. An entry whose target is the target of an earlier one, or a folder
  // of one, or lies in one, must see the earlier entry's result, as one at a time:
  // it is ordered.
  const bool nothingToDo = bufferSize == 0 && targetFolder.empty();  // extractEntry gives false
  std::set<std::string> targets, folders;
  size_t work = 0;
  for (size_t i = 0; i < count; ++i) {
    Job& job = jobs[i];
    job.index = indices[i];
    if (!nothingToDo && job.index >= 0 && job.index < entryCount())
      job.path = targetPath(job.index, targetFolder, keepFolders);
    if (job.path.empty()) {
      job.state = JobState::Done;
      continue;
    }
    ++work;
    std::string key = job.path;
    zipplatform::FoldPathCase(key);
    const std::vector<std::string> above = EnclosingFolders(key);
    job.ordered = targets.count(key) != 0 || folders.count(key) != 0;
    for (const std::string& f : above) job.ordered = job.ordered || targets.count(f) != 0;
    targets.insert(key);
    folders.insert(above.begin(), above.end());
  }

  std::mutex mutex;
  std::condition_variable changed;
  size_t nextReport = 0;       // every job before it has been reported
  size_t cursor = 0;           // no unordered job before it is waiting
  size_t firstFailure = count;
  bool finished = false;

  // The next job to start, or count: the one to report next when it waits (which is
  // how an ordered job starts), else the first waiting unordered one, but none after
  // a failure. Called with the lock held.
  auto pick = [&]() -> size_t {
    if (nextReport < count && jobs[nextReport].state == JobState::Waiting) return nextReport;
    while (cursor < count && (jobs[cursor].state != JobState::Waiting || jobs[cursor].ordered)) ++cursor;
    return cursor < firstFailure ? cursor : count;
  };
  // Runs job i, taken under the lock; returns with the lock held again.
  auto run = [&](std::unique_lock<std::mutex>& lock, size_t i, ZipEntryStream& stream,
                 std::vector<uint8_t>& buffer) {
    jobs[i].state = JobState::Running;
    lock.unlock();
    bool complete = false;
    std::vector<std::string> created;
    std::exception_ptr error;
    try {
      complete = extractTo(stream, jobs[i].index, jobs[i].path, bufferSize, buffer, &created);
    } catch (...) {
      error = std::current_exception();
      stream.release();
    }
    lock.lock();
    Job& job = jobs[i];
    job.complete = complete;
    job.created = std::move(created);
    job.error = error;
    job.state = JobState::Done;
    if (error && i < firstFailure) firstFailure = i;
    changed.notify_all();
  };
  auto helper = [&]() {
    ZipEntryStream stream;
    std::vector<uint8_t> buffer;
    std::unique_lock<std::mutex> lock(mutex);
    while (!finished) {
      const size_t i = pick();
      if (i < count) {
        run(lock, i, stream, buffer);
      } else {
        changed.wait(lock);
      }
    }
  };

  // The helpers stop and are joined on every way out, before the jobs go.
  struct Helpers {
    std::vector<std::thread> threads;
    std::mutex& mutex;
    std::condition_variable& changed;
    bool& finished;
    void stop() {
      {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
      }
      changed.notify_all();
      for (std::thread& t : threads) t.join();
      threads.clear();
    }
    ~Helpers() { stop(); }
  } helpers{{}, mutex, changed, finished};
  const unsigned total = ThreadCount(threads);
  for (size_t n = 1; n < total && n < work; ++n) {
    try {
      helpers.threads.emplace_back(helper);
    } catch (const std::system_error&) {
      break;  // fewer threads, same result
    }
  }

  ZipEntryStream stream;
  std::vector<uint8_t> buffer;
  std::unique_lock<std::mutex> lock(mutex);
  while (nextReport < count) {
    Job& job = jobs[nextReport];
    if (job.state == JobState::Done) {
      if (job.error) break;
      lock.unlock();
      report(job.index, job.path, job.complete);
      lock.lock();
      ++nextReport;
      changed.notify_all();  // an ordered job may start now
      continue;
    }
    const size_t i = pick();
    if (i < count) {
      run(lock, i, stream, buffer);
    } else {
      changed.wait(lock);
    }
  }
  const size_t failed = nextReport;
  lock.unlock();
  helpers.stop();

  if (failed < count) {
    // As if the extraction had stopped at the failure: what later entries created goes.
    // A folder goes only when empty: an entry before the failure may have written
    // into a folder that a later one made.
    for (size_t i = count; i-- > failed + 1;) {
      for (auto made = jobs[i].created.rbegin(); made != jobs[i].created.rend(); ++made) {
        if (IsDirectory(*made)) {
          RemoveFolder(*made);
        } else {
          SetFileAttributeBits(*made, kAttrNormal);
          DeleteFilePath(*made);
        }
      }
    }
    std::rethrow_exception(jobs[failed].error);
  }
  return true;
}

}  // namespace vx
