// ZipReader::extractEntries against extractEntry called for one entry after another
// until the first exception: on 1, 2 and 5 threads, sound and damaged archives must
// give the same reports in the same order, the same exception and the same files.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "common/file.h"
#include "common/file_exception.h"
#include "test_archive.h"
#include "zipreader/zip_reader.h"

using namespace vxtest;

namespace {

struct Outcome {
  std::vector<std::string> reports;  // "index name complete", name relative to the folder
  int cause = 0;                     // CZipException cause; -1 a file exception; 0 none
  std::map<std::string, Bytes> files;

  void add(int index, const std::string& folder, const std::string& path, bool complete) {
    std::string name = path.empty() ? "-" : path.substr(folder.size());
    reports.push_back(std::to_string(index) + " " + name + " " + (complete ? "1" : "0"));
  }
  void collect(const ScratchFolder& dir, bool recurse) {
    std::function<void(const std::string&, const std::string&)> walk = [&](const std::string& at,
                                                                           const std::string& prefix) {
      vx::ForEachInFolder(at, [&](const std::string& name, bool isFolder) {
        if (isFolder && recurse) {
          files[prefix + name + "/"] = Bytes();
          walk(vx::JoinPath(at, name), prefix + name + "/");
        } else {
          files[prefix + name] = ReadWholeFile(vx::JoinPath(at, name));
        }
      });
    };
    walk(dir.path(), "");
  }
};

std::vector<int> AllEntries(const vx::ZipReader& reader) {
  std::vector<int> all;
  for (int i = 0; i < reader.entryCount(); ++i) all.push_back(i);
  return all;
}

Outcome OneAtATime(const Bytes& archive, bool keepFolders) {
  ScratchFolder dir("serial");
  Outcome o;
  MemoryReader reader(archive);
  reader.setPassword("pw");
  for (int i : AllEntries(reader)) {
    try {
      const std::string path = reader.targetPath(i, dir.path(), keepFolders);
      const bool complete = reader.extractEntry(i, dir.path(), keepFolders, nullptr, 65536);
      o.add(i, dir.path(), path, complete);
    } catch (const vx::CZipException& e) {
      o.cause = e.m_iCause;
      break;
    } catch (const vx::FileException&) {
      o.cause = -1;
      break;
    }
  }
  o.collect(dir, keepFolders);
  return o;
}

Outcome AllAtOnce(vx::ZipSource& source, bool keepFolders, unsigned threads, unsigned bufferSize = 65536) {
  ScratchFolder dir("parallel");
  Outcome o;
  vx::ZipReader reader;
  reader.open(source);
  reader.setPassword("pw");
  try {
    EXPECT_TRUE(reader.extractEntries(
        AllEntries(reader), dir.path(), keepFolders, bufferSize, threads,
        [&](int i, const std::string& path, bool complete) { o.add(i, dir.path(), path, complete); }));
  } catch (const vx::CZipException& e) {
    o.cause = e.m_iCause;
  } catch (const vx::FileException&) {
    o.cause = -1;
  }
  EXPECT_FALSE(reader.isEntryOpen());
  o.collect(dir, keepFolders);
  return o;
}

// Eleven entries of every form: encrypted (with descriptors) or not, stored or
// deflated, an unsafe name, two names for one file, and a file named like the folder
// of an earlier entry.
TestArchive BuildRich(const std::string& secondPassword) {
  const struct {
    const char* name;
    Bytes data;
    uint16_t method;
    const char* password;
  } rows[] = {
      {"package.ini", TextBytes("[SETTINGS]\r\nfullscreen=false\r\nmainmovie=intro.swf\r\ntype=resource"), 8,
       "pw"},
      {"media/intro.swf", PatternBytes(100000, 3), 8, "pw"},
      {"song.mp3", PatternBytes(70000, 4), 0, secondPassword.c_str()},
      {"CON", TextBytes("device"), 8, ""},
      {"dup.txt", TextBytes("first"), 8, ""},
      {"data.xml", TextLikeBytes(90000, 5), 8, ""},
      {"sub/dup.txt", TextBytes("second"), 8, ""},
      {"empty.txt", Bytes(), 8, ""},
      {"big.bin", TextLikeBytes(400000, 8), 8, "pw"},
      {"last.swf", PatternBytes(20000, 9), 0, ""},
      {"media", TextBytes("a file where the first movie's folder is"), 8, ""},
  };
  std::vector<TestEntry> v;
  for (const auto& r : rows) {
    TestEntry e;
    e.name = r.name;
    e.data = r.data;
    e.method = r.method;
    e.password = r.password;
    e.dataDescriptor = !e.password.empty();
    v.push_back(e);
  }
  return BuildArchive(v);
}

const TestArchive& Rich(bool otherPassword = false) {
  static const TestArchive plain = BuildRich("pw"), other = BuildRich("other");
  return otherPassword ? other : plain;
}

void Flip(TestArchive& a, size_t at) { a.bytes[at] ^= 0x40; }

TEST(ZipReaderParallel, SameReportsExceptionAndFilesAsOneAtATime) {
  struct Case {
    const char* what;
    std::function<void(TestArchive&)> damage;
  };
  const std::vector<Case> cases = {
      {"sound", [](TestArchive&) {}},
      {"first entry damaged", [](TestArchive& a) { Flip(a, a.entries[0].localHeader); }},
      {"deflate data of entry 1 damaged", [](TestArchive& a) { Flip(a, a.entries[1].data + 300); }},
      {"CRC of entry 5 differs",
       [](TestArchive& a) {
         Flip(a, a.entries[5].localHeader + 14);
         Flip(a, a.entries[5].central + 16);
       }},
      {"local header of entry 8 damaged", [](TestArchive& a) { Flip(a, a.entries[8].localHeader + 1); }},
      {"descriptor of entry 8 differs", [](TestArchive& a) { Flip(a, a.entries[8].descriptor + 5); }},
      {"last entry cut short", [](TestArchive& a) { Flip(a, a.entries[9].localHeader + 19); }},
      {"entry 2 has another password", [](TestArchive& a) { a = Rich(true); }},
  };
  for (const Case& c : cases) {
    TestArchive a = Rich();
    c.damage(a);
    for (bool keepFolders : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (keepFolders ? ", folders kept" : ", folders dropped"));
      const Outcome serial = OneAtATime(a.bytes, keepFolders);
      for (unsigned threads : {1u, 2u, 5u}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        vx::ZipMemoryFile mem(a.bytes.data(), a.bytes.size());
        const Outcome parallel = AllAtOnce(mem, keepFolders, threads);
        EXPECT_EQ(parallel.cause, serial.cause);
        EXPECT_EQ(parallel.reports, serial.reports);
        EXPECT_TRUE(parallel.files == serial.files)
            << parallel.files.size() << " files, not " << serial.files.size();
      }
    }
  }
  // The cases reach what they are meant to (a sound archive ends in the file named
  // like a folder only when folders are kept).
  EXPECT_EQ(OneAtATime(Rich().bytes, false).cause, 0);
  EXPECT_EQ(OneAtATime(Rich().bytes, true).cause, -1);
  EXPECT_EQ(OneAtATime(Rich().bytes, false).files.at("dup.txt"), TextBytes("second"));
  EXPECT_EQ(OneAtATime(Rich(true).bytes, false).cause, 110);
}

