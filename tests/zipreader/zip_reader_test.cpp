// The reader on archives built in memory: every record variant, every check on damaged
// input with the cause it must give, passwords, names, times and attributes.
#include <gtest/gtest.h>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>
#include <set>

#include "common/file.h"
#include "common/utf.h"
#include "common/file_exception.h"
#include "test_archive.h"
#include "zipreader/zip_reader.h"

using namespace vxtest;
using vx::CZipException;
namespace zip = vx::zip;

namespace {

// The causes of zlib's data error and buffer error (Z_DATA_ERROR, Z_BUF_ERROR).
constexpr int kZlibDataError = 504;
constexpr int kZlibBufferError = 506;

// Opens and extracts every entry; returns the cause of the first CZipException, or 0.
int CauseOfExtractAll(const Bytes& archive, const std::string& folder, const char* password = nullptr) {
  vx::ZipMemoryFile mem(archive.data(), archive.size());
  vx::ZipReader reader;
  try {
    reader.open(mem);
    reader.setPassword(password);
    for (int i = 0; i < reader.entryCount(); ++i) reader.extractEntry(i, folder, false, nullptr, 65536);
  } catch (const vx::CZipException& e) {
    return e.m_iCause;
  }
  return 0;
}

int CauseOfOpen(const Bytes& archive) {
  vx::ZipMemoryFile mem(archive.data(), archive.size());
  vx::ZipReader reader;
  try {
    reader.open(mem);
  } catch (const vx::CZipException& e) {
    return e.m_iCause;
  }
  return 0;
}

std::vector<TestEntry> ThreeEntries(const std::string& password, bool descriptor, uint16_t method) {
  std::vector<TestEntry> v = {
      MakeEntry("package.ini",
                TextBytes("[SETTINGS]\r\nfullscreen=false\r\nmainmovie=intro.swf\r\ntype=resource")),
      MakeEntry("media/intro.swf", PatternBytes(200000, 3)), MakeEntry("empty.txt", {})};
  for (auto& e : v) {
    e.password = password;
    e.dataDescriptor = descriptor;
    e.method = method;
  }
  return v;
}

}  // namespace

// ---------------------------------------------------------------------------------
// Reading sound archives

struct Variant {
  uint16_t method;
  bool encrypted;
  bool descriptor;
  bool signature;
};

class ZipReaderVariants : public ::testing::TestWithParam<Variant> {};

TEST_P(ZipReaderVariants, ExtractsIdenticalBytes) {
  const Variant v = GetParam();
  auto entries = ThreeEntries(v.encrypted ? "Rvd%q!KJEb" : "", v.descriptor, v.method);
  for (auto& e : entries) e.descriptorSignature = v.signature;
  // Extra fields of the writer's form: the reader keeps them without looking inside.
  entries[1].localExtra = {0x55, 0x54, 13, 0, 7, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  entries[1].centralExtra = {0x55, 0x54, 5, 0, 7, 1, 2, 3, 4};
  TestArchive a = BuildArchive(entries);
  ScratchFolder dir("variants");

  MemoryReader reader(a.bytes);
  ASSERT_TRUE(reader.setPassword(v.encrypted ? "Rvd%q!KJEb" : nullptr));
  ASSERT_EQ(reader.entryCount(), 3);
  for (int i = 0; i < 3; ++i) {
    vx::ZipEntryInfo info;
    ASSERT_TRUE(reader.entryInfo(i, info));
    EXPECT_EQ(info.signature, zip::kCentralHeaderSignature);
    EXPECT_EQ(info.uncompressedSize, entries[i].data.size());
    EXPECT_EQ(info.localHeaderOffset, a.entries[i].localHeader);
    EXPECT_FALSE(info.isDirectory());
    EXPECT_TRUE(reader.extractEntry(i, dir.path(), false, nullptr, 65536)) << i;
  }
  vx::ZipEntryInfo none;
  EXPECT_FALSE(reader.entryInfo(3, none));
  EXPECT_FALSE(reader.entryInfo(-1, none));
  reader.close();
  EXPECT_EQ(ReadWholeFile(dir.file("package.ini")), entries[0].data);
  EXPECT_EQ(ReadWholeFile(dir.file("intro.swf")), entries[1].data);
  EXPECT_TRUE(ReadWholeFile(dir.file("empty.txt")).empty());
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"empty.txt", "intro.swf", "package.ini"}));
}

INSTANTIATE_TEST_SUITE_P(AllRecordForms, ZipReaderVariants,
                         ::testing::Values(Variant{8, true, true, true}, Variant{0, true, true, true},
                                           Variant{8, true, true, false}, Variant{8, true, false, false},
                                           Variant{0, true, false, false}, Variant{8, false, false, false},
                                           Variant{0, false, false, false}, Variant{0, false, true, false},
                                           Variant{8, false, true, true}));

TEST(ZipReader, SmallOutputBuffersAndStreaming) {
  TestEntry e = MakeEntry("text.xml", TextLikeBytes(300000, 9), 8, "pw", true);
  TestArchive a = BuildArchive({e});
  ScratchFolder dir("buffers");
  MemoryReader reader(a.bytes);
  reader.setPassword("pw");
  // A buffer size that does not divide the file size, and one of a single byte.
  ASSERT_TRUE(reader.extractEntry(0, dir.path(), false, "a.xml", 4099));
  EXPECT_EQ(ReadWholeFile(dir.file("a.xml")), e.data);

  ASSERT_TRUE(reader.openEntry(0));
  Bytes got;
  uint8_t one;
  while (reader.readEntry(&one, 1) == 1) got.push_back(one);
  EXPECT_EQ(reader.closeEntry(), 1);
  EXPECT_EQ(got, e.data);
}

TEST(ZipReader, EncryptedStoredEntryOf1000Bytes) {
  TestEntry e = MakeEntry("k.bin", PatternBytes(1000, 5), 0, "pw", true);
  e.zeroLocalSizes = false;
  TestArchive a = BuildArchive({e});
  MemoryReader reader(a.bytes);
  vx::ZipEntryInfo info;
  reader.entryInfo(0, info);
  EXPECT_EQ(info.compressedSize, 1012u);
  reader.setPassword("pw");
  ASSERT_TRUE(reader.openEntry(0));
  Bytes got(2000);
  EXPECT_EQ(reader.readEntry(got.data(), got.size()), 1000u);
  got.resize(1000);
  EXPECT_EQ(got, e.data);
  EXPECT_EQ(reader.closeEntry(), 1);
}

