#include "zipwriter/zip_writer.h"
#include "common/byte_order.h"

#include <zlib.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "common/crc32.h"
#include "common/encryption_keys.h"
#include "common/file.h"
#include "common/processors.h"
#include "common/random.h"
#include "zipwriter/chunk_deflater.h"
#include "zipwriter/zip_fields.h"
#include "zipwriter/zip_writer_testing.h"

namespace vx {

namespace zip_writer_testing {
void (*afterSourceDescribed)(const std::string& sourcePath) = nullptr;
}

namespace {

constexpr uint32_t kWriterKind = 2;

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kDataDescriptorSignature = 0x08074B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kEndRecordSignature = 0x06054B50;

constexpr uint16_t kVersionMadeBy = 0x0B17;
constexpr uint16_t kVersionNeeded = 20;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagMaximumCompression = 0x0002;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kDataDescriptorSize = 16;
constexpr size_t kEncryptionHeaderSize = 12;
constexpr size_t kLocalExtraSize = 17;
constexpr size_t kCentralExtraSize = 9;
constexpr size_t kMaxNameLength = 259;
constexpr size_t kMaxEntries = 0xFFFF;
constexpr uint64_t kMax32 = 0xFFFFFFFFu;

// Output is written in pieces of at most this size (compressor output, stored copy).
// A deflated source is read in ChunkDeflater's chunks, a fixed number of them per
// thread.
constexpr size_t kOutputPiece = 16384;


// The traditional encryption in a form fit for whole buffers: the keys live in locals
// for the length of a buffer and the CRC table is looked up directly, so each byte
// costs a few table lookups and no calls. Starts from, and gives back, the keys of
// EncryptionKeys.
void EncryptBuffer(EncryptionKeys& keys, uint8_t* data, size_t len) {
  static const z_crc_t* const table = get_crc_table();
  uint32_t k0 = keys.key0, k1 = keys.key1, k2 = keys.key2;
  for (size_t i = 0; i < len; ++i) {
    const uint8_t plain = data[i];
    const uint32_t t = (k2 & 0xFFFF) | 2u;
    data[i] = static_cast<uint8_t>(plain ^ static_cast<uint8_t>((t * (t ^ 1u)) >> 8));
    k0 = (k0 >> 8) ^ static_cast<uint32_t>(table[(k0 ^ plain) & 0xFF]);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1u;
    k2 = (k2 >> 8) ^ static_cast<uint32_t>(table[(k2 ^ (k1 >> 24)) & 0xFF]);
  }
  keys.key0 = k0;
  keys.key1 = k1;
  keys.key2 = k2;
}

// Everything a central directory record needs, kept for each finished entry.
struct EntryRecord {
  uint16_t flags = 0;
  uint16_t method = kMethodDeflated;
  DosDateTime dos;
  uint32_t crc = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint32_t externalAttributes = 0;
  uint32_t localHeaderOffset = 0;
  std::string name;
  uint8_t centralExtra[kCentralExtraSize] = {};
};

// Result of copying or compressing one source into the archive.
struct DataResult {
  uint32_t result = kZipOk;
  uint64_t bytesRead = 0;
  uint64_t bytesWritten = 0;  // entry data, without the encryption header
  uint32_t crc = 0;
};

class Writer {
 public:

  bool open(const std::string& path, const char* password, unsigned threads) {
    threads_ = ThreadCount(threads);
    if (password && *password) {
      password_ = password;
      hasPassword_ = true;
    }
    return out_.open(path, File::Mode::CreateWrite);
  }

  uint32_t addFile(const std::string& entryName, const std::string& sourcePath);
  uint32_t close();
  void setPosition(uint64_t position) { position_ = position; }

 private:
  // Writes bytes to the archive and counts them. Encrypts them in place first while
  // an entry's data is being written with a password.
  bool emit(uint8_t* data, size_t len);
  // After a failed write the file may hold part of it: take the real position so
  // that every later offset stays true. Without one, the writer cannot go on.
  void resyncPosition();
  bool checkedRead(File& source, uint8_t* buf, size_t len, long long& got);
  uint32_t copyStored(File& source, uint64_t expectedSize, DataResult& out);
  uint32_t compress(File& source, uint64_t expectedSize, DataResult& out);
  bool ensureBuffers();

  File out_;
  uint64_t baseOffset_ = 0;  // the archive starts at the beginning of a file we create
  uint64_t position_ = 0;    // bytes of the archive written so far
  bool broken_ = false;      // the position is unknown after a failed write
  bool closed_ = false;      // central directory written

