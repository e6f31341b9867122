// Helpers for the writer's tests: a scratch folder per test, file helpers, and an
// independent reader of the archive's records that walks the bytes field by field.
#pragma once
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/empty_folder.h"
#include "common/encryption_keys.h"
#include "common/file.h"
#include "tests/support/scratch_folder.h"

namespace ziptest {

using Bytes = std::vector<uint8_t>;

inline uint16_t Get16(const Bytes& b, size_t at) {
  if (at + 2 > b.size()) {
    ADD_FAILURE() << "read past the end at " << at;
    return 0;
  }
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
inline uint32_t Get32(const Bytes& b, size_t at) {
  if (at + 4 > b.size()) {
    ADD_FAILURE() << "read past the end at " << at;
    return 0;
  }
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

using ScratchFolder = vx::test::ScratchFolder;

inline void WriteFile(const std::string& path, const Bytes& data) {
  vx::File f;
  ASSERT_TRUE(f.open(path, vx::File::Mode::CreateWrite)) << path;
  ASSERT_TRUE(f.write(data.data(), data.size()));
  ASSERT_TRUE(f.close());
}
inline void WriteFile(const std::string& path, const std::string& text) {
  WriteFile(path, Bytes(text.begin(), text.end()));
}

inline Bytes ReadFile(const std::string& path) {
  Bytes out;
  vx::File f;
  if (!f.open(path, vx::File::Mode::Read)) {
    ADD_FAILURE() << "cannot open " << path;
    return out;
  }
  uint8_t buf[65536];
  for (;;) {
    long long n = f.read(buf, sizeof buf);
    if (n <= 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

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

inline LocalRecord ParseLocal(const Bytes& a, size_t at) {
  LocalRecord r;
  r.offset = at;
  EXPECT_EQ(Get32(a, at), 0x04034B50u) << "local header signature at " << at;
  r.versionNeeded = Get16(a, at + 4);
  r.flags = Get16(a, at + 6);
  r.method = Get16(a, at + 8);
  r.time = Get16(a, at + 10);
  r.date = Get16(a, at + 12);
  r.crc = Get32(a, at + 14);
  r.compressedSize = Get32(a, at + 18);
  r.uncompressedSize = Get32(a, at + 22);
  r.nameLength = Get16(a, at + 26);
  r.extraLength = Get16(a, at + 28);
  if (at + 30 + r.nameLength + r.extraLength <= a.size()) {
    r.name.assign(a.begin() + at + 30, a.begin() + at + 30 + r.nameLength);
    r.extra.assign(a.begin() + at + 30 + r.nameLength, a.begin() + at + 30 + r.nameLength + r.extraLength);
  } else {
    ADD_FAILURE() << "local header at " << at << " runs past the archive";
  }
  r.dataOffset = at + 30 + r.nameLength + r.extraLength;
  return r;
}

inline CentralRecord ParseCentral(const Bytes& a, size_t at) {
  CentralRecord r;
  r.offset = at;
  EXPECT_EQ(Get32(a, at), 0x02014B50u) << "central header signature at " << at;
  r.versionMadeBy = Get16(a, at + 4);
  r.versionNeeded = Get16(a, at + 6);
  r.flags = Get16(a, at + 8);
  r.method = Get16(a, at + 10);
  r.time = Get16(a, at + 12);
  r.date = Get16(a, at + 14);
  r.crc = Get32(a, at + 16);
  r.compressedSize = Get32(a, at + 20);
  r.uncompressedSize = Get32(a, at + 24);
  r.nameLength = Get16(a, at + 28);
  r.extraLength = Get16(a, at + 30);
  r.commentLength = Get16(a, at + 32);
  r.diskStart = Get16(a, at + 34);
  r.internalAttributes = Get16(a, at + 36);
  r.externalAttributes = Get32(a, at + 38);
  r.localHeaderOffset = Get32(a, at + 42);
  if (at + 46 + r.nameLength + r.extraLength <= a.size()) {
    r.name.assign(a.begin() + at + 46, a.begin() + at + 46 + r.nameLength);
    r.extra.assign(a.begin() + at + 46 + r.nameLength, a.begin() + at + 46 + r.nameLength + r.extraLength);
  } else {
    ADD_FAILURE() << "central header at " << at << " runs past the archive";
  }
  return r;
}

// The end record must be the last 22 bytes (no comment is ever written).
inline EndRecord ParseEnd(const Bytes& a) {
  EndRecord e;
  if (a.size() < 22) {
    ADD_FAILURE() << "archive shorter than an end record";
    return e;
  }
  size_t at = a.size() - 22;
  e.offset = at;
  EXPECT_EQ(Get32(a, at), 0x06054B50u) << "end record signature";
  e.disk = Get16(a, at + 4);
  e.directoryDisk = Get16(a, at + 6);
  e.entriesOnDisk = Get16(a, at + 8);
  e.totalEntries = Get16(a, at + 10);
  e.directorySize = Get32(a, at + 12);
  e.directoryOffset = Get32(a, at + 16);
  e.commentLength = Get16(a, at + 20);
  return e;
}

// The central directory, record by record, as the end record locates it.
inline std::vector<CentralRecord> ParseDirectory(const Bytes& a) {
  std::vector<CentralRecord> out;
  EndRecord end = ParseEnd(a);
  size_t at = end.directoryOffset;
  for (unsigned i = 0; i < end.totalEntries && at < a.size(); ++i) {
    out.push_back(ParseCentral(a, at));
    at += 46 + out.back().nameLength + out.back().extraLength + out.back().commentLength;
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
    if (l.extraLength == 17) std::fill(a.begin() + l.dataOffset - 8, a.begin() + l.dataOffset, 0);
  }
  return a;
}

// Decrypts an encrypted entry's data with the password: returns the 12 decrypted
// header bytes in `header` and the decrypted entry data.
inline Bytes Decrypt(const Bytes& a, size_t dataOffset, size_t length, const std::string& password,
                     Bytes& header) {
  vx::EncryptionKeys keys;
  keys.init(password.data(), password.size());
  Bytes plain(a.begin() + dataOffset, a.begin() + dataOffset + length);
  keys.decrypt(plain.data(), plain.size());
  header.assign(plain.begin(), plain.begin() + (length < 12 ? length : 12));
  plain.erase(plain.begin(), plain.begin() + (length < 12 ? length : 12));
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