TEST(ZipReader, DescriptorAfterAnEndOfBlockThatSitsInTheNextPiece) {
  // A stored block that fills the first 65536-byte piece exactly, then a final empty
  // fixed block (2 bytes) in a piece of its own: all data is produced before the last
  // piece is read, and the descriptor must still be found after the whole entry.
  const size_t n = 65536 - 5;
  TestEntry e = MakeEntry("block.bin", PatternBytes(n, 11), 8, "", true);
  Bytes raw = {0x00, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(~n),
               static_cast<uint8_t>(~n >> 8)};
  raw.insert(raw.end(), e.data.begin(), e.data.end());
  raw.push_back(0x03);
  raw.push_back(0x00);
  e.rawCompressed = raw;
  TestArchive a = BuildArchive({e});
  ScratchFolder dir("eob");
  EXPECT_EQ(CauseOfExtractAll(a.bytes, dir.path()), 0);
  EXPECT_EQ(ReadWholeFile(dir.file("block.bin")), e.data);
}

TEST(ZipReader, BytesBeforeTheArchiveAreSkipped) {
  TestArchive a = BuildArchive(ThreeEntries("pw", true, 8));
  Bytes shifted = PatternBytes(70000, 1);  // e.g. an executable stub in front
  shifted.insert(shifted.end(), a.bytes.begin(), a.bytes.end());
  ScratchFolder dir("leading");
  MemoryReader reader(shifted);
  EXPECT_EQ(reader.bytesBeforeArchive(), 70000u);
  reader.setPassword("pw");
  EXPECT_TRUE(reader.extractEntry(1, dir.path(), false, nullptr, 65536));
  EXPECT_EQ(ReadWholeFile(dir.file("intro.swf")), PatternBytes(200000, 3));
}

TEST(ZipReader, EntriesAreIndexedInArchiveOrderAndLaterSameNameWins) {
  std::vector<TestEntry> v = {MakeEntry("a/same.txt", TextBytes("first")),
                              MakeEntry("b/same.txt", TextBytes("second")),
                              MakeEntry("z.txt", TextBytes("zzz"))};
  TestArchive a = BuildArchive(v);
  // Reverse the central records so the directory order differs from the data order.
  Bytes rev(a.bytes.begin(), a.bytes.begin() + a.centralDirectory);
  for (int i = 2; i >= 0; --i) {
    size_t from = a.entries[i].central;
    size_t to = i == 2 ? a.endRecord : a.entries[i + 1].central;
    rev.insert(rev.end(), a.bytes.begin() + from, a.bytes.begin() + to);
  }
  rev.insert(rev.end(), a.bytes.begin() + a.endRecord, a.bytes.end());
  MemoryReader reader(rev);
  vx::ZipEntryInfo info;
  reader.entryInfo(0, info);
  EXPECT_EQ(info.name(), std::string("a") + vx::kPathSeparator + "same.txt");
  reader.entryInfo(2, info);
  EXPECT_EQ(info.name(), "z.txt");
  ScratchFolder dir("same");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(reader.extractEntry(i, dir.path(), false, nullptr, 65536));
  EXPECT_EQ(ReadWholeFile(dir.file("same.txt")), TextBytes("second"));
}

TEST(ZipReader, DiskFileWindowReadsOnlyItsBytes) {
  TestArchive a = BuildArchive(ThreeEntries("", false, 8));
  ScratchFolder dir("window");
  Bytes file = PatternBytes(1234, 2);
  file.insert(file.end(), a.bytes.begin(), a.bytes.end());
  Bytes tail = PatternBytes(777, 4);  // after the window: must not be taken for the archive
  file.insert(file.end(), tail.begin(), tail.end());
  WriteWholeFile(dir.file("host.bin"), file);

  vx::ZipDiskFile disk;
  ASSERT_TRUE(disk.open(dir.file("host.bin"), 1234, a.bytes.size()));
  EXPECT_EQ(disk.length(), a.bytes.size());
  uint8_t b[4];
  disk.seek(-4, 2);
  ASSERT_EQ(disk.read(b, 10), 4u);  // clipped at the window's end
  EXPECT_EQ(0, std::memcmp(b, a.bytes.data() + a.bytes.size() - 4, 4));
  disk.seek(-10, 0);
  EXPECT_EQ(disk.read(b, 4), 0u);

  vx::ZipReader reader;
  reader.open(disk);
  EXPECT_EQ(reader.bytesBeforeArchive(), 0u);
  ASSERT_EQ(reader.entryCount(), 3);
  EXPECT_TRUE(reader.extractEntry(1, dir.path(), false, nullptr, 65536));
  EXPECT_EQ(ReadWholeFile(dir.file("intro.swf")), PatternBytes(200000, 3));
  reader.close();

  // A window running past the file is clipped; one starting past it is refused.
  vx::ZipDiskFile clipped;
  ASSERT_TRUE(clipped.open(dir.file("host.bin"), 1234));
  EXPECT_EQ(clipped.length(), file.size() - 1234);
  EXPECT_FALSE(clipped.open(dir.file("host.bin"), file.size() + 1));
  EXPECT_FALSE(clipped.open(dir.file("missing.bin")));
}

TEST(ZipReader, MemoryFileNeverWritesItsBlock) {
  TestArchive a = BuildArchive(ThreeEntries("pw", true, 0));
  const Bytes copy = a.bytes;
  ScratchFolder dir("const");
  EXPECT_EQ(CauseOfExtractAll(a.bytes, dir.path(), "pw"), 0);
  EXPECT_EQ(a.bytes, copy);
}

// ---------------------------------------------------------------------------------
// End-record search

TEST(ZipReaderEndRecord, FoundBehindCommentsOfEveryAwkwardLength) {
  TestEntry e = MakeEntry("c.txt", TextBytes("comment test"));
  // Lengths that put the signature at, across and just beyond piece boundaries.
  for (size_t c : {size_t(0), size_t(1), size_t(32768 - 22 - 4), size_t(32768 - 22 - 2), size_t(32768 - 22),
                   size_t(32768 - 22 + 1), size_t(32768 - 22 + 3), size_t(65535 - 1), size_t(65535)}) {
    Bytes comment = PatternBytes(c, static_cast<uint32_t>(c));
    for (size_t i = 0; i + 3 < comment.size(); ++i)  // no stray end-record signature
      if (comment[i] == 'P' && comment[i + 1] == 'K') comment[i] = 'Q';
    TestArchive a = BuildArchive({e}, comment);
    vx::ZipMemoryFile mem(a.bytes.data(), a.bytes.size());
    vx::ZipReader reader;
    ASSERT_NO_THROW(reader.open(mem)) << c;
    EXPECT_EQ(reader.entryCount(), 1) << c;
    EXPECT_EQ(reader.archiveComment(), comment) << c;
  }
}

