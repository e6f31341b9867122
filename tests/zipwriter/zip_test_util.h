// Helpers for the writer's tests: a scratch folder per test, file helpers, and an
// independent reader of the archive's records that walks the bytes field by field.
#pragma once
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/empty_folder.h"
#include "common/encryption_keys.h"
#include "common/file.h"
#include "common/zip_format.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/whole_file.h"

namespace ziptest {

using Bytes = std::vector<uint8_t>;

// The bytes of a record of `size` bytes at `at`, or nullptr (and a failure) when it
// runs past the archive.
inline const uint8_t* RecordAt(const Bytes& a, size_t at, size_t size, const char* what) {
  if (at > a.size() || size > a.size() - at) {
    ADD_FAILURE() << what << " at " << at << " runs past the archive";
    return nullptr;
  }
  return a.data() + at;
}

using ScratchFolder = vx::test::ScratchFolder;

inline void WriteFile(const std::string& path, const Bytes& data) { vx::test::WriteWholeFile(path, data); }
inline void WriteFile(const std::string& path, const std::string& text) {
  vx::test::WriteWholeFile(path, text);
}
inline Bytes ReadFile(const std::string& path) { return vx::test::ReadWholeFile(path); }

// Text-like data that compresses, and bytes that do not (a fixed-seed generator, so
// failures repeat).
inline Bytes CompressibleBytes(size_t n) {
  static const char kWords[] = "<movie name=\"intro\" frame=\"12\">loop</movie>\r\n";
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(kWords[(i * 7 + i / 61) % (sizeof kWords - 1)]);
  return b;
}
inline Bytes RandomBytes(size_t n, uint32_t seed = 12345) {
  Bytes b(n);
  uint32_t x = seed ? seed : 1;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b[i] = static_cast<uint8_t>(x >> 11);
  }
  return b;
}

// One expected field of a record: the field as the format header names it, and its
// value.
struct FieldValue {
  template <typename T, typename V>
  FieldValue(vx::zip::Field<T> f, V v)
      : offset(f.offset), width(sizeof(T)), name(f.name), expected(static_cast<uint64_t>(v)) {}
  size_t offset;
  size_t width;
  const char* name;
  uint64_t expected;
};

// Checks the fields of the record at `at` in `a`; a failure names the record and the
// field.
inline void ExpectFields(const Bytes& a, size_t at, const char* record,
                         std::initializer_list<FieldValue> fields) {
  for (const FieldValue& f : fields) {
    const uint8_t* p = RecordAt(a, at + f.offset, f.width, record);
    if (!p) return;
    const uint64_t actual = f.width == 2 ? vx::LoadLE16(p) : vx::LoadLE32(p);
    EXPECT_EQ(actual, f.expected) << record << " at " << at << ": " << f.name;
  }
}

struct LocalRecord {
  size_t offset = 0;
  uint16_t versionNeeded = 0, flags = 0, method = 0, time = 0, date = 0;
  uint32_t crc = 0, compressedSize = 0, uncompressedSize = 0;
  uint16_t nameLength = 0, extraLength = 0;
  std::string name;
  Bytes extra;
  size_t dataOffset = 0;
};

struct CentralRecord {
  size_t offset = 0;
  uint16_t versionMadeBy = 0, versionNeeded = 0, flags = 0, method = 0, time = 0, date = 0;
  uint32_t crc = 0, compressedSize = 0, uncompressedSize = 0;
  uint16_t nameLength = 0, extraLength = 0, commentLength = 0, diskStart = 0, internalAttributes = 0;
  uint32_t externalAttributes = 0, localHeaderOffset = 0;
  std::string name;
  Bytes extra;
};

struct EndRecord {
  size_t offset = 0;
  uint16_t disk = 0, directoryDisk = 0, entriesOnDisk = 0, totalEntries = 0;
  uint32_t directorySize = 0, directoryOffset = 0;
  uint16_t commentLength = 0;
};

