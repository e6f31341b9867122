// The archive's records, read back byte by byte from archives the writer makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/file.h"
#include "common/package_contract.h"
#include "zip_test_util.h"
#include "zipwriter/chunk_deflater.h"
#include "zipwriter/zip_writer.h"

namespace {

using namespace ziptest;
using namespace vx::zip;

// 2024-05-17 14:37:58 UTC: DOS time 0x74BD (14 << 11 | 37 << 5 | 58 / 2), date 0x58B1
// (44 << 9 | 5 << 5 | 17).
constexpr int64_t kModified = 1715956678;
constexpr int64_t kAccessed = 1715994123;  // 2024-05-18 01:02:03 UTC
constexpr uint16_t kDosTime = 0x74BD;
constexpr uint16_t kDosDate = 0x58B1;

const std::string kPassword = vx::kPackagePassword;

struct Source {
  std::string entryName;
  Bytes data;
  bool readOnly = false;
};

// Writes each source as a file with the fixed times, packs them in order and returns
// the archive's bytes.
Bytes MakeArchive(const ScratchFolder& dir, const std::vector<Source>& sources, const char* password,
                  unsigned threads = 0) {
  std::string archive = dir / "out.zip";
  vx::ZipWriterHandle* zip = vx::ZipWriter::create(archive, password, threads);
  EXPECT_NE(zip, nullptr);
  int n = 0;
  for (const Source& s : sources) {
    std::string path = dir / ("src" + std::to_string(n++));
    WriteFile(path, s.data);
    EXPECT_TRUE(vx::SetFileAttributeBits(path, vx::kAttrArchive));
    EXPECT_TRUE(vx::SetFileTimesUnix(path, kAccessed, kModified));
    if (s.readOnly) {
      EXPECT_TRUE(vx::SetFileAttributeBits(path, vx::kAttrArchive | vx::kAttrReadOnly));
    }
    EXPECT_EQ(vx::ZipWriter::addFile(zip, s.entryName, path), vx::kZipOk) << s.entryName;
  }
  EXPECT_EQ(vx::ZipWriter::close(zip), vx::kZipOk);
  Bytes bytes = ReadFile(archive);
  for (int i = 0; i < n; ++i) {
    std::string path = dir / ("src" + std::to_string(i));
    vx::SetFileAttributeBits(path, vx::kAttrArchive);
  }
  return bytes;
}

// The raw Deflate stream zlib makes at level 8 with a 32 KiB window and memory level 8.
Bytes DeflateLevel8(const Bytes& data) {
  z_stream s{};
  EXPECT_EQ(deflateInit2(&s, 8, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out(deflateBound(&s, static_cast<uLong>(data.size())) + 16);
  s.next_in = const_cast<Bytef*>(data.data());
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

TEST(ZipLayout, EmptyArchiveIsTheEndRecordAlone) {
  ScratchFolder dir("layout");
  for (const char* password : {static_cast<const char*>(nullptr), vx::kPackagePassword}) {
    std::string archive = dir / "empty.zip";
    vx::ZipWriterHandle* zip = vx::ZipWriter::create(archive, password);
    ASSERT_NE(zip, nullptr);
    ASSERT_EQ(vx::ZipWriter::close(zip), vx::kZipOk);
    Bytes a = ReadFile(archive);
    ASSERT_EQ(a.size(), 22u);
    ExpectFields(a, 0, "end record",
                 {{end::kSignature, kEndRecordSignature},
                  {end::kThisDisk, 0},
                  {end::kDirectoryDisk, 0},
                  {end::kEntriesOnDisk, 0},
                  {end::kTotalEntries, 0},
                  {end::kDirectorySize, 0},
                  {end::kDirectoryOffset, 0},
                  {end::kCommentLength, 0}});
  }
}

// Three encrypted entries: deflated, stored, and an empty file. Every field of every
// record, the data descriptors, the encryption header and the data itself.
TEST(ZipLayout, EncryptedEntriesFieldByField) {
  ScratchFolder dir("layout");
  const Bytes movie = CompressibleBytes(100000);
  const Bytes stored = RandomBytes(1000);
  std::vector<Source> sources = {{"movie.swf", movie}, {"data.zip", stored, true}, {"empty.txt", {}}};
  Bytes a = MakeArchive(dir, sources, kPassword.c_str());

  size_t at = 0;
  std::vector<LocalRecord> locals;
  for (size_t i = 0; i < sources.size(); ++i) {
    SCOPED_TRACE(sources[i].entryName);
    LocalRecord l = ParseLocal(a, at);
    const bool isStored = i == 1;
    const size_t size = sources[i].data.size();
    ExpectFields(a, at, "local header",
                 {{local::kVersionNeeded, 20},
                  {local::kFlags, 0x0009},
                  {local::kMethod, isStored ? 0 : 8},
                  {local::kTime, kDosTime},
                  {local::kDate, kDosDate},
                  {local::kCrc, 0},
                  {local::kCompressedSize, isStored ? size + 12 : 0},
                  {local::kUncompressedSize, size}});
    EXPECT_EQ(l.name, sources[i].entryName);
    ASSERT_EQ(l.extraLength, 17);
    EXPECT_EQ(l.extra[0], 0x55);
    EXPECT_EQ(l.extra[1], 0x54);
    EXPECT_EQ(l.extra[timestamp::kFlagsOffset], 0x07);
    ExpectFields(l.extra, 0, "local timestamps",
                 {{timestamp::kDataSize, 13},
                  {timestamp::kModified, static_cast<uint32_t>(kModified)},
                  {timestamp::kAccessed, static_cast<uint32_t>(kAccessed)}});

    // The data runs up to the descriptor; find it by the central record later, but the
    // descriptor's own sizes must lead to the next record.
    // Search the descriptor: the stored size is known; a deflated one is found by
    // inflating the decrypted stream, which must end exactly at the descriptor.
    size_t dataLength;
    if (isStored) {
      dataLength = l.compressedSize;
    } else {
      // Find the descriptor by scanning for its signature after the data start, then
      // check that the data decodes.
      dataLength = 0;
      for (size_t p = l.dataOffset + 12; p + 16 <= a.size(); ++p) {
        if (vx::LoadLE32(&a[p]) == kDataDescriptorSignature && vx::LoadLE32(&a[p + 8]) == p - l.dataOffset) {
          dataLength = p - l.dataOffset;
          break;
        }
      }
      ASSERT_GT(dataLength, 12u);
    }
    Bytes header;
    Bytes plain = Decrypt(a, l.dataOffset, dataLength, kPassword, header);
    EXPECT_EQ(header[11], kDosTime >> 8) << "check byte";
    Bytes content;
    if (isStored) {
      content = plain;
    } else {
      bool ok;
      content = Inflate(plain, ok);
      EXPECT_TRUE(ok) << "the Deflate stream must end exactly at the entry's end";
      EXPECT_EQ(plain, DeflateLevel8(sources[i].data)) << "raw Deflate at level 8";
    }
    EXPECT_EQ(content, sources[i].data);

    const size_t d = l.dataOffset + dataLength;
    ExpectFields(a, d, "data descriptor",
                 {{descriptor::kSignature, kDataDescriptorSignature},
                  {descriptor::kCrc, Crc(sources[i].data)},
                  {descriptor::kCompressedSize, dataLength},
                  {descriptor::kUncompressedSize, size}});
    locals.push_back(l);
    at = d + kDataDescriptorSize;
  }
  EXPECT_EQ(locals[1].compressedSize, 1012u);
  EXPECT_EQ(locals[1].uncompressedSize, 1000u);

  EndRecord end = ParseEnd(a);
  EXPECT_EQ(end.directoryOffset, at) << "the directory follows the last descriptor";
  EXPECT_EQ(end.entriesOnDisk, 3);
  EXPECT_EQ(end.totalEntries, 3);
  EXPECT_EQ(end.commentLength, 0);
  EXPECT_EQ(end.directorySize, end.offset - end.directoryOffset);

  std::vector<CentralRecord> central = ParseDirectory(a);
  ASSERT_EQ(central.size(), 3u);
  for (size_t i = 0; i < central.size(); ++i) {
    SCOPED_TRACE(sources[i].entryName);
    const CentralRecord& c = central[i];
    const LocalRecord& l = locals[i];
    size_t descriptor =
        (i + 1 < locals.size() ? locals[i + 1].offset : end.directoryOffset) - kDataDescriptorSize;
    ExpectFields(a, c.offset, "central header",
                 {{central::kVersionMadeBy, 0x0B17},
                  {central::kVersionNeeded, 20},
                  {central::kFlags, 0x0009},
                  {central::kMethod, l.method},
                  {central::kTime, kDosTime},
                  {central::kDate, kDosDate},
                  {central::kCrc, Crc(sources[i].data)},
                  {central::kCompressedSize, descriptor - l.dataOffset},
                  {central::kUncompressedSize, sources[i].data.size()},
                  {central::kCommentLength, 0},
                  {central::kDiskStart, 0},
                  {central::kInternalAttributes, 0},
                  {central::kExternalAttributes, sources[i].readOnly ? 0x81000021u : 0x81800020u},
                  {central::kLocalHeaderOffset, l.offset}});
    EXPECT_EQ(c.name, l.name);
    ASSERT_EQ(c.extraLength, 9);
    EXPECT_EQ(c.extra[0], 0x55);
    EXPECT_EQ(c.extra[1], 0x54);
    EXPECT_EQ(c.extra[timestamp::kFlagsOffset], 0x07);
    ExpectFields(c.extra, 0, "central timestamps",
                 {{timestamp::kDataSize, 5}, {timestamp::kModified, static_cast<uint32_t>(kModified)}});
  }
  // Stored 1000 bytes: 1012 with the encryption header. Empty: 12 plus an empty stream.
  EXPECT_EQ(central[1].compressedSize, 1012u);
  EXPECT_EQ(central[2].crc, 0u);
  EXPECT_EQ(central[2].uncompressedSize, 0u);
  EXPECT_EQ(central[2].compressedSize, 12u + DeflateLevel8({}).size());
}

// Without a password the local header is rewritten with the final values: no data
// descriptor, bit 3 cleared, bit 1 on deflated entries, no encryption header.
TEST(ZipLayout, UnencryptedEntriesHaveRewrittenHeaders) {
  ScratchFolder dir("layout");
  const Bytes text = CompressibleBytes(70000);
  const Bytes raw = RandomBytes(5000);
  std::vector<Source> sources = {{"a.xml", text}, {"b.gz", raw}, {"c", {}}};
  Bytes a = MakeArchive(dir, sources, nullptr);

  size_t at = 0;
  std::vector<CentralRecord> central = ParseDirectory(a);
  ASSERT_EQ(central.size(), 3u);
  for (size_t i = 0; i < sources.size(); ++i) {
    SCOPED_TRACE(sources[i].entryName);
    LocalRecord l = ParseLocal(a, at);
    const bool isStored = i == 1;
    EXPECT_EQ(l.flags, isStored ? 0x0000 : 0x0002);
    EXPECT_EQ(l.method, isStored ? 0 : 8);
    EXPECT_EQ(l.crc, Crc(sources[i].data));
    EXPECT_EQ(l.uncompressedSize, sources[i].data.size());
    Bytes data(a.begin() + l.dataOffset, a.begin() + l.dataOffset + l.compressedSize);
    if (isStored) {
      EXPECT_EQ(data, sources[i].data);
    } else {
      EXPECT_EQ(data, DeflateLevel8(sources[i].data));
    }
    const CentralRecord& c = central[i];
    EXPECT_EQ(c.flags, l.flags);
    EXPECT_EQ(c.crc, l.crc);
    EXPECT_EQ(c.compressedSize, l.compressedSize);
    EXPECT_EQ(c.uncompressedSize, l.uncompressedSize);
    EXPECT_EQ(c.localHeaderOffset, at);
    EXPECT_EQ(c.versionMadeBy, 0x0B17);
    at = l.dataOffset + l.compressedSize;  // the next record follows the data directly
  }
  EXPECT_EQ(ParseEnd(a).directoryOffset, at);
}

// Names keep their bytes (backslashes become slashes). A name with characters beyond
// ASCII is UTF-8 and says so with bit 11 in both records (flags 0x0809); ASCII names,
// and bytes that are not UTF-8, carry the flags they always had (0x0009).
TEST(ZipLayout, NamesKeepTheirBytesAndUtf8NamesAreFlagged) {
  ScratchFolder dir("layout");
  const std::string longName = std::string(255, 'n') + ".swf";              // 259 bytes, the limit
  const std::string longUtf8 = std::string(254, 'n') + "\xE6\xB8\xB8.swf";  // 259 characters, 261 bytes
  struct Case {
    std::string given;
    std::string stored;
    uint16_t flags;
  } cases[] = {
      {"sub\\movie.swf", "sub/movie.swf", 0x0009},
      {"\\lead\\deep\\x.jpg", "/lead/deep/x.jpg", 0x0009},
      {"C:\\drive.txt", "C:/drive.txt", 0x0009},
      {"caf\xE9 \xC4.txt", "caf\xE9 \xC4.txt", 0x0009},
      {"\xE6\xB8\xB8\xE6\x88\x8F.swf", "\xE6\xB8\xB8\xE6\x88\x8F.swf", 0x0809},
      {"d\xC3\xA9j\xC3\xA0\\vu.xml", "d\xC3\xA9j\xC3\xA0/vu.xml", 0x0809},
      {longName, longName, 0x0009},
      {longUtf8, longUtf8, 0x0809},
  };
  std::vector<Source> sources;
  for (const Case& c : cases) sources.push_back({c.given, Bytes(3, 'x')});
  Bytes a = MakeArchive(dir, sources, kPassword.c_str());
  std::vector<CentralRecord> central = ParseDirectory(a);
  ASSERT_EQ(central.size(), std::size(cases));
  for (size_t i = 0; i < central.size(); ++i) {
    SCOPED_TRACE(cases[i].stored);
    const LocalRecord local = ParseLocal(a, central[i].localHeaderOffset);
    EXPECT_EQ(central[i].name, cases[i].stored);
    EXPECT_EQ(local.name, cases[i].stored);
    EXPECT_EQ(central[i].flags, cases[i].flags);
    EXPECT_EQ(local.flags, cases[i].flags);
  }
}

TEST(ZipLayout, TwoEntriesOfOneNameAreBothWritten) {
  ScratchFolder dir("layout");
  std::vector<Source> sources = {{"twice.xml", Bytes(100, 'a')}, {"twice.xml", Bytes(200, 'b')}};
  Bytes a = MakeArchive(dir, sources, kPassword.c_str());
  std::vector<CentralRecord> central = ParseDirectory(a);
  ASSERT_EQ(central.size(), 2u);
  EXPECT_EQ(central[0].name, "twice.xml");
  EXPECT_EQ(central[1].name, "twice.xml");
  EXPECT_EQ(central[0].uncompressedSize, 100u);
  EXPECT_EQ(central[1].uncompressedSize, 200u);
  EXPECT_LT(central[0].localHeaderOffset, central[1].localHeaderOffset);
}

TEST(ZipLayout, StoredSuffixRuleChoosesTheMethod) {
  ScratchFolder dir("layout");
  struct Case {
    const char* name;
    uint16_t method;
  } cases[] = {
      {"movie.swf", 8},      {"photo.jpg", 8},      {"package.ini", 8}, {"data.ZIP", 0}, {"old.Arj", 0},
      {"archive.tar.gz", 0}, {"x.tgz", 0},          {"f.z", 0},         {"noext", 8},    {".zip", 0},
      {"a.zoo", 0},          {"b.ARC", 0},          {"c.lzh", 0},       {"zip", 8},      {"d.zipx", 8},
      {"e.gz.txt", 8},       {"dir.zip\\inner", 8}, {"f.", 8}};
  std::vector<Source> sources;
  // Content chosen so that only the name can explain the method: compressible data in
  // a stored entry, incompressible data in a deflated one.
  for (const Case& c : cases)
    sources.push_back({c.name, c.method == 0 ? CompressibleBytes(3000) : RandomBytes(3000)});
  Bytes a = MakeArchive(dir, sources, kPassword.c_str());
  std::vector<CentralRecord> central = ParseDirectory(a);
  ASSERT_EQ(central.size(), sources.size());
  for (size_t i = 0; i < central.size(); ++i) {
    EXPECT_EQ(central[i].method, cases[i].method) << cases[i].name;
    EXPECT_EQ(ParseLocal(a, central[i].localHeaderOffset).method, cases[i].method) << cases[i].name;
    if (cases[i].method == 0) {
      EXPECT_EQ(central[i].compressedSize, 3012u) << cases[i].name;
    }
  }
}

// The eleven random header bytes differ from archive to archive; the check byte does not.
TEST(ZipLayout, EncryptionHeaderIsUnpredictable) {
  ScratchFolder dir("layout");
  std::vector<Source> sources = {{"a.swf", Bytes(50, 'q')}};
  Bytes first = MakeArchive(dir, sources, kPassword.c_str());
  Bytes second = MakeArchive(dir, sources, kPassword.c_str());
  ASSERT_EQ(first.size(), second.size());
  LocalRecord l1 = ParseLocal(first, 0), l2 = ParseLocal(second, 0);
  Bytes h1, h2;
  Bytes p1 = Decrypt(first, l1.dataOffset, 12, kPassword, h1);
  Bytes p2 = Decrypt(second, l2.dataOffset, 12, kPassword, h2);
  EXPECT_NE(Bytes(h1.begin(), h1.begin() + 11), Bytes(h2.begin(), h2.begin() + 11));
  EXPECT_EQ(h1[11], h2[11]);
  EXPECT_NE(Bytes(first.begin() + l1.dataOffset, first.begin() + l1.dataOffset + 30),
            Bytes(second.begin() + l2.dataOffset, second.begin() + l2.dataOffset + 30))
      << "the whole encrypted stream changes with the header";
}

// A wrong password does not decrypt: the check byte fails (but for about one in 256
// passwords) and the stored content does not come back.
TEST(ZipLayout, OnlyTheRightPasswordDecrypts) {
  ScratchFolder dir("layout");
  const Bytes content = CompressibleBytes(500);
  Bytes a = MakeArchive(dir, {{"x.zip", content}}, kPassword.c_str());
  LocalRecord l = ParseLocal(a, 0);
  Bytes header;
  EXPECT_EQ(Decrypt(a, l.dataOffset, l.compressedSize, kPassword, header), content);
  EXPECT_NE(Decrypt(a, l.dataOffset, l.compressedSize, "Rvd%q!KJEc", header), content);
}

// Large inputs cross many chunks and output pieces, chunks are compressed on 1, 2 and
// 5 threads, and the compressors are reused from entry to entry: each deflated entry
// must still be exactly its own chunked stream, decode to the source, and compress
// about as well as one uncut stream; and the archive must not depend on the threads.
TEST(ZipLayout, LargeEntriesAndReusedCompressor) {
  ScratchFolder dir("layout");
  const size_t chunk = vx::ChunkDeflater::kChunkSize;
  std::vector<Source> sources = {{"big.xml", CompressibleBytes(6 * chunk + 12345)},
                                 {"noise.bin", RandomBytes(3 * chunk, 99)},
                                 {"stored.zip", RandomBytes(70001, 7)},
                                 {"exact.xml", CompressibleBytes(chunk)},
                                 {"one-more.xml", CompressibleBytes(chunk + 1)},
                                 {"big2.xml", CompressibleBytes(2 * chunk + 5)}};
  Bytes plainOnOneThread;
  for (unsigned threads : {1u, 2u, 5u}) {
    for (const char* password : {static_cast<const char*>(nullptr), vx::kPackagePassword}) {
      SCOPED_TRACE(std::string(password ? "encrypted" : "plain") + ", threads " + std::to_string(threads));
      Bytes a = MakeArchive(dir, sources, password, threads);
      if (!password) {
        // Without the random encryption header the archive is fixed by its sources.
        if (threads == 1) plainOnOneThread = WithoutAccessAndCreationTimes(a);
        EXPECT_TRUE(WithoutAccessAndCreationTimes(a) == plainOnOneThread)
            << "differs from the one-thread archive";
      }
      std::vector<CentralRecord> central = ParseDirectory(a);
      ASSERT_EQ(central.size(), sources.size());
      for (size_t i = 0; i < sources.size(); ++i) {
        SCOPED_TRACE(sources[i].entryName);
        const CentralRecord& c = central[i];
        LocalRecord l = ParseLocal(a, c.localHeaderOffset);
        Bytes data;
        if (password) {
          Bytes header;
          data = Decrypt(a, l.dataOffset, c.compressedSize, password, header);
        } else {
          data.assign(a.begin() + l.dataOffset, a.begin() + l.dataOffset + c.compressedSize);
        }
        EXPECT_EQ(c.crc, Crc(sources[i].data));
        if (c.method == 0) {
          EXPECT_EQ(data, sources[i].data);
          continue;
        }
        bool ok;
        EXPECT_EQ(Inflate(data, ok), sources[i].data);
        EXPECT_TRUE(ok);
        EXPECT_TRUE(data == ChunkedDeflateLevel8(sources[i].data, chunk));
        if (sources[i].data.size() <= chunk) {
          EXPECT_TRUE(data == DeflateLevel8(sources[i].data)) << "one chunk is zlib's own stream";
        }
        // Cutting costs next to nothing: some block headers and a sync marker per chunk.
        const size_t uncut = DeflateLevel8(sources[i].data).size();
        const size_t chunks = sources[i].data.size() / chunk + 1;
        EXPECT_LE(data.size(), uncut + uncut / 100 + 32 * chunks);
      }
    }
  }
}

}  // namespace