TEST(ZipReaderEndRecord, MissingTooShortOrTooFarBack) {
  EXPECT_EQ(CauseOfOpen({}), CZipException::kNoEndRecord);
  EXPECT_EQ(CauseOfOpen({'P', 'K', 5}), CZipException::kNoEndRecord);
  EXPECT_EQ(CauseOfOpen(PatternBytes(100000, 8)), CZipException::kNoEndRecord);
  // The signature in a buffer shorter than the record: a short read.
  EXPECT_EQ(CauseOfOpen({'P', 'K', 5, 6, 0, 0, 0, 0, 1, 0}), CZipException::kDamaged);
  // More than 65535 bytes after the end record: it is not searched for there.
  TestEntry e;
  e.name = "x";
  TestArchive a = BuildArchive({e});
  Bytes far = a.bytes;
  Bytes junk(65536, 'j');
  far.insert(far.end(), junk.begin(), junk.end());
  EXPECT_EQ(CauseOfOpen(far), CZipException::kNoEndRecord);
  far.resize(a.bytes.size() + 65535);  // the record starts 65557 bytes before the end
  EXPECT_EQ(CauseOfOpen(far), 0);
}

TEST(ZipReaderEndRecord, EmptyArchiveOpensWithNoEntries) {
  TestArchive a = BuildArchive({});
  ASSERT_EQ(a.bytes.size(), 22u);
  MemoryReader reader(a.bytes);
  EXPECT_EQ(reader.entryCount(), 0);
  reader.close();
  EXPECT_FALSE(reader.isOpen());
}

// ---------------------------------------------------------------------------------
// Damaged archives: one damage per case and the cause it must give

namespace {

struct Damage {
  const char* what;
  std::function<void(TestArchive&)> apply;
  std::set<int> causes;  // 0: no exception
};

// Entry 0: deflated, encrypted, descriptor with signature (the writer's form).
// Entry 1: stored, unencrypted, sizes in the local header.
TestArchive DamageBase() {
  std::vector<TestEntry> v = {MakeEntry("movie.swf", TextLikeBytes(90000, 1), 8, "pw", true),
                              MakeEntry("data.xml", TextLikeBytes(5000, 2), 0)};
  return BuildArchive(v);
}

void Truncate(TestArchive& a, size_t at) { a.bytes.resize(at); }
void Flip(TestArchive& a, size_t at) { a.bytes[at] ^= 0x40; }
template <typename T>
void Add(TestArchive& a, size_t record, vx::zip::Field<T> f, int32_t delta) {
  Put(a.bytes, record, f, static_cast<T>(Get(a.bytes, record, f) + delta));
}

}  // namespace