// Reads the name and the extra field that start at `at`, after a record's fixed part;
// returns where they end.
template <typename Record>
size_t ReadNameAndExtra(const Bytes& a, size_t at, Record& r, const char* what) {
  if (RecordAt(a, at, r.nameLength + r.extraLength, what)) {
    r.name.assign(a.begin() + at, a.begin() + at + r.nameLength);
    r.extra.assign(a.begin() + at + r.nameLength, a.begin() + at + r.nameLength + r.extraLength);
  }
  return at + r.nameLength + r.extraLength;
}

inline LocalRecord ParseLocal(const Bytes& a, size_t at) {
  using namespace vx::zip::local;
  using vx::zip::Load;
  LocalRecord r;
  r.offset = at;
  const uint8_t* h = RecordAt(a, at, vx::zip::kLocalHeaderSize, "local header");
  if (!h) return r;
  EXPECT_EQ(Load(h, kSignature), vx::zip::kLocalHeaderSignature) << "local header signature at " << at;
  r.versionNeeded = Load(h, kVersionNeeded);
  r.flags = Load(h, kFlags);
  r.method = Load(h, kMethod);
  r.time = Load(h, kTime);
  r.date = Load(h, kDate);
  r.crc = Load(h, kCrc);
  r.compressedSize = Load(h, kCompressedSize);
  r.uncompressedSize = Load(h, kUncompressedSize);
  r.nameLength = Load(h, kNameLength);
  r.extraLength = Load(h, kExtraLength);
  r.dataOffset = ReadNameAndExtra(a, at + vx::zip::kLocalHeaderSize, r, "local header");
  return r;
}

inline CentralRecord ParseCentral(const Bytes& a, size_t at) {
  using namespace vx::zip::central;
  using vx::zip::Load;
  CentralRecord r;
  r.offset = at;
  const uint8_t* h = RecordAt(a, at, vx::zip::kCentralHeaderSize, "central header");
  if (!h) return r;
  EXPECT_EQ(Load(h, kSignature), vx::zip::kCentralHeaderSignature) << "central header signature at " << at;
  r.versionMadeBy = Load(h, kVersionMadeBy);
  r.versionNeeded = Load(h, kVersionNeeded);
  r.flags = Load(h, kFlags);
  r.method = Load(h, kMethod);
  r.time = Load(h, kTime);
  r.date = Load(h, kDate);
  r.crc = Load(h, kCrc);
  r.compressedSize = Load(h, kCompressedSize);
  r.uncompressedSize = Load(h, kUncompressedSize);
  r.nameLength = Load(h, kNameLength);
  r.extraLength = Load(h, kExtraLength);
  r.commentLength = Load(h, kCommentLength);
  r.diskStart = Load(h, kDiskStart);
  r.internalAttributes = Load(h, kInternalAttributes);
  r.externalAttributes = Load(h, kExternalAttributes);
  r.localHeaderOffset = Load(h, kLocalHeaderOffset);
  ReadNameAndExtra(a, at + vx::zip::kCentralHeaderSize, r, "central header");
  return r;
}

// The end record must be the last bytes of the archive (no comment is ever written).
inline EndRecord ParseEnd(const Bytes& a) {
  using namespace vx::zip::end;
  using vx::zip::Load;
  EndRecord e;
  if (a.size() < vx::zip::kEndRecordSize) {
    ADD_FAILURE() << "archive shorter than an end record";
    return e;
  }
  e.offset = a.size() - vx::zip::kEndRecordSize;
  const uint8_t* h = a.data() + e.offset;
  EXPECT_EQ(Load(h, kSignature), vx::zip::kEndRecordSignature) << "end record signature";
  e.disk = Load(h, kThisDisk);
  e.directoryDisk = Load(h, kDirectoryDisk);
  e.entriesOnDisk = Load(h, kEntriesOnDisk);
  e.totalEntries = Load(h, kTotalEntries);
  e.directorySize = Load(h, kDirectorySize);
  e.directoryOffset = Load(h, kDirectoryOffset);
  e.commentLength = Load(h, kCommentLength);
  return e;
}