  std::string password_;
  bool hasPassword_ = false;
  bool encrypting_ = false;
  EncryptionKeys keys_;

  std::vector<uint8_t> outputBuffer_;  // stored copy pieces
  // Deflate on threads_ threads; made on the first deflated entry, kept for the rest.
  unsigned threads_ = 1;
  std::unique_ptr<ChunkDeflater> deflater_;

  std::vector<EntryRecord> entries_;
  uint64_t centralDirectorySize_ = 0;  // bytes the records of entries_ will take
};

bool Writer::ensureBuffers() {
  try {
    if (outputBuffer_.empty()) outputBuffer_.resize(kOutputPiece);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void Writer::resyncPosition() {
  const long long at = out_.tell();
  if (at < 0 || static_cast<uint64_t>(at) < baseOffset_) {
    broken_ = true;
  } else {
    position_ = static_cast<uint64_t>(at) - baseOffset_;
  }
}

bool Writer::emit(uint8_t* data, size_t len) {
  if (encrypting_) EncryptBuffer(keys_, data, len);
  if (!out_.write(data, len)) {
    resyncPosition();
    return false;
  }
  position_ += len;
  return true;
}

bool Writer::checkedRead(File& source, uint8_t* buf, size_t len, long long& got) {
  got = source.read(buf, len);
  return got >= 0;
}

// Stored data: the source copied in output pieces. At most the size found before
// reading is read; one byte more would mean the source grew.
uint32_t Writer::copyStored(File& source, uint64_t expectedSize, DataResult& res) {
  uint8_t* buf = outputBuffer_.data();
  uint64_t remaining = expectedSize;
  while (remaining > 0) {
    const size_t want = remaining < kOutputPiece ? static_cast<size_t>(remaining) : kOutputPiece;
    long long got;
    if (!checkedRead(source, buf, want, got)) return kZipWriteFailed;
    if (got == 0) return kZipSizeChanged;  // shrank
    res.crc = Crc32(res.crc, buf, static_cast<size_t>(got));
    res.bytesRead += static_cast<uint64_t>(got);
    remaining -= static_cast<uint64_t>(got);
    if (!emit(buf, static_cast<size_t>(got))) return kZipWriteFailed;
    res.bytesWritten += static_cast<uint64_t>(got);
  }
  long long extra;
  if (!checkedRead(source, buf, 1, extra)) return kZipWriteFailed;
  return extra > 0 ? kZipSizeChanged : kZipOk;
}

// Reads exactly `len` bytes unless the source ends first; returns the count read, or
// -1 on a read error.
long long ReadFully(File& source, uint8_t* buf, size_t len) {
  size_t total = 0;
  while (total < len) {
    const long long n = source.read(buf + total, len - total);
    if (n < 0) return -1;
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  return static_cast<long long>(total);
}

// Deflated data: the raw Deflate stream of ChunkDeflater over the first `expectedSize`
// bytes, compressed on the writer's threads and written in output pieces in order.
uint32_t Writer::compress(File& source, uint64_t expectedSize, DataResult& res) {
  try {
    if (!deflater_) deflater_.reset(new ChunkDeflater(threads_));
  } catch (const std::bad_alloc&) {
    return kZipWriteFailed;
  }

  uint32_t readFailure = kZipWriteFailed;
  auto read = [&](uint8_t* buf, size_t len) {
    const long long got = ReadFully(source, buf, len);
    if (got < 0) return false;
    if (static_cast<size_t>(got) < len) {
      readFailure = kZipSizeChanged;  // shrank
      return false;
    }
    res.crc = Crc32(res.crc, buf, len);
    res.bytesRead += len;
    return true;
  };
  auto write = [&](uint8_t* out, size_t left) {
    if (res.bytesWritten + left > kMax32) return false;
    while (left > 0) {
      const size_t piece = left < kOutputPiece ? left : kOutputPiece;
      if (!emit(out, piece)) return false;
      out += piece;
      left -= piece;
      res.bytesWritten += piece;
    }
    return true;
  };
  switch (deflater_->deflate(expectedSize, read, write)) {
    case ChunkDeflater::Result::Ok: break;
    case ChunkDeflater::Result::ReadFailed: return readFailure;
    default: return kZipWriteFailed;
  }

  uint8_t extra;
  long long n;
  if (!checkedRead(source, &extra, 1, n)) return kZipWriteFailed;
  return n > 0 ? kZipSizeChanged : kZipOk;
}

// An upper bound of the raw Deflate stream of `size` bytes: zlib never emits a block
// larger than its stored form (5 bytes of header per block of at least 16 KiB of
// input, but the last of a chunk), and each chunk adds a sync marker of 5 or 6 bytes.
// One byte in 512 plus a little is well above that.
uint64_t DeflateBound(uint64_t size) { return size + size / 512 + 1024; }

void FillLocalHeader(uint8_t* h, const EntryRecord& e) {
  StoreLE32(h + 0, kLocalHeaderSignature);
  StoreLE16(h + 4, kVersionNeeded);
  StoreLE16(h + 6, e.flags);
  StoreLE16(h + 8, e.method);
  StoreLE16(h + 10, e.dos.time);
  StoreLE16(h + 12, e.dos.date);
  StoreLE32(h + 14, e.crc);
  StoreLE32(h + 18, e.compressedSize);
  StoreLE32(h + 22, e.uncompressedSize);
  StoreLE16(h + 26, static_cast<uint16_t>(e.name.size()));
  StoreLE16(h + 28, static_cast<uint16_t>(kLocalExtraSize));
}

uint32_t Writer::addFile(const std::string& entryName, const std::string& sourcePath) {
  if (broken_ || closed_) return kZipWriteFailed;

  EntryRecord e;
  e.name = entryName;
  for (char& c : e.name) {
    if (c == '\\') c = '/';
  }
  if (e.name.empty() || e.name.size() > kMaxNameLength) return kZipBadArgument;
  if (sourcePath.empty()) return kZipBadArgument;
  // The end record counts entries in 16 bits.
  if (entries_.size() >= kMaxEntries) return kZipBadArgument;
  e.method = IsStoredName(e.name) ? kMethodStored : kMethodDeflated;

  File source;
  if (!source.open(sourcePath, File::Mode::Read)) return kZipOpenFailed;
  FileDescription desc;
  if (!source.describe(desc)) return kZipOpenFailed;
  if (zip_writer_testing::afterSourceDescribed) zip_writer_testing::afterSourceDescribed(sourcePath);

  // Sizes and offsets are 32-bit: refuse, before writing anything, an entry that could
  // not be described in them or that could push the archive past 4 GiB.
  const uint64_t encryptionBytes = hasPassword_ ? kEncryptionHeaderSize : 0;
  const uint64_t maxData = (e.method == kMethodStored ? desc.size : DeflateBound(desc.size)) + encryptionBytes;
  const uint64_t centralRecord = kCentralHeaderSize + e.name.size() + kCentralExtraSize;
  const uint64_t projectedEnd = baseOffset_ + position_ + kLocalHeaderSize + e.name.size() + kLocalExtraSize +
                                maxData + (hasPassword_ ? kDataDescriptorSize : 0) +
                                centralDirectorySize_ + centralRecord + kEndRecordSize;
  if (desc.size > kMax32 || maxData > kMax32 || projectedEnd > kMax32) return kZipBadArgument;

  if (!ensureBuffers()) return kZipWriteFailed;

  // The entry as the local header first states it.
  e.flags = hasPassword_ ? static_cast<uint16_t>(kFlagEncrypted | kFlagDataDescriptor) : kFlagDataDescriptor;
  e.dos = DosDateTimeFromFileTime(desc.lastWrite);
  e.crc = 0;
  e.compressedSize = e.method == kMethodStored ? static_cast<uint32_t>(desc.size + encryptionBytes) : 0;
  e.uncompressedSize = static_cast<uint32_t>(desc.size);
  e.externalAttributes = ExternalAttributes(desc.attributes);
  e.localHeaderOffset = static_cast<uint32_t>(baseOffset_ + position_);

  const uint8_t timeFlags = 0x07;  // modification, access and creation time
  uint8_t localExtra[kLocalExtraSize];
  localExtra[0] = 0x55;
  localExtra[1] = 0x54;
  StoreLE16(localExtra + 2, 13);
  localExtra[4] = timeFlags;
  StoreLE32(localExtra + 5, UnixTimeFromFileTime(desc.lastWrite));
  StoreLE32(localExtra + 9, UnixTimeFromFileTime(desc.lastAccess));
  StoreLE32(localExtra + 13, UnixTimeFromFileTime(desc.creation));
  e.centralExtra[0] = 0x55;
  e.centralExtra[1] = 0x54;
  StoreLE16(e.centralExtra + 2, 5);
  e.centralExtra[4] = timeFlags;
  StoreLE32(e.centralExtra + 5, UnixTimeFromFileTime(desc.lastWrite));

  // The encryption header's random bytes are drawn before anything is written, so
  // that a generator failure leaves no trace in the archive.
  uint8_t encryptionHeader[kEncryptionHeaderSize];
  if (hasPassword_) {
    if (!SystemRandomBytes(encryptionHeader, kEncryptionHeaderSize - 1)) return kZipWriteFailed;
    encryptionHeader[11] = static_cast<uint8_t>(e.dos.time >> 8);  // the password check byte
  }

  // The local header.
  std::vector<uint8_t> header(kLocalHeaderSize + e.name.size() + kLocalExtraSize);
  FillLocalHeader(header.data(), e);
  std::memcpy(header.data() + kLocalHeaderSize, e.name.data(), e.name.size());
  std::memcpy(header.data() + kLocalHeaderSize + e.name.size(), localExtra, kLocalExtraSize);
  if (!emit(header.data(), header.size())) return kZipWriteFailed;

  // The encryption header, which starts the entry's key stream.
  if (hasPassword_) {
    keys_.init(password_.data(), password_.size());
    encrypting_ = true;
    if (!emit(encryptionHeader, kEncryptionHeaderSize)) {
      encrypting_ = false;
      return kZipWriteFailed;
    }
  }

  // The data.
  DataResult data;
  uint32_t dataResult = e.method == kMethodStored ? copyStored(source, desc.size, data)
                                                  : compress(source, desc.size, data);
  encrypting_ = false;
  source.close();
  if (dataResult != kZipOk) return dataResult;

  // The final values.
  e.crc = data.crc;
  const uint64_t compressedSize = data.bytesWritten + encryptionBytes;
  if (compressedSize > kMax32 || data.bytesRead > kMax32) return kZipWriteFailed;
  const uint32_t statedCompressedSize = e.compressedSize;
  e.compressedSize = static_cast<uint32_t>(compressedSize);
  e.uncompressedSize = static_cast<uint32_t>(data.bytesRead);

  // Finish the entry.
  if (hasPassword_) {
    // The local header's sizes stand; a stored entry's must have come true.
    if (e.method == kMethodStored && e.compressedSize != statedCompressedSize) return kZipSizeChanged;
    uint8_t descriptor[kDataDescriptorSize];
    StoreLE32(descriptor + 0, kDataDescriptorSignature);
    StoreLE32(descriptor + 4, e.crc);
    StoreLE32(descriptor + 8, e.compressedSize);
    StoreLE32(descriptor + 12, e.uncompressedSize);
    if (!emit(descriptor, kDataDescriptorSize)) return kZipWriteFailed;
  } else {
    // Without a password the local header is rewritten with the final values, bit 3
    // cleared and the compressor's option bits set.
    e.flags = static_cast<uint16_t>(e.flags & ~kFlagDataDescriptor);
    if (e.method == kMethodDeflated) e.flags |= kFlagMaximumCompression;
    FillLocalHeader(header.data(), e);
    if (!out_.seek(e.localHeaderOffset)) {
      resyncPosition();
      return kZipSeekFailed;
    }
    const bool written = out_.write(header.data(), kLocalHeaderSize);
    if (!out_.seek(baseOffset_ + position_)) {
      resyncPosition();
      return kZipSeekFailed;
    }
    if (!written) return kZipWriteFailed;
  }

  // Keep the entry for the central directory.
  try {
    entries_.push_back(std::move(e));
  } catch (const std::bad_alloc&) {
    return kZipWriteFailed;
  }
  centralDirectorySize_ += centralRecord;
  return kZipOk;
}

uint32_t Writer::close() {
  uint32_t result = kZipOk;
  if (!closed_) {
    const uint64_t directoryOffset = position_;
    bool ok = !broken_;
    std::vector<uint8_t> record;
    for (const EntryRecord& e : entries_) {
      if (!ok) continue;  // after a failure the remaining records are only counted
      record.assign(kCentralHeaderSize + e.name.size() + kCentralExtraSize, 0);
      uint8_t* r = record.data();
      StoreLE32(r + 0, kCentralHeaderSignature);
      StoreLE16(r + 4, kVersionMadeBy);
      StoreLE16(r + 6, kVersionNeeded);
      StoreLE16(r + 8, e.flags);
      StoreLE16(r + 10, e.method);
      StoreLE16(r + 12, e.dos.time);
      StoreLE16(r + 14, e.dos.date);
      StoreLE32(r + 16, e.crc);
      StoreLE32(r + 20, e.compressedSize);
      StoreLE32(r + 24, e.uncompressedSize);
      StoreLE16(r + 28, static_cast<uint16_t>(e.name.size()));
      StoreLE16(r + 30, static_cast<uint16_t>(kCentralExtraSize));
      StoreLE16(r + 32, 0);  // comment length
      StoreLE16(r + 34, 0);  // disk number start
      StoreLE16(r + 36, 0);  // internal attributes
      StoreLE32(r + 38, e.externalAttributes);
      StoreLE32(r + 42, e.localHeaderOffset);
      std::memcpy(r + kCentralHeaderSize, e.name.data(), e.name.size());
      std::memcpy(r + kCentralHeaderSize + e.name.size(), e.centralExtra, kCentralExtraSize);
      ok = emit(r, record.size());
    }
    if (ok) {
      const uint64_t directorySize = position_ - directoryOffset;
      const uint64_t directoryStart = baseOffset_ + directoryOffset;
      // Never state an offset or size that the 32-bit fields would cut short.
      if (directorySize > kMax32 || directoryStart > kMax32) {
        ok = false;
      } else {
        uint8_t end[kEndRecordSize];
        StoreLE32(end + 0, kEndRecordSignature);
        StoreLE16(end + 4, 0);
        StoreLE16(end + 6, 0);
        StoreLE16(end + 8, static_cast<uint16_t>(entries_.size()));
        StoreLE16(end + 10, static_cast<uint16_t>(entries_.size()));
        StoreLE32(end + 12, static_cast<uint32_t>(directorySize));
        StoreLE32(end + 16, static_cast<uint32_t>(directoryStart));
        StoreLE16(end + 20, 0);
        ok = emit(end, kEndRecordSize);
      }
    }
    if (!ok) result = kZipWriteFailed;
    closed_ = true;
    entries_.clear();
  }
  // A failure the system reports only on closing (delayed writes) loses data too.
  if (!out_.close() && result == kZipOk) result = kZipWriteFailed;
  return result;
}

}  // namespace

struct ZipWriterHandle {
  uint32_t kind = kWriterKind;
  Writer* writer = nullptr;
};

namespace {

// The handle check every operation starts with: no handle is a bad argument, a
// handle of another kind is refused.
uint32_t CheckHandle(const ZipWriterHandle* handle) {
  if (!handle) return kZipBadArgument;
  uint32_t kind;
  std::memcpy(&kind, handle, sizeof kind);
  if (kind != kWriterKind) return kZipNotWriterHandle;
  if (!handle->writer) return kZipBadArgument;
  return kZipOk;
}

}  // namespace

const char* ZipResultText(uint32_t result) {
  switch (result) {
    case kZipOk: return "success";
    case kZipOpenFailed: return "the file cannot be created or opened, or its information cannot be read";
    case kZipWriteFailed: return "a write failed, or compressing or copying the data failed";
    case kZipBadArgument:
      return "bad argument: no handle, an empty or too long entry name, no source file name, "
             "or an entry beyond the archive's limits (4 GiB, 65535 entries)";
    case kZipNotWriterHandle: return "the handle is not a ZIP writer handle";
    case kZipSeekFailed: return "repositioning in the archive failed";
    case kZipSizeChanged: return "the file changed size while it was being read";
    default: return "unknown ZIP writer result";
  }
}

ZipWriterHandle* ZipWriter::create(const std::string& archivePath, const char* password, unsigned threads) {
  std::unique_ptr<Writer> writer(new (std::nothrow) Writer);
  if (!writer) return nullptr;
  try {
    if (!writer->open(archivePath, password, threads)) return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  ZipWriterHandle* handle = new (std::nothrow) ZipWriterHandle;
  if (!handle) return nullptr;
  handle->writer = writer.release();
  return handle;
}

uint32_t ZipWriter::addFile(ZipWriterHandle* handle, const std::string& entryName,
                            const std::string& sourcePath) {
  const uint32_t check = CheckHandle(handle);
  if (check != kZipOk) return check;
  try {
    return handle->writer->addFile(entryName, sourcePath);
  } catch (const std::bad_alloc&) {
    return kZipWriteFailed;
  }
}

uint32_t ZipWriter::close(ZipWriterHandle* handle) {
  const uint32_t check = CheckHandle(handle);
  if (check != kZipOk) return check;
  uint32_t result;
  try {
    result = handle->writer->close();
  } catch (const std::bad_alloc&) {
    result = kZipWriteFailed;
  }
  delete handle->writer;
  handle->writer = nullptr;
  handle->kind = 0;
  delete handle;
  return result;
}

namespace zip_writer_testing {

bool SetWritePosition(ZipWriterHandle* handle, uint64_t position) {
  if (CheckHandle(handle) != kZipOk) return false;
  handle->writer->setPosition(position);
  return true;
}

}  // namespace zip_writer_testing

}  // namespace vx