TEST(ZipReaderDamage, EachDamageGivesItsCause) {
  const TestArchive base = DamageBase();
  const EntryLayout e0 = base.entries[0], e1 = base.entries[1];
  const size_t cd = base.centralDirectory, end = base.endRecord;
  std::vector<Damage> cases = {
      // Truncations: with the end record gone, or cut inside it.
      {"cut inside the end record",
       [&](TestArchive& a) { Truncate(a, end + 10); },
       {CZipException::kDamaged}},
      {"cut in the end signature",
       [&](TestArchive& a) { Truncate(a, end + 3); },
       {CZipException::kNoEndRecord}},
      {"cut in the central directory",
       [&](TestArchive& a) { Truncate(a, cd + 30); },
       {CZipException::kNoEndRecord}},
      {"cut in a local header",
       [&](TestArchive& a) { Truncate(a, e1.localHeader + 12); },
       {CZipException::kNoEndRecord}},
      {"cut in the data", [&](TestArchive& a) { Truncate(a, e0.data + 500); }, {CZipException::kNoEndRecord}},
      {"cut in a descriptor",
       [&](TestArchive& a) { Truncate(a, e0.descriptor + 6); },
       {CZipException::kNoEndRecord}},
      // Cut with the end record kept: the directory no longer fits in front of it.
      {"directory cut short",
       [&](TestArchive& a) { a.bytes.erase(a.bytes.begin() + cd + 10, a.bytes.begin() + end); },
       {CZipException::kDamaged}},
      {"data cut short",
       [&](TestArchive& a) { a.bytes.erase(a.bytes.begin() + e1.data + 10, a.bytes.begin() + cd); },
       {CZipException::kDamaged}},
      // End record.
      {"end signature flipped", [&](TestArchive& a) { Flip(a, end + 1); }, {CZipException::kNoEndRecord}},
      {"directory size too large",
       [&](TestArchive& a) { Add(a, end, zip::end::kDirectorySize, 1); },
       {CZipException::kDamaged}},
      {"directory offset past the end record",
       [&](TestArchive& a) { Add(a, end, zip::end::kDirectoryOffset, 0x10000000); },
       {CZipException::kDamaged}},
      {"directory offset wraps 32 bits",
       [&](TestArchive& a) { Put(a.bytes, end, zip::end::kDirectoryOffset, 0xFFFFFFF0u); },
       {CZipException::kDamaged}},
      {"entry count one too many",
       [&](TestArchive& a) { Put(a.bytes, end, zip::end::kTotalEntries, 3); },
       {CZipException::kDamaged}},
      {"entry count zero, size not",
       [&](TestArchive& a) { Put(a.bytes, end, zip::end::kTotalEntries, 0); },
       {CZipException::kDamaged}},
      {"size zero, entry count not",
       [&](TestArchive& a) { Put(a.bytes, end, zip::end::kDirectorySize, 0); },
       {CZipException::kDamaged}},
      {"later volume",
       [&](TestArchive& a) { Put(a.bytes, end, zip::end::kThisDisk, 1); },
       {CZipException::kDamaged}},
      {"comment running past the end",
       [&](TestArchive& a) { Put(a.bytes, end, zip::end::kCommentLength, 10); },
       {CZipException::kDamaged}},
      // Central records.
      {"central signature flipped",
       [&](TestArchive& a) { Flip(a, e1.central + 2); },
       {CZipException::kDamaged}},
      {"central name length runs past",
       [&](TestArchive& a) { Put(a.bytes, e1.central, zip::central::kNameLength, 0xFFFF); },
       {CZipException::kDamaged}},
      {"central extra length runs past",
       [&](TestArchive& a) { Put(a.bytes, e1.central, zip::central::kExtraLength, 0xFFFF); },
       {CZipException::kDamaged}},
      {"central comment length runs past",
       [&](TestArchive& a) { Put(a.bytes, e0.central, zip::central::kCommentLength, 0x8000); },
       {CZipException::kDamaged}},
      {"two records, one local header",
       [&](TestArchive& a) {
         Put(a.bytes, e1.central, zip::central::kLocalHeaderOffset, static_cast<uint32_t>(e0.localHeader));
       },
       {CZipException::kDamaged}},
      {"local header offset past the archive",
       [&](TestArchive& a) { Put(a.bytes, e1.central, zip::central::kLocalHeaderOffset, 0xFFFFFFF0u); },
       {CZipException::kDamaged}},
      {"central method unsupported",
       [&](TestArchive& a) {
         Put(a.bytes, e1.central, zip::central::kMethod, 12);
         Put(a.bytes, e1.localHeader, zip::local::kMethod, 12);
       },
       {CZipException::kDamaged}},
      // Local headers.
      {"local signature flipped",
       [&](TestArchive& a) { Flip(a, e1.localHeader); },
       {CZipException::kDamaged}},
      {"local method differs",
       [&](TestArchive& a) { Put(a.bytes, e1.localHeader, zip::local::kMethod, 8); },
       {CZipException::kDamaged}},
      {"local name length differs",
       [&](TestArchive& a) { Add(a, e1.localHeader, zip::local::kNameLength, 1); },
       {CZipException::kDamaged}},
      {"local CRC differs", [&](TestArchive& a) { Flip(a, e1.localHeader + 15); }, {CZipException::kDamaged}},
      {"local compressed size differs",
       [&](TestArchive& a) { Add(a, e1.localHeader, zip::local::kCompressedSize, 1); },
       {CZipException::kDamaged}},
      {"local uncompressed size differs",
       [&](TestArchive& a) { Add(a, e1.localHeader, zip::local::kUncompressedSize, 1); },
       {CZipException::kDamaged}},
      {"local extra length runs past",
       [&](TestArchive& a) { Put(a.bytes, e1.localHeader, zip::local::kExtraLength, 0xFFFF); },
       {CZipException::kDamaged}},
      {"bit 3 cleared, sizes still zero",
       [&](TestArchive& a) {
         Put(a.bytes, e0.localHeader, zip::local::kFlags, 1);
         Put(a.bytes, e0.central, zip::central::kFlags, 1);
       },
       {CZipException::kDamaged}},
      // Data.
      {"CRC of the data differs",
       [&](TestArchive& a) {
         Flip(a, e1.localHeader + 14);
         Flip(a, e1.central + 16);
       },
       {CZipException::kCrcMismatch}},
      {"compressed size runs past the archive",
       [&](TestArchive& a) {
         Put(a.bytes, e1.localHeader, zip::local::kCompressedSize, 0x7FFFFFF0u);
         Put(a.bytes, e1.central, zip::central::kCompressedSize, 0x7FFFFFF0u);
       },
       {CZipException::kDamaged}},
      {"encrypted data shorter than its header",
       [&](TestArchive& a) { Put(a.bytes, e0.central, zip::central::kCompressedSize, 5); },
       {CZipException::kDamaged}},
      {"stream needs more than the entry holds",
       [&](TestArchive& a) {
         Put(a.bytes, e0.central, zip::central::kCompressedSize,
             Get(a.bytes, e0.central, zip::central::kCompressedSize) - 100);
       },
       {CZipException::kDamaged}},
      {"deflate data damaged",
       [&](TestArchive& a) { Flip(a, e0.data + 40); },
       {kZlibDataError, CZipException::kCrcMismatch, CZipException::kDamaged}},
      // Data descriptor.
      {"descriptor signature flipped",
       [&](TestArchive& a) { Flip(a, e0.descriptor + 1); },
       {CZipException::kDamaged}},
      {"descriptor CRC differs",
       [&](TestArchive& a) { Flip(a, e0.descriptor + 4); },
       {CZipException::kDamaged}},
      {"descriptor compressed size differs",
       [&](TestArchive& a) { Flip(a, e0.descriptor + 8); },
       {CZipException::kDamaged}},
      {"descriptor uncompressed size differs",
       [&](TestArchive& a) { Flip(a, e0.descriptor + 12); },
       {CZipException::kDamaged}},
      // Sound variants that must not be refused.
      {"undamaged", [](TestArchive&) {}, {0}},
  };
  for (const Damage& d : cases) {
    TestArchive a = base;
    d.apply(a);
    ScratchFolder dir("damage");
    int cause = CauseOfExtractAll(a.bytes, dir.path(), "pw");
    EXPECT_TRUE(d.causes.count(cause)) << d.what << ": got cause " << cause;
  }
}

TEST(ZipReaderDamage, EveryTruncationAndEveryFlippedHeaderByteIsHandled) {
  // Whatever the damage, the result is a cause from the table (or success), never a
  // crash, and nothing is written outside the target folder.
  const TestArchive base = DamageBase();
  const std::set<int> allowed = {0,
                                 CZipException::kDamaged,
                                 CZipException::kCrcMismatch,
                                 CZipException::kBadPassword,
                                 CZipException::kNoEndRecord,
                                 kZlibDataError,
                                 kZlibBufferError};
  ScratchFolder dir("sweep");
  for (size_t cut = 0; cut < base.bytes.size(); cut += 197) {
    TestArchive a = base;
    Truncate(a, cut);
    EXPECT_TRUE(allowed.count(CauseOfExtractAll(a.bytes, dir.path(), "pw"))) << "cut at " << cut;
  }
  std::vector<std::pair<size_t, size_t>> headers = {
      {base.entries[0].localHeader, 30}, {base.entries[1].localHeader, 30}, {base.entries[0].descriptor, 16},
      {base.entries[0].central, 46},     {base.entries[1].central, 46},     {base.endRecord, 22}};
  for (auto [at, len] : headers) {
    for (size_t i = 0; i < len; ++i) {
      for (uint8_t x : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)}) {
        TestArchive a = base;
        a.bytes[at + i] ^= x;
        int cause = CauseOfExtractAll(a.bytes, dir.path(), "pw");
        EXPECT_TRUE(allowed.count(cause)) << "byte " << at + i << " ^ " << int(x) << ": " << cause;
      }
    }
  }
}