// The central directory, record by record, as the end record locates it.
inline std::vector<CentralRecord> ParseDirectory(const Bytes& a) {
  std::vector<CentralRecord> out;
  EndRecord end = ParseEnd(a);
  size_t at = end.directoryOffset;
  for (unsigned i = 0; i < end.totalEntries && at < a.size(); ++i) {
    out.push_back(ParseCentral(a, at));
    at += vx::zip::kCentralHeaderSize + out.back().nameLength + out.back().extraLength +
          out.back().commentLength;
  }
  EXPECT_EQ(at, end.offset) << "central records must end where the end record starts";
  return out;
}

// The archive with the access and creation times of every local extended-timestamp
// field blanked: reading or rewriting the sources moves them, nothing else may differ
// between two archives of the same files.
inline Bytes WithoutAccessAndCreationTimes(Bytes a) {
  for (const CentralRecord& c : ParseDirectory(a)) {
    const LocalRecord l = ParseLocal(a, c.localHeaderOffset);
    if (l.extraLength != vx::zip::kLocalExtraSize) continue;
    const size_t extra = l.dataOffset - vx::zip::kLocalExtraSize;
    std::fill(a.begin() + extra + vx::zip::timestamp::kAccessed.offset, a.begin() + l.dataOffset, 0);
  }
  return a;
}

// Decrypts an encrypted entry's data with the password: returns the decrypted
// encryption header in `header` and the decrypted entry data.
inline Bytes Decrypt(const Bytes& a, size_t dataOffset, size_t length, const std::string& password,
                     Bytes& header) {
  vx::EncryptionKeys keys;
  keys.init(password.data(), password.size());
  Bytes plain(a.begin() + dataOffset, a.begin() + dataOffset + length);
  keys.decrypt(plain.data(), plain.size());
  const size_t headerSize = std::min(length, vx::zip::kEncryptionHeaderSize);
  header.assign(plain.begin(), plain.begin() + headerSize);
  plain.erase(plain.begin(), plain.begin() + headerSize);
  return plain;
}

// Inflates a raw Deflate stream; `ok` tells whether the stream ended exactly at its last
// byte.
inline Bytes Inflate(const Bytes& raw, bool& ok) {
  Bytes out;
  z_stream s{};
  ok = false;
  if (inflateInit2(&s, -15) != Z_OK) return out;
  s.next_in = const_cast<Bytef*>(raw.data());
  s.avail_in = static_cast<uInt>(raw.size());
  uint8_t buf[16384];
  int rc;
  do {
    s.next_out = buf;
    s.avail_out = sizeof buf;
    rc = inflate(&s, Z_NO_FLUSH);
    out.insert(out.end(), buf, buf + (sizeof buf - s.avail_out));
  } while (rc == Z_OK);
  ok = rc == Z_STREAM_END && s.avail_in == 0;
  inflateEnd(&s);
  return out;
}

// The stream a large entry must hold, built sequentially with one compressor: cut
// into chunks, each compressed by a reset compressor primed with the last 32 KiB of
// the chunk before and ended by a sync flush, the last one ending the stream.
inline Bytes ChunkedDeflateLevel8(const Bytes& data, size_t chunk) {
  z_stream s{};
  EXPECT_EQ(deflateInit2(&s, 8, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out;
  size_t at = 0;
  do {
    const size_t n = std::min(chunk, data.size() - at);
    const bool last = at + n == data.size();
    EXPECT_EQ(deflateReset(&s), Z_OK);
    if (at > 0) {
      const size_t dict = std::min<size_t>(32768, chunk);
      EXPECT_EQ(deflateSetDictionary(&s, data.data() + at - dict, static_cast<uInt>(dict)), Z_OK);
    }
    s.next_in = const_cast<Bytef*>(data.data() + at);
    s.avail_in = static_cast<uInt>(n);
    uint8_t buf[4096];
    int rc;
    do {
      s.next_out = buf;
      s.avail_out = sizeof buf;
      rc = deflate(&s, last ? Z_FINISH : Z_SYNC_FLUSH);
      out.insert(out.end(), buf, buf + (sizeof buf - s.avail_out));
    } while (last ? rc != Z_STREAM_END : s.avail_out == 0);
    at += n;
  } while (at < data.size());
  deflateEnd(&s);
  return out;
}

inline uint32_t Crc(const Bytes& b) {
  return static_cast<uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size())));
}

}  // namespace ziptest
