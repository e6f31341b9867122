// ZipReader::extractEntries: several entries extracted at once, reported in order.
//
// Once the central directory is read, entries are independent: each thread takes the
// next entry that may start, extracts it through a ZipEntryStream of its own (its own
// keys, inflate state and read buffer; the archive is read through
// ZipSource::readAt) into its own output buffer, and records the outcome. The calling
// thread extracts entries too, and between them reports the finished ones in the
// order given, stopping at the first that failed.
#include <condition_variable>
#include <algorithm>
#include <exception>
#include <functional>
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

// Marks the jobs without a target done and orders the rest: an entry whose target is
// the target of an earlier one, or a folder of one, or lies in one, must see the
// earlier entry's result, as one at a time. Returns the number of jobs to run.
size_t PlanJobs(std::vector<Job>& jobs) {
  std::set<std::string> targets, folders;
  size_t work = 0;
  for (Job& job : jobs) {
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
  return work;
}

// Extracts one job's entry through the given stream and buffer; records what it
// created.
using ExtractFn = std::function<bool(ZipEntryStream& stream, const Job& job, std::vector<uint8_t>& buffer,
                                     std::vector<std::string>* created)>;

// The jobs and who runs which: helper threads and the calling thread take jobs as
// they may start; the calling thread also reports them in order.
class Scheduler {
 public:
  Scheduler(std::vector<Job>& jobs, const ExtractFn& extract)
      : m_jobs(jobs), m_count(jobs.size()), m_extract(extract) {}
  ~Scheduler() { stopHelpers(); }

  // Starts up to `wanted` helper threads; fewer when the system refuses one (same
  // result, fewer threads).
  void startHelpers(size_t wanted) {
    for (size_t n = 0; n < wanted; ++n) {
      try {
        m_helpers.emplace_back(&Scheduler::helperLoop, this);
      } catch (const std::system_error&) {
        break;
      }
    }
  }

  // Runs jobs and reports the finished ones in order until all are reported or one
  // failed; returns the index of the first job not reported. The helpers are stopped.
  size_t reportInOrder(const ZipReader::ExtractReport& report);

 private:
  size_t pick();
  void run(std::unique_lock<std::mutex>& lock, size_t i, ZipEntryStream& stream,
           std::vector<uint8_t>& buffer);
  void helperLoop();
  void stopHelpers();

  std::vector<Job>& m_jobs;
  const size_t m_count;
  const ExtractFn& m_extract;
  std::vector<std::thread> m_helpers;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  size_t m_nextReport = 0;  // every job before it has been reported
  size_t m_cursor = 0;      // no unordered job before it is waiting
  size_t m_firstFailure = m_count;
  bool m_finished = false;
};

// The next job to start, or the job count: the one to report next when it waits
// (which is how an ordered job starts), else the first waiting unordered one, but
// none after a failure. Called with the lock held.
size_t Scheduler::pick() {
  if (m_nextReport < m_count && m_jobs[m_nextReport].state == JobState::Waiting) return m_nextReport;
  while (m_cursor < m_count && (m_jobs[m_cursor].state != JobState::Waiting || m_jobs[m_cursor].ordered))
    ++m_cursor;
  return m_cursor < m_firstFailure ? m_cursor : m_count;
}

// Runs job i, taken under the lock; returns with the lock held again.
void Scheduler::run(std::unique_lock<std::mutex>& lock, size_t i, ZipEntryStream& stream,
                    std::vector<uint8_t>& buffer) {
  m_jobs[i].state = JobState::Running;
  lock.unlock();
  bool complete = false;
  std::vector<std::string> created;
  std::exception_ptr error;
  try {
    complete = m_extract(stream, m_jobs[i], buffer, &created);
  } catch (...) {
    error = std::current_exception();
    stream.release();
  }
  lock.lock();
  Job& job = m_jobs[i];
  job.complete = complete;
  job.created = std::move(created);
  job.error = error;
  job.state = JobState::Done;
  if (error && i < m_firstFailure) m_firstFailure = i;
  m_changed.notify_all();
}

void Scheduler::helperLoop() {
  ZipEntryStream stream;
  std::vector<uint8_t> buffer;
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_finished) {
    const size_t i = pick();
    if (i < m_count) {
      run(lock, i, stream, buffer);
    } else {
      m_changed.wait(lock);
    }
  }
}

// The helpers stop and are joined on every way out, before the jobs go.
void Scheduler::stopHelpers() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
  }
  m_changed.notify_all();
  for (std::thread& t : m_helpers) t.join();
  m_helpers.clear();
}

size_t Scheduler::reportInOrder(const ZipReader::ExtractReport& report) {
  ZipEntryStream stream;
  std::vector<uint8_t> buffer;
  std::unique_lock<std::mutex> lock(m_mutex);
  while (m_nextReport < m_count) {
    Job& job = m_jobs[m_nextReport];
    if (job.state == JobState::Done) {
      if (job.error) break;
      lock.unlock();
      report(job.index, job.path, job.complete);
      lock.lock();
      ++m_nextReport;
      m_changed.notify_all();  // an ordered job may start now
      continue;
    }
    const size_t i = pick();
    if (i < m_count) {
      run(lock, i, stream, buffer);
    } else {
      m_changed.wait(lock);
    }
  }
  const size_t failed = m_nextReport;
  lock.unlock();
  stopHelpers();
  return failed;
}

// As if the extraction had stopped at the failed job: what later jobs created goes.
// A folder goes only when empty: an entry before the failure may have written into a
// folder that a later one made.
void UndoJobsAfter(const std::vector<Job>& jobs, size_t failed) {
  for (size_t i = jobs.size(); i-- > failed + 1;) {
    for (auto made = jobs[i].created.rbegin(); made != jobs[i].created.rend(); ++made) {
      if (IsDirectory(*made)) {
        RemoveFolder(*made);
      } else {
        SetFileAttributeBits(*made, kAttrNormal);
        DeleteFilePath(*made);
      }
    }
  }
}

}  // namespace

bool ZipReader::extractEntries(const std::vector<int>& indices, const std::string& targetFolder,
                               bool keepFolders, unsigned bufferSize, unsigned threads,
                               const ExtractReport& report) {
  if (m_pSource == nullptr || m_stream->isOpen()) return false;
  std::vector<Job> jobs(indices.size());
  const bool nothingToDo = bufferSize == 0 && targetFolder.empty();  // extractEntry gives false
  for (size_t i = 0; i < jobs.size(); ++i) {
    jobs[i].index = indices[i];
    if (!nothingToDo && jobs[i].index >= 0 && jobs[i].index < entryCount())
      jobs[i].path = targetPath(jobs[i].index, targetFolder, keepFolders);
  }
  const size_t work = PlanJobs(jobs);

  const ExtractFn extract = [&](ZipEntryStream& stream, const Job& job, std::vector<uint8_t>& buffer,
                                std::vector<std::string>* created) {
    return extractTo(stream, job.index, job.path, bufferSize, buffer, created);
  };
  Scheduler scheduler(jobs, extract);
  const unsigned total = ThreadCount(threads);
  if (work > 1 && total > 1) scheduler.startHelpers(std::min<size_t>(total, work) - 1);
  const size_t failed = scheduler.reportInOrder(report);
  if (failed < jobs.size()) {
    UndoJobsAfter(jobs, failed);
    std::rethrow_exception(jobs[failed].error);
  }
  return true;
}

}  // namespace vx