TEST(ZipReaderDamage, DescriptorWithoutSignatureAndZeroLocalSizesAccepted) {
  TestEntry e = MakeEntry("d.bin", PatternBytes(5000, 6), 8, "pw", true);
  e.descriptorSignature = false;
  e.zeroLocalSizes = true;
  TestArchive a = BuildArchive({e});
  ScratchFolder dir("nosig");
  EXPECT_EQ(CauseOfExtractAll(a.bytes, dir.path(), "pw"), 0);
  EXPECT_EQ(ReadWholeFile(dir.file("d.bin")), e.data);
}

TEST(ZipReaderDamage, StoredEntryWithMissingDataReportsIncomplete) {
  TestEntry e = MakeEntry("short.bin", PatternBytes(3000, 6), 0);
  TestArchive a = BuildArchive({e});
  // Claim 1000 more uncompressed bytes than the stored data holds (both headers agree).
  Add(a, a.entries[0].localHeader, zip::local::kUncompressedSize, 1000);
  Add(a, a.entries[0].central, zip::central::kUncompressedSize, 1000);
  ScratchFolder dir("incomplete");
  MemoryReader reader(a.bytes);
  EXPECT_FALSE(reader.extractEntry(0, dir.path(), false, nullptr, 65536));
  EXPECT_FALSE(reader.isEntryOpen());
  EXPECT_EQ(ReadWholeFile(dir.file("short.bin")), e.data);
}

TEST(ZipReaderDamage, CrcMismatchLeavesTheCompleteFileAndTheEntryOpen) {
  TestArchive a = DamageBase();
  Flip(a, a.entries[1].localHeader + 14);
  Flip(a, a.entries[1].central + 16);
  ScratchFolder dir("crc");
  MemoryReader reader(a.bytes);
  reader.setPassword("pw");
  try {
    reader.extractEntry(1, dir.path(), false, nullptr, 65536);
    FAIL() << "no exception";
  } catch (const vx::CZipException& e) {
    EXPECT_EQ(e.m_iCause, CZipException::kCrcMismatch);
    EXPECT_EQ(e.m_szFileName, "data.xml");
  }
  EXPECT_EQ(ReadWholeFile(dir.file("data.xml")), TextLikeBytes(5000, 2));
  // The entry stays open: no second extraction, no new password.
  EXPECT_TRUE(reader.isEntryOpen());
  EXPECT_FALSE(reader.extractEntry(0, dir.path(), false, nullptr, 65536));
  EXPECT_FALSE(reader.setPassword("other"));
  // Closing runs the checks once more, and the reader is closed even so.
  EXPECT_THROW(reader.close(), vx::CZipException);
  EXPECT_FALSE(reader.isOpen());
  EXPECT_FALSE(reader.isEntryOpen());
}

// ---------------------------------------------------------------------------------
// Passwords

TEST(ZipReaderPassword, WrongOrMissingPasswordCreatesNoFile) {
  TestArchive a = BuildArchive(ThreeEntries("Rvd%q!KJEb", true, 8));
  ScratchFolder dir("wrongpw");
  MemoryReader reader(a.bytes);
  for (const char* pw : {static_cast<const char*>(nullptr), "", "Rvd%q!KJEB", "Rvd%q!KJE"}) {
    ASSERT_TRUE(reader.setPassword(pw));
    try {
      reader.extractEntry(0, dir.path(), false, nullptr, 65536);
      ADD_FAILURE() << "accepted " << (pw ? pw : "(none)");
    } catch (const vx::CZipException& e) {
      EXPECT_EQ(e.m_iCause, CZipException::kBadPassword);
      EXPECT_STREQ(e.what(), "Incorrect password set for the file being decrypted");
    }
    EXPECT_TRUE(dir.list().empty());
    EXPECT_FALSE(reader.isEntryOpen());
  }
  // After a refused password the reader goes on with the right one.
  ASSERT_TRUE(reader.setPassword("Rvd%q!KJEb"));
  EXPECT_TRUE(reader.extractEntry(0, dir.path(), false, nullptr, 65536));
}

TEST(ZipReaderPassword, CheckByteIsTheTimeWithDescriptorAndTheCrcWithout) {
  for (bool descriptor : {true, false}) {
    TestEntry e = MakeEntry("c.bin", PatternBytes(100, 1), 8, "pw", descriptor);
    e.dosTime = 0x1200;  // a time byte that differs from the CRC's high byte
    e.zeroLocalSizes = false;
    TestArchive a = BuildArchive({e});
    uint32_t crc = Get(a.bytes, a.entries[0].central, zip::central::kCrc);
    ASSERT_NE(crc >> 24, 0x12u);
    ScratchFolder dir("check");
    EXPECT_EQ(CauseOfExtractAll(a.bytes, dir.path(), "pw"), 0) << descriptor;
    // Swap which flag the headers carry: the check byte no longer matches.
    uint16_t flags = descriptor ? 1 : 9;
    TestArchive b = a;
    Put(b.bytes, b.entries[0].localHeader, zip::local::kFlags, flags);
    Put(b.bytes, b.entries[0].central, zip::central::kFlags, flags);
    EXPECT_EQ(CauseOfExtractAll(b.bytes, dir.path(), "pw"), CZipException::kBadPassword) << descriptor;
  }
}

TEST(ZipReaderPassword, PasswordPassingTheCheckByteFailsTheCrc) {
  TestEntry e = MakeEntry("stored.bin", PatternBytes(4000, 77), 0, "right", true);
  TestArchive a = BuildArchive({e});
  ScratchFolder dir("one256");
  // About one wrong password in 256 gets through the check byte.
  std::string lucky;
  for (int i = 0; i < 100000 && lucky.empty(); ++i) {
    std::string pw = "wrong" + std::to_string(i);
    MemoryReader reader(a.bytes);
    reader.setPassword(pw.c_str());
    try {
      reader.openEntry(0);
      lucky = pw;
    } catch (const vx::CZipException& ex) {
      ASSERT_EQ(ex.m_iCause, CZipException::kBadPassword);
    }
  }
  ASSERT_FALSE(lucky.empty());
  EXPECT_EQ(CauseOfExtractAll(a.bytes, dir.path(), lucky.c_str()), CZipException::kCrcMismatch);
  // The garbage was written in full before the CRC said so.
  EXPECT_EQ(ReadWholeFile(dir.file("stored.bin")).size(), e.data.size());
}

