// Failure results, and what a failed add leaves in the archive: no central record, and
// the entries before and after it intact.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#endif

#include "common/file.h"
#include "common/package_contract.h"
#include "zip_test_util.h"
#include "zipwriter/zip_writer.h"
#include "zipwriter/zip_writer_testing.h"

namespace {

using namespace ziptest;

const std::string kPassword = vx::kPackagePassword;

uint64_t SizeOf(const std::string& path) {
  vx::FileDescription d;
  EXPECT_TRUE(vx::DescribePath(path, d)) << path;
  return d.size;
}

// Decrypts (when needed) and decodes every entry of the directory, checking the CRC;
// returns the names in order.
std::vector<std::string> ReadBackAll(const Bytes& a, const char* password) {
  std::vector<std::string> names;
  for (const CentralRecord& c : ParseDirectory(a)) {
    LocalRecord l = ParseLocal(a, c.localHeaderOffset);
    EXPECT_EQ(l.name, c.name);
    Bytes data;
    if (password) {
      Bytes header;
      data = Decrypt(a, l.dataOffset, c.compressedSize, password, header);
      EXPECT_EQ(header[11], c.time >> 8);
    } else {
      data.assign(a.begin() + l.dataOffset, a.begin() + l.dataOffset + c.compressedSize);
    }
    if (c.method == 8) {
      bool ok;
      data = Inflate(data, ok);
      EXPECT_TRUE(ok) << c.name;
    }
    EXPECT_EQ(data.size(), c.uncompressedSize) << c.name;
    EXPECT_EQ(Crc(data), c.crc) << c.name;
    names.push_back(c.name);
  }
  return names;
}

TEST(ZipFailures, MissingSourceWritesNothingForTheEntry) {
  ScratchFolder dir("fail");
  WriteFile(dir / "a.txt", CompressibleBytes(4000));
  WriteFile(dir / "b.zip", RandomBytes(300));
  for (const char* password : {static_cast<const char*>(nullptr), vx::kPackagePassword}) {
    std::string archive = dir / "out.zip";
    vx::ZipWriterHandle* zip = vx::ZipWriter::create(archive, password);
    ASSERT_NE(zip, nullptr);
    ASSERT_EQ(vx::ZipWriter::addFile(zip, "a.txt", dir / "a.txt"), vx::kZipOk);
    // Nothing reaches the file for the missing source: the size after the next good
    // entry is exactly that of an archive made without the missing one.
    EXPECT_EQ(vx::ZipWriter::addFile(zip, "missing.swf", dir / "no-such-file.swf"), vx::kZipOpenFailed);
    EXPECT_EQ(vx::ZipWriter::addFile(zip, "folder.swf", dir.path()), vx::kZipOpenFailed);
    ASSERT_EQ(vx::ZipWriter::addFile(zip, "b.zip", dir / "b.zip"), vx::kZipOk);
    ASSERT_EQ(vx::ZipWriter::close(zip), vx::kZipOk);
    Bytes a = ReadFile(archive);

    zip = vx::ZipWriter::create(dir / "ref.zip", password);
    ASSERT_EQ(vx::ZipWriter::addFile(zip, "a.txt", dir / "a.txt"), vx::kZipOk);
    ASSERT_EQ(vx::ZipWriter::addFile(zip, "b.zip", dir / "b.zip"), vx::kZipOk);
    ASSERT_EQ(vx::ZipWriter::close(zip), vx::kZipOk);
    EXPECT_EQ(a.size(), SizeOf(dir / "ref.zip"));

    EXPECT_EQ(ReadBackAll(a, password), (std::vector<std::string>{"a.txt", "b.zip"}));
  }
}

TEST(ZipFailures, BadArgumentsAndHandles) {
  ScratchFolder dir("fail");
  WriteFile(dir / "a.txt", "content");
  EXPECT_EQ(vx::ZipWriter::addFile(nullptr, "a.txt", dir / "a.txt"), vx::kZipBadArgument);
  EXPECT_EQ(vx::ZipWriter::close(nullptr), vx::kZipBadArgument);

  // Something that is not a writer's handle: its first word is not the writer's tag.
  uint32_t foreign[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  auto* fake = reinterpret_cast<vx::ZipWriterHandle*>(foreign);
  EXPECT_EQ(vx::ZipWriter::addFile(fake, "a.txt", dir / "a.txt"), vx::kZipNotWriterHandle);
  EXPECT_EQ(vx::ZipWriter::close(fake), vx::kZipNotWriterHandle);

  std::string archive = dir / "out.zip";
  vx::ZipWriterHandle* zip = vx::ZipWriter::create(archive, kPassword.c_str());
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(vx::ZipWriter::addFile(zip, "", dir / "a.txt"), vx::kZipBadArgument);
  EXPECT_EQ(vx::ZipWriter::addFile(zip, "a.txt", ""), vx::kZipBadArgument);
  EXPECT_EQ(vx::ZipWriter::addFile(zip, std::string(260, 'n'), dir / "a.txt"), vx::kZipBadArgument);
  EXPECT_EQ(vx::ZipWriter::addFile(zip, std::string(256, 'n') + "\\x.a", dir / "a.txt"), vx::kZipBadArgument);
  ASSERT_EQ(vx::ZipWriter::addFile(zip, "a.txt", dir / "a.txt"), vx::kZipOk);
  ASSERT_EQ(vx::ZipWriter::close(zip), vx::kZipOk);
  Bytes a = ReadFile(archive);
  EXPECT_EQ(ParseLocal(a, 0).name, "a.txt") << "the refused adds wrote nothing";
  EXPECT_EQ(ReadBackAll(a, kPassword.c_str()), std::vector<std::string>{"a.txt"});
}

TEST(ZipFailures, ArchiveThatCannotBeCreated) {
  ScratchFolder dir("fail");
  EXPECT_EQ(vx::ZipWriter::create(vx::JoinPath(dir / "no-such-folder", "out.zip"), nullptr), nullptr);
  EXPECT_EQ(vx::ZipWriter::create(dir.path(), kPassword.c_str()), nullptr) << "a folder is no archive";
}

TEST(ZipFailures, CreateTruncatesAndLocksTheArchive) {
  ScratchFolder dir("fail");
  std::string archive = dir / "out.zip";
  WriteFile(archive, RandomBytes(5000));
  vx::ZipWriterHandle* zip = vx::ZipWriter::create(archive, nullptr);
  ASSERT_NE(zip, nullptr);
#ifdef _WIN32
  // No sharing: nobody else can open the archive while it is written.
  vx::File other;
  EXPECT_FALSE(other.open(archive, vx::File::Mode::Read));
#endif
  ASSERT_EQ(vx::ZipWriter::close(zip), vx::kZipOk);
  EXPECT_EQ(SizeOf(archive), 22u);
}

// Near the format's 4 GiB limit of offsets an entry that might cross it is refused
// before anything is written, instead of storing offsets cut to 32 bits.
TEST(ZipFailures, EntryThatWouldPassTheOffsetLimitIsRefused) {
  ScratchFolder dir("fail");
  WriteFile(dir / "a.bin", RandomBytes(10000));
  WriteFile(dir / "a.zip", RandomBytes(10000));
  for (const char* password : {static_cast<const char*>(nullptr), vx::kPackagePassword}) {
    std::string archive = dir / "out.zip";
    vx::ZipWriterHandle* zip = vx::ZipWriter::create(archive, password);
    ASSERT_NE(zip, nullptr);
    ASSERT_TRUE(vx::zip_writer_testing::SetWritePosition(zip, 0xFFFFFFFFull - 5000));
    EXPECT_EQ(vx::ZipWriter::addFile(zip, "a.bin", dir / "a.bin"), vx::kZipBadArgument);
    EXPECT_EQ(vx::ZipWriter::addFile(zip, "a.zip", dir / "a.zip"), vx::kZipBadArgument);
    EXPECT_EQ(SizeOf(archive), 0u) << "nothing written for refused entries";
    // Just enough room: a stored entry of 10000 bytes fits when the whole archive,
    // with its central record and end record, stays within 32-bit offsets.
    const uint64_t need = 30 + 5 + 17 + 10000 + (password ? 12 + 16 : 0) + 46 + 5 + 9 + 22;
    ASSERT_TRUE(vx::zip_writer_testing::SetWritePosition(zip, 0xFFFFFFFFull - need));
    EXPECT_EQ(vx::ZipWriter::addFile(zip, "a.zip", dir / "a.zip"), vx::kZipOk);
    vx::ZipWriter::close(zip);
  }
}

#ifndef _WIN32

// Hooks run between the size query and the copy: the source changes as another
// process could change it. (On Windows the source is opened without write sharing, so
// nobody can change it while it is read.)
std::string g_changePath;
void GrowSource(const std::string& path) {
  if (path != g_changePath) return;
  FILE* fp = std::fopen(path.c_str(), "ab");
  ASSERT_NE(fp, nullptr);
  std::fputs("more bytes at the end", fp);
  std::fclose(fp);
}
void ShrinkSource(const std::string& path) {
  if (path != g_changePath) return;
  FILE* fp = std::fopen(path.c_str(), "wb");  // truncates the same file
  ASSERT_NE(fp, nullptr);
  std::fputs("short", fp);
  std::fclose(fp);
}

struct HookReset {
  ~HookReset() { vx::zip_writer_testing::afterSourceDescribed = nullptr; }
};

TEST(ZipFailures, SourceThatChangesSizeIsRefused) {
  ScratchFolder dir("fail");
  HookReset reset;
  for (const char* password : {static_cast<const char*>(nullptr), vx::kPackagePassword}) {
    for (const char* name : {"change.zip", "change.swf"}) {
      for (auto hook : {&GrowSource, &ShrinkSource}) {
        SCOPED_TRACE(std::string(name) + (hook == &GrowSource ? " grows" : " shrinks") +
                     (password ? ", encrypted" : ""));
        WriteFile(dir / "before.xml", CompressibleBytes(2000));
        WriteFile(dir / "after.jpg", RandomBytes(3000));
        g_changePath = dir / name;
        WriteFile(g_changePath, CompressibleBytes(100000));
        std::string archive = dir / "out.zip";
        vx::ZipWriterHandle* zip = vx::ZipWriter::create(archive, password);
        ASSERT_NE(zip, nullptr);
        ASSERT_EQ(vx::ZipWriter::addFile(zip, "before.xml", dir / "before.xml"), vx::kZipOk);
        vx::zip_writer_testing::afterSourceDescribed = hook;
        EXPECT_EQ(vx::ZipWriter::addFile(zip, name, g_changePath), vx::kZipSizeChanged);
        vx::zip_writer_testing::afterSourceDescribed = nullptr;
        ASSERT_EQ(vx::ZipWriter::addFile(zip, "after.jpg", dir / "after.jpg"), vx::kZipOk);
        ASSERT_EQ(vx::ZipWriter::close(zip), vx::kZipOk);
        Bytes a = ReadFile(archive);
        EXPECT_EQ(ReadBackAll(a, password), (std::vector<std::string>{"before.xml", "after.jpg"}));
      }
    }
  }
}

// A real source whose size is unknown until read: a FIFO reports size 0, then delivers
// data from a writer thread.
TEST(ZipFailures, FifoSourceIsASizeChange) {
  ScratchFolder dir("fail");
  std::string fifo = dir / "pipe.zip";
  // The reading side closes the FIFO early; the feeder must see EPIPE, not a signal.
  std::signal(SIGPIPE, SIG_IGN);
  for (const char* name : {"pipe.zip", "pipe.swf"}) {
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread feeder([&] {
      FILE* fp = std::fopen(fifo.c_str(), "wb");
      if (!fp) return;
      for (int i = 0; i < 100; ++i) std::fputs("streamed data that was not there when asked\n", fp);
      std::fclose(fp);
    });
    std::string archive = dir / "out.zip";
    vx::ZipWriterHandle* zip = vx::ZipWriter::create(archive, kPassword.c_str());
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(vx::ZipWriter::addFile(zip, name, fifo), vx::kZipSizeChanged) << name;
    feeder.join();
    ASSERT_EQ(vx::ZipWriter::close(zip), vx::kZipOk);
    EXPECT_TRUE(ReadBackAll(ReadFile(archive), kPassword.c_str()).empty());
    unlink(fifo.c_str());
  }
}

// A full disk: every write fails and is reported, nothing claims success.
TEST(ZipFailures, WriteFailuresAreReported) {
  ScratchFolder dir("fail");
  WriteFile(dir / "a.txt", CompressibleBytes(1000));
  WriteFile(dir / "a.zip", RandomBytes(1000));
  vx::ZipWriterHandle* zip = vx::ZipWriter::create("/dev/full", kPassword.c_str());
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(vx::ZipWriter::addFile(zip, "a.txt", dir / "a.txt"), vx::kZipWriteFailed);
  EXPECT_EQ(vx::ZipWriter::addFile(zip, "a.zip", dir / "a.zip"), vx::kZipWriteFailed);
  EXPECT_EQ(vx::ZipWriter::close(zip), vx::kZipWriteFailed);

  zip = vx::ZipWriter::create("/dev/full", nullptr);
  ASSERT_NE(zip, nullptr);
  EXPECT_EQ(vx::ZipWriter::close(zip), vx::kZipWriteFailed) << "even the end record alone";
}

// Sources of 4 GiB and more do not fit the 32-bit size fields: refused up front
// (sparse files, so nothing large is written or read).
TEST(ZipFailures, SourcesTooLargeForTheFormatAreRefused) {
  ScratchFolder dir("fail");
  struct Case {
    const char* name;
    uint64_t size;
    const char* password;
  } cases[] = {{"huge.swf", 0x100000000ull, nullptr},
               {"huge.zip", 0x100000000ull, nullptr},
               {"huge.zip", 0xFFFFFFFFull - 11, vx::kPackagePassword},  // + 12 would overflow
               {"huge.swf", 0xFFFFFFFFull, vx::kPackagePassword}};
  for (const Case& c : cases) {
    std::string path = dir / "sparse";
    WriteFile(path, Bytes{});
    if (truncate(path.c_str(), static_cast<off_t>(c.size)) != 0) GTEST_SKIP() << "no sparse files here";
    std::string archive = dir / "out.zip";
    vx::ZipWriterHandle* zip = vx::ZipWriter::create(archive, c.password);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(vx::ZipWriter::addFile(zip, c.name, path), vx::kZipBadArgument) << c.name << " " << c.size;
    EXPECT_EQ(vx::ZipWriter::close(zip), vx::kZipOk);
    EXPECT_EQ(SizeOf(archive), 22u);
  }
}

// The end record counts entries in 16 bits: the 65536th entry is refused, and the
// archive with 65535 entries stays exact.
TEST(ZipFailures, EntryCountLimit) {
  ScratchFolder dir("fail");
  WriteFile(dir / "e", Bytes{});
  std::string archive = dir / "many.zip";
  vx::ZipWriterHandle* zip = vx::ZipWriter::create(archive, nullptr);
  ASSERT_NE(zip, nullptr);
  for (int i = 0; i < 65535; ++i) {
    ASSERT_EQ(vx::ZipWriter::addFile(zip, std::to_string(i), dir / "e"), vx::kZipOk) << i;
  }
  EXPECT_EQ(vx::ZipWriter::addFile(zip, "one-too-many", dir / "e"), vx::kZipBadArgument);
  ASSERT_EQ(vx::ZipWriter::close(zip), vx::kZipOk);
  Bytes a = ReadFile(archive);
  EndRecord end = ParseEnd(a);
  EXPECT_EQ(end.totalEntries, 65535);
  EXPECT_EQ(end.entriesOnDisk, 65535);
  std::vector<CentralRecord> central = ParseDirectory(a);
  ASSERT_EQ(central.size(), 65535u);
  EXPECT_EQ(central.back().name, "65534");
}

#endif  // !_WIN32

}  // namespace