TEST(ZipReaderParallel, DiskFileAndSmallBuffers) {
  TestArchive a = Rich();
  ScratchFolder dir("disk");
  Bytes file = PatternBytes(999, 1);  // the archive behind other bytes, as in a package
  file.insert(file.end(), a.bytes.begin(), a.bytes.end());
  WriteWholeFile(dir.file("show.exe"), file);
  const Outcome serial = OneAtATime(a.bytes, false);
  vx::ZipDiskFile disk;
  ASSERT_TRUE(disk.open(dir.file("show.exe"), 999));
  const Outcome parallel = AllAtOnce(disk, false, 4, 4099);
  EXPECT_EQ(parallel.reports, serial.reports);
  EXPECT_TRUE(parallel.files == serial.files);
}

// A source whose reads show which threads read and whether two of them met: the first
// read waits (up to 10 s) for a read from another thread.
class MeetingSource : public vx::ZipMemoryFile {
 public:
  MeetingSource(const Bytes& b, bool wait) : ZipMemoryFile(b.data(), b.size()), m_wait(wait) {}
  size_t readAt(uint64_t position, void* buf, size_t n) override {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_readers.insert(std::this_thread::get_id());
    ++m_inside;
    if (m_inside >= 2) m_met = true;
    m_changed.notify_all();
    if (m_wait && !m_met) m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_met; });
    --m_inside;
    lock.unlock();
    return ZipMemoryFile::readAt(position, buf, n);
  }
  bool met() const { return m_met; }
  size_t readers() const { return m_readers.size(); }

 private:
  const bool m_wait;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::set<std::thread::id> m_readers;
  int m_inside = 0;
  bool m_met = false;
};

TEST(ZipReaderParallel, EntriesAreReadOnSeveralThreadsOrOnTheCallerAlone) {
  TestArchive a = Rich();
  MeetingSource together(a.bytes, true);
  AllAtOnce(together, false, 2);
  EXPECT_TRUE(together.met()) << "no two entries were read at the same time";
  EXPECT_EQ(together.readers(), 2u);

  MeetingSource alone(a.bytes, false);
  AllAtOnce(alone, false, 1);
  EXPECT_EQ(alone.readers(), 1u);
}

TEST(ZipReaderParallel, RefusedWhileAnEntryIsOpenOrTheReaderIsClosed) {
  TestArchive a = Rich();
  vx::ZipMemoryFile mem(a.bytes.data(), a.bytes.size());
  vx::ZipReader reader;
  ScratchFolder dir("refused");
  auto never = [](int, const std::string&, bool) { ADD_FAILURE() << "reported"; };
  EXPECT_FALSE(reader.extractEntries({0}, dir.path(), false, 65536, 2, never));
  reader.open(mem);
  reader.setPassword("pw");
  ASSERT_TRUE(reader.openEntry(0));
  EXPECT_FALSE(reader.extractEntries({0, 1}, dir.path(), false, 65536, 2, never));
  EXPECT_TRUE(dir.list().empty());
}

}  // namespace