TEST(ZipReaderPassword, SetPasswordWhileAnEntryIsOpenKeepsTheOldOne) {
  TestArchive a = BuildArchive(ThreeEntries("pw", true, 8));
  MemoryReader reader(a.bytes);
  ASSERT_TRUE(reader.setPassword("pw"));
  ASSERT_TRUE(reader.openEntry(0));
  EXPECT_FALSE(reader.openEntry(1));
  EXPECT_FALSE(reader.setPassword("changed"));
  EXPECT_FALSE(reader.setPassword(nullptr));
  Bytes buf(1000);
  reader.readEntry(buf.data(), buf.size());
  EXPECT_EQ(reader.closeEntry(), 1);
  // Still the old password: the next entry opens.
  EXPECT_TRUE(reader.openEntry(1));
  reader.close();
}

// ---------------------------------------------------------------------------------
// Names

TEST(ZipReaderNames, FolderPartsAreDroppedAndTrailingDotsGo) {
  std::vector<TestEntry> v(5);
  v[0].name = "docs/readme.txt";
  v[1].name = "a\\b\\movie.swf";
  v[2].name = "noext.";
  v[3].name = "deep/er/file.bin";
  v[4].name = "trail.txt. ";  // Windows would drop the dot and the space: so do we
  for (size_t i = 0; i < v.size(); ++i) v[i].data = TextBytes("entry " + std::to_string(i));
  TestArchive a = BuildArchive(v);
  ScratchFolder dir("names");
  EXPECT_EQ(CauseOfExtractAll(a.bytes, dir.path()), 0);
  EXPECT_EQ(dir.list(),
            (std::vector<std::string>{"file.bin", "movie.swf", "noext", "readme.txt", "trail.txt"}));
  EXPECT_EQ(ReadWholeFile(dir.file("readme.txt")), TextBytes("entry 0"));

  // A trailing separator on the target folder, and a new name.
  MemoryReader reader(a.bytes);
  EXPECT_EQ(reader.targetPath(0, dir.path() + "/", false), dir.file("readme.txt"));
  EXPECT_EQ(reader.targetPath(0, "", false), "readme.txt");
  EXPECT_EQ(reader.targetPath(0, "", false, "other.txt"), "other.txt");
  EXPECT_EQ(reader.targetPath(3, "t", true), std::string("t") + vx::kPathSeparator + "deep" +
                                                 vx::kPathSeparator + "er" + vx::kPathSeparator + "file.bin");
  EXPECT_EQ(reader.targetPath(0, "/", false), "/readme.txt");
  ASSERT_TRUE(reader.extractEntry(3, dir.path(), true, nullptr, 65536));
  EXPECT_EQ(ReadWholeFile(vx::JoinPath(vx::JoinPath(vx::JoinPath(dir.path(), "deep"), "er"), "file.bin")),
            TextBytes("entry 3"));
}

// Flag bit 11 says the name is UTF-8; bytes that are not (a damaged or hostile
// archive) become U+FFFD, never raw bytes on disk. Without the flag the name is in
// the code page of the system that made it: on POSIX its bytes as they are.
TEST(ZipReaderNames, Utf8FlagDecidesHowANameIsRead) {
  struct Case {
    const char* stored;
    uint16_t flags;
    uint16_t madeBy;
    const char* name;
  } cases[] = {
      {"\xE6\xB8\xB8\xE6\x88\x8F.swf", 0x0800, 0x0B17, "\xE6\xB8\xB8\xE6\x88\x8F.swf"},
      {"bad\xFF\xC0\x80name.txt", 0x0800, 0x0B17, "bad\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDname.txt"},
      {"cut\xE6\xB8.txt", 0x0800, 0x0314, "cut\xEF\xBF\xBD\xEF\xBF\xBD.txt"},
      {"plain.txt", 0x0800, 0x0014, "plain.txt"},
#ifdef _WIN32
      {"latin\xE9.txt", 0, 0x0B17, "latin\xC3\xA9.txt"},  // code page 1252, as Wine's tests run
#else
      {"latin\xE9.txt", 0, 0x0B17, "latin\xE9.txt"},
#endif
  };
  std::vector<TestEntry> v;
  for (const Case& c : cases) {
    v.push_back(MakeEntry(c.stored, TextBytes(c.stored)));
    v.back().moreFlags = c.flags;
    v.back().versionMadeBy = c.madeBy;
  }
  TestArchive a = BuildArchive(v);
  ScratchFolder dir("utf8 names.\xC3\xBC");
  EXPECT_EQ(CauseOfExtractAll(a.bytes, dir.path()), 0);
  MemoryReader reader(a.bytes);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].stored);
    vx::ZipEntryInfo info;
    ASSERT_TRUE(reader.entryInfo(static_cast<int>(i), info));
    EXPECT_EQ(info.name(), cases[i].name);
    EXPECT_EQ(ReadWholeFile(dir.file(cases[i].name)), TextBytes(cases[i].stored));
  }
}

TEST(ZipReaderNames, UnsafeNamesNeverLeaveTheTargetFolder) {
  // Names that are no plain file inside the target folder, with keepFolders false.
  const char* unsafe[] = {"..",          ".",           "",
                          "/",           "sub/..",      "...",
                          "   ",         "C:x",         "x/.",
                          "C:",          "a:b",         "stream.txt:hidden",
                          "CON",         "con",         "NUL.txt",
                          "nul .txt",    "COM1",        "com9.log",
                          "LPT1",        "lpt3.dat",    "AUX",
                          "PRN.x",       "CONOUT$",     "dir/aux.swf",
                          "COM\xB9.txt", "lpt\xC2\xB2", "bad\x01name",
                          "..\\..\\CON"};
  // Names that are only unsafe with their folders kept.
  const char* unsafeKept[] = {"../x.txt", "a/../../x.txt", "..\\x.txt",
                              "C:/x.txt", "ok/CON/x.txt",  "a/./../x"};

  ScratchFolder outer("unsafe");
  std::string target = outer.file("target");
  vx::CreateFolders(target);
  auto check = [&](const std::string& name, bool keep) {
    TestEntry e = MakeEntry(name, TextBytes("payload"));
    // UTF-8 names are flagged as such, as every writer of today does.
    if (vx::Utf16ToUtf8(vx::Utf8ToUtf16(name)) == name &&
        std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
      e.moreFlags = 0x0800;
    e.externalAttributes = 0;
    e.versionMadeBy = 0x0A14;  // NTFS host: a name ending in a separator would be a folder
    TestArchive a = BuildArchive({e});
    MemoryReader reader(a.bytes);
    EXPECT_EQ(reader.targetPath(0, target, keep), "") << name;
    EXPECT_FALSE(reader.extractEntry(0, target, keep, nullptr, 65536)) << name;
    EXPECT_FALSE(reader.isEntryOpen());
    // A new name is checked the same way.
    TestEntry ok;
    ok.name = "fine.txt";
    TestArchive b = BuildArchive({ok});
    vx::ZipMemoryFile mem2(b.bytes.data(), b.bytes.size());
    vx::ZipReader r2;
    r2.open(mem2);
    if (!name.empty()) {
      EXPECT_FALSE(r2.extractEntry(0, target, keep, name.c_str(), 65536)) << name;
    }
    EXPECT_EQ(outer.list(), std::vector<std::string>{"target"}) << name;
    int inside = 0;
    vx::ForEachInFolder(target, [&](const std::string&, bool) { ++inside; });
    EXPECT_EQ(inside, 0) << name;
  };
  for (const char* n : unsafe) {
    check(n, false);
    // With folders kept, "." parts are dropped: "x/." names x.
    if (std::string(n) != "x/.") check(n, true);
  }
  for (const char* n : unsafeKept) check(n, true);
}

// ---------------------------------------------------------------------------------
// Times and attributes

TEST(ZipReaderFileState, ModificationTimeIsTheDosTimeReadAsLocalTime) {
  TestEntry e = MakeEntry("timed.txt", TextBytes("time"));
  e.dosDate = static_cast<uint16_t>(((2025 - 1980) << 9) | (4 << 5) | 15);
  e.dosTime = static_cast<uint16_t>((14 << 11) | (37 << 5) | (58 / 2));
  TestEntry winter = e;
  winter.name = "winter.txt";
  winter.dosDate = static_cast<uint16_t>(((2024 - 1980) << 9) | (1 << 5) | 2);
  winter.dosTime = static_cast<uint16_t>((3 << 11) | (4 << 5) | (5 / 2));
  TestArchive a = BuildArchive({e, winter});
  ScratchFolder dir("times");
  std::time_t before = std::time(nullptr);
  ASSERT_EQ(CauseOfExtractAll(a.bytes, dir.path()), 0);
  std::time_t after = std::time(nullptr);

  auto localTime = [](int y, int mo, int d, int h, int mi, int s) {
    return static_cast<int64_t>(vxtest::LocalTime(y, mo, d, h, mi, s));
  };
  vx::FileDescription d;
  ASSERT_TRUE(vx::DescribePath(dir.file("timed.txt"), d));
  EXPECT_EQ(vx::FileTimeToUnix(d.lastWrite), localTime(2025, 4, 15, 14, 37, 58));
  // The access time is the time of extraction.
  EXPECT_GE(static_cast<int64_t>(vx::FileTimeToUnix(d.lastAccess)), static_cast<int64_t>(before) - 2);
  EXPECT_LE(static_cast<int64_t>(vx::FileTimeToUnix(d.lastAccess)), static_cast<int64_t>(after) + 2);
  ASSERT_TRUE(vx::DescribePath(dir.file("winter.txt"), d));
  EXPECT_EQ(vx::FileTimeToUnix(d.lastWrite), localTime(2024, 1, 2, 3, 4, 4));  // two-second units
}

TEST(ZipReaderFileState, ReadOnlyFollowsTheHostRules) {
  struct Case {
    const char* name;
    uint16_t madeBy;
    uint32_t external;
    bool readOnly;
  };
  const Case cases[] = {
      {"dos_ro.txt", 0x0014, 0x00000021, true},     {"dos_rw.txt", 0x0014, 0x00000020, false},
      {"ntfs_ro.txt", 0x0A14, 0x00000001, true},    {"hpfs_ro.txt", 0x0614, 0x00000021, true},
      {"unix_ro.txt", 0x0314, 0x81240000, true},    {"unix_rw.txt", 0x0314, 0x81A40000, false},
      {"mac_ro.txt", 0x0714, 0x00000021, true},     {"writer_ro.txt", 0x0B17, 0x81000021, false},
      {"writer_rw.txt", 0x0B17, 0x81800020, false}, {"vms_ro.txt", 0x0214, 0x00000001, false},
  };
  std::vector<TestEntry> v;
  for (const Case& c : cases) {
    TestEntry e = MakeEntry(c.name, TextBytes(c.name));
    e.versionMadeBy = c.madeBy;
    e.externalAttributes = c.external;
    v.push_back(e);
  }
  TestArchive a = BuildArchive(v);
  ScratchFolder dir("attrs");
  ASSERT_EQ(CauseOfExtractAll(a.bytes, dir.path()), 0);
  for (const Case& c : cases) {
    vx::FileDescription d;
    ASSERT_TRUE(vx::DescribePath(dir.file(c.name), d)) << c.name;
    EXPECT_EQ((d.attributes & vx::kAttrReadOnly) != 0, c.readOnly) << c.name;
    EXPECT_EQ(ReadWholeFile(dir.file(c.name)), TextBytes(c.name));
  }
}

TEST(ZipReaderFileState, SystemAttributesAndFolderTest) {
  auto attrs = [](uint16_t madeBy, uint32_t external, const std::string& name) {
    vx::ZipEntryInfo e;
    e.versionMadeBy = madeBy;
    e.externalAttributes = external;
    e.fileName.assign(name.begin(), name.end());
    return e;
  };
  // A known host with no attributes and a trailing separator is a folder.
  EXPECT_EQ(attrs(0x0014, 0, "dir/").systemAttributes(), 0x41FF0010u);
  EXPECT_EQ(attrs(0x0A14, 0, "dir\\").systemAttributes(), 0x41FF0010u);
  EXPECT_TRUE(attrs(0x0314, 0, "dir/").isDirectory());
  EXPECT_FALSE(attrs(0x0014, 0, "file").isDirectory());
  // DOS, HPFS and NTFS values pass unchanged; the Macintosh keeps 0x11.
  EXPECT_EQ(attrs(0x0014, 0x12345627, "f").systemAttributes(), 0x12345627u);
  EXPECT_EQ(attrs(0x0714, 0xFFFFFFFF, "f").systemAttributes(), 0x11u);
  // Unix mode bits: directory, no owner write / execute / read.
  EXPECT_EQ(attrs(0x0314, 0x41ED0000, "d").systemAttributes(), 0x10u);  // drwxr-xr-x
  EXPECT_EQ(attrs(0x0314, 0x81A40000, "f").systemAttributes(), 0x20u);  // -rw-r--r--
  EXPECT_EQ(attrs(0x0314, 0x81240000, "f").systemAttributes(), 0x21u);  // -r--r--r--
  EXPECT_EQ(attrs(0x0314, 0x80000000, "f").systemAttributes(), 0x23u);  // ----------
  EXPECT_EQ(attrs(0x0314, 0x81ED0000, "f").systemAttributes(), 0x00u);  // -rwxr-xr-x
  EXPECT_TRUE(attrs(0x0314, 0x41ED0000, "d").isDirectory());
  // Other hosts, the writer's 11 among them: only the name decides.
  EXPECT_EQ(attrs(0x0B17, 0x81000021, "f").systemAttributes(), 0x81A40020u);
  EXPECT_EQ(attrs(0x0B17, 0x81000021, "d/").systemAttributes(), 0x41FF0010u);
  EXPECT_TRUE(attrs(0x0B17, 0x12345678, "d/").isDirectory());
}

TEST(ZipReaderFileState, FolderEntriesBecomeFolders) {
  std::vector<TestEntry> v(2);
  v[0].name = "assets/";
  v[0].method = 0;
  v[0].externalAttributes = 0;
  v[0].versionMadeBy = 0x0014;
  v[1].name = "assets/pic.png";
  v[1].data = PatternBytes(300, 1);
  TestArchive a = BuildArchive(v);
  ScratchFolder dir("folders");
  MemoryReader reader(a.bytes);
  vx::ZipEntryInfo info;
  reader.entryInfo(0, info);
  EXPECT_TRUE(info.isDirectory());
  EXPECT_TRUE(reader.extractEntry(0, dir.path(), true, nullptr, 65536));
  EXPECT_TRUE(vx::IsDirectory(dir.file("assets")));
  EXPECT_TRUE(reader.extractEntry(1, dir.path(), true, nullptr, 65536));
  EXPECT_EQ(ReadWholeFile(vx::JoinPath(dir.file("assets"), "pic.png")), v[1].data);
}

TEST(ZipReaderFileState, OutputThatCannotBeCreatedIsAFileException) {
  TestArchive a = BuildArchive(ThreeEntries("", false, 8));
  ScratchFolder dir("fileerr");
  vx::CreateFolders(dir.file("package.ini"));  // a folder where the file should go
  MemoryReader reader(a.bytes);
  EXPECT_THROW(reader.extractEntry(0, dir.path(), false, nullptr, 65536), vx::FileException);
  // The reader can go on with the next entry.
  EXPECT_FALSE(reader.isEntryOpen());
  EXPECT_TRUE(reader.extractEntry(1, dir.path(), false, nullptr, 65536));
}

TEST(ZipReaderFileState, BufferSizeZero) {
  TestArchive a = BuildArchive(ThreeEntries("", false, 8));
  ScratchFolder dir("buf0");
  MemoryReader reader(a.bytes);
  EXPECT_FALSE(reader.extractEntry(0, "", false, nullptr, 0));
  // With a folder, a zero size means the reader's own buffer size.
  EXPECT_TRUE(reader.extractEntry(1, dir.path(), false, nullptr, 0));
  EXPECT_EQ(ReadWholeFile(dir.file("intro.swf")), PatternBytes(200000, 3));
}

// ---------------------------------------------------------------------------------
// The exception and its message table

TEST(CZipException, MessageTable) {
  // The texts are shown to users and compared by scripts: a sample, the longest included.
  const std::pair<int, const char*> texts[] = {
      {101, "Damaged or not a zip file"},
      {102, "Crc mismatched"},
      {110, "Incorrect password set for the file being decrypted"},
      {116,
       "The central directory was not found in the archive (or you were trying to open not the "
       "last disk of a multi-disk archive)"},
      {500, "Zlib Library error (end of stream)"},
      {504, "Zlib library error (data error)"},
      {505, "Not enough memory"},
      {1, "Not super-user"},
      {12, "Not enough space"},
      {30, "Read-only file system"},
  };

  for (auto [cause, text] : texts) {
    vx::CZipException e(cause, "file.zip");
    EXPECT_EQ(e.message(), text) << cause;
    EXPECT_STREQ(e.what(), text) << cause;
    EXPECT_EQ(e.m_iCause, cause);
    EXPECT_EQ(e.m_szFileName, "file.zip");
  }
  // Texts built from the system's error state (no system error here).
  EXPECT_EQ(vx::CZipException::MessageFor(502, 13, 0), "Permission denied");
  EXPECT_EQ(vx::CZipException::MessageFor(502, 502, 0), "Unknown error");
  EXPECT_EQ(vx::CZipException::MessageFor(502, 0, 0), "Unknown error");
  EXPECT_EQ(vx::CZipException::MessageFor(100, 0, 0), "Unknown error");
  EXPECT_EQ(vx::CZipException::MessageFor(100, 28, 0), "No space left on device");
  EXPECT_EQ(vx::CZipException::MessageFor(501, 3, 0), "Unknown error");
  EXPECT_EQ(vx::CZipException::MessageFor(113, 2, 0),
            "Error while removing a file (No such file or directory)");
  EXPECT_EQ(vx::CZipException::MessageFor(114, 0, 0), "Error while renaming a file (Unknown error)");
}

TEST(CZipException, GetErrorMessageCopiesWhatFits) {
  vx::CZipException e(102);
  char buf[64];
  unsigned help = 99;
  EXPECT_FALSE(e.GetErrorMessage(nullptr, 10));
  EXPECT_FALSE(e.GetErrorMessage(buf, 0));
  ASSERT_TRUE(e.GetErrorMessage(buf, sizeof buf, &help));
  EXPECT_STREQ(buf, "Crc mismatched");
  EXPECT_EQ(help, 0u);
  std::memset(buf, 'x', sizeof buf);
  ASSERT_TRUE(e.GetErrorMessage(buf, 4));
  EXPECT_STREQ(buf, "Crc");
  EXPECT_EQ(buf[4], 'x');  // nothing past the given size
  ASSERT_TRUE(e.GetErrorMessage(buf, 1));
  EXPECT_STREQ(buf, "");
}

TEST(CZipException, DamagedDeflateDataGivesTheZlibCause) {
  TestEntry e = MakeEntry("z.bin", TextLikeBytes(1000, 3));
  // A block type of 3 is invalid in every Deflate stream.
  e.rawCompressed = {0x07, 0x00, 0x00, 0x00};
  TestArchive a = BuildArchive({e});
  ScratchFolder dir("zlib");
  EXPECT_EQ(CauseOfExtractAll(a.bytes, dir.path()), kZlibDataError);
}
