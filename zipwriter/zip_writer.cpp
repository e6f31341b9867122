#include "zipwriter/zip_writer.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "common/crc32.h"
#include "common/encryption_keys.h"
#include "common/file.h"
#include "common/processors.h"
#include "common/random.h"
#include "common/utf.h"
#include "common/zip_format.h"
#include "zipwriter/chunk_deflater.h"
#include "zipwriter/zip_fields.h"
#include "zipwriter/zip_writer_testing.h"

namespace vx {

namespace zip_writer_testing {
void (*afterSourceDescribed)(const std::string& sourcePath) = nullptr;
}

namespace {

constexpr uint32_t kWriterKind = 2;

// Output is written in pieces of at most this size (compressor output, stored copy).
// A deflated source is read in ChunkDeflater's chunks, a fixed number of them per
// thread.
constexpr size_t kOutputPiece = 16384;

// Everything a central directory record needs, kept for each finished entry.
struct EntryRecord {
  uint16_t flags = 0;
  uint16_t method = zip::kMethodDeflated;
  DosDateTime dos;
  uint32_t crc = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint32_t externalAttributes = 0;
  uint32_t localHeaderOffset = 0;
  std::string name;
  uint8_t centralExtra[zip::kCentralExtraSize] = {};
};

// Result of copying or compressing one source into the archive.
struct DataResult {
  uint32_t result = kZipOk;
  uint64_t bytesRead = 0;
  uint64_t bytesWritten = 0;  // entry data, without the encryption header
  uint32_t crc = 0;
};

// After the size found before reading has been read, one byte more means the source
// grew.
uint32_t CheckSourceEnded(File& source) {
  uint8_t extra;
  const long long n = source.read(&extra, 1);
  if (n < 0) return kZipWriteFailed;
  return n > 0 ? kZipSizeChanged : kZipOk;
}

// An upper bound of the raw Deflate stream of `size` bytes: zlib never emits a block
// larger than its stored form (5 bytes of header per block of at least 16 KiB of
// input, but the last of a chunk), and each chunk adds a sync marker of 5 or 6 bytes.
// One byte in 512 plus a little is well above that.
uint64_t DeflateBound(uint64_t size) { return size + size / 512 + 1024; }

// The entry name as the archive holds it: backslashes become "/".
std::string ArchiveName(const std::string& entryName) {
  std::string name = entryName;
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  return name;
}

// A name with any character beyond ASCII is stored as UTF-8 with flag bit 11, which
// tells every reader how to take it, whatever code page its system uses. Names of
// ASCII alone carry no flag (they read the same everywhere), and neither does a name
// that is not valid UTF-8 (a Linux file name in another encoding): its bytes are all
// there is.
bool IsUtf8Name(const std::string& name) {
  bool beyondAscii = false;
  for (char c : name) beyondAscii = beyondAscii || static_cast<unsigned char>(c) >= 0x80;
  return beyondAscii && Utf16ToUtf8(Utf8ToUtf16(name)) == name;
}

// Whether the name fits: at most 259 characters, the longest name a Windows path
// component may have (for ASCII, 259 bytes), and what the 16-bit length field holds.
bool NameFits(const std::string& name) {
  if (name.empty() || name.size() > zip::kMaxNameFieldLength) return false;
  return IsUtf8Name(name) ? Utf8ToUtf16(name).size() <= zip::kMaxNameLength
                          : name.size() <= zip::kMaxNameLength;
}

// The entry as its local header first states it: with a password the CRC and a
// deflated entry's compressed size follow in the data descriptor.
EntryRecord DescribeEntry(const std::string& name, const FileDescription& source, bool encrypted,
                          uint64_t archivePosition) {
  EntryRecord e;
  e.name = name;
  e.method = IsStoredName(name) ? zip::kMethodStored : zip::kMethodDeflated;
  e.flags = encrypted ? static_cast<uint16_t>(zip::kFlagEncrypted | zip::kFlagDataDescriptor)
                      : zip::kFlagDataDescriptor;
  if (IsUtf8Name(name)) e.flags |= zip::kFlagUtf8;
  e.dos = DosDateTimeFromFileTime(source.lastWrite);
  e.crc = 0;
  const uint64_t encryptionBytes = encrypted ? zip::kEncryptionHeaderSize : 0;
  e.compressedSize =
      e.method == zip::kMethodStored ? static_cast<uint32_t>(source.size + encryptionBytes) : 0;
  e.uncompressedSize = static_cast<uint32_t>(source.size);
  e.externalAttributes = ExternalAttributes(source.attributes);
  e.localHeaderOffset = static_cast<uint32_t>(archivePosition);
  return e;
}

// The extended-timestamp field's two forms: the local one with the modification,
// access and creation times, the central one with the modification time.
void FillTimestamps(const FileDescription& source, uint8_t* local, uint8_t* central) {
  StoreLE16(local + zip::timestamp::kId.offset, zip::kTimestampId);
  zip::Store(local, zip::timestamp::kDataSize, zip::kLocalExtraSize - 4);
  local[zip::timestamp::kFlagsOffset] = zip::kTimestampFlags;
  zip::Store(local, zip::timestamp::kModified, UnixTimeFromFileTime(source.lastWrite));
  zip::Store(local, zip::timestamp::kAccessed, UnixTimeFromFileTime(source.lastAccess));
  zip::Store(local, zip::timestamp::kCreated, UnixTimeFromFileTime(source.creation));
  StoreLE16(central + zip::timestamp::kId.offset, zip::kTimestampId);
  zip::Store(central, zip::timestamp::kDataSize, zip::kCentralExtraSize - 4);
  central[zip::timestamp::kFlagsOffset] = zip::kTimestampFlags;
  zip::Store(central, zip::timestamp::kModified, UnixTimeFromFileTime(source.lastWrite));
}

// The fixed 30 bytes of a local header.
void FillLocalHeader(uint8_t* h, const EntryRecord& e) {
  using namespace zip::local;
  zip::Store(h, kSignature, zip::kLocalHeaderSignature);
  zip::Store(h, kVersionNeeded, zip::kVersionNeeded);
  zip::Store(h, kFlags, e.flags);
  zip::Store(h, kMethod, e.method);
  zip::Store(h, kTime, e.dos.time);
  zip::Store(h, kDate, e.dos.date);
  zip::Store(h, kCrc, e.crc);
  zip::Store(h, kCompressedSize, e.compressedSize);
  zip::Store(h, kUncompressedSize, e.uncompressedSize);
  zip::Store(h, kNameLength, static_cast<uint16_t>(e.name.size()));
  zip::Store(h, kExtraLength, static_cast<uint16_t>(zip::kLocalExtraSize));
}

// The local header with the name and the local extra field after it.
std::vector<uint8_t> LocalHeader(const EntryRecord& e, const uint8_t* localExtra) {
  std::vector<uint8_t> header(zip::kLocalHeaderSize + e.name.size() + zip::kLocalExtraSize);
  FillLocalHeader(header.data(), e);
  std::memcpy(header.data() + zip::kLocalHeaderSize, e.name.data(), e.name.size());
  std::memcpy(header.data() + zip::kLocalHeaderSize + e.name.size(), localExtra, zip::kLocalExtraSize);
  return header;
}

// The central directory record of a finished entry, with its name and extra field.
void CentralRecord(const EntryRecord& e, std::vector<uint8_t>& record) {
  using namespace zip::central;
  record.assign(zip::kCentralHeaderSize + e.name.size() + zip::kCentralExtraSize, 0);
  uint8_t* r = record.data();
  zip::Store(r, kSignature, zip::kCentralHeaderSignature);
  zip::Store(r, kVersionMadeBy, zip::kVersionMadeBy);
  zip::Store(r, kVersionNeeded, zip::kVersionNeeded);
  zip::Store(r, kFlags, e.flags);
  zip::Store(r, kMethod, e.method);
  zip::Store(r, kTime, e.dos.time);
  zip::Store(r, kDate, e.dos.date);
  zip::Store(r, kCrc, e.crc);
  zip::Store(r, kCompressedSize, e.compressedSize);
  zip::Store(r, kUncompressedSize, e.uncompressedSize);
  zip::Store(r, kNameLength, static_cast<uint16_t>(e.name.size()));
  zip::Store(r, kExtraLength, static_cast<uint16_t>(zip::kCentralExtraSize));
  // The comment length, disk number start and internal attributes stay 0.
  zip::Store(r, kExternalAttributes, e.externalAttributes);
  zip::Store(r, kLocalHeaderOffset, e.localHeaderOffset);
  std::memcpy(r + zip::kCentralHeaderSize, e.name.data(), e.name.size());
  std::memcpy(r + zip::kCentralHeaderSize + e.name.size(), e.centralExtra, zip::kCentralExtraSize);
}

class Writer {
 public:
  bool open(const std::string& path, const char* password, unsigned threads) {
    m_threads = ThreadCount(threads);
    if (password && *password) {
      m_password = password;
      m_hasPassword = true;
    }
    return m_out.open(path, File::Mode::CreateWrite);
  }

  uint32_t addFile(const std::string& entryName, const std::string& sourcePath);
  uint32_t close();
  void setPosition(uint64_t position) { m_position = position; }

 private:
  // Refuses, before anything is written, an entry that could not be described in the
  // format's 32-bit sizes and offsets or that could push the archive past 4 GiB.
  bool fitsTheFormat(const EntryRecord& e, uint64_t sourceSize) const;
  // Writes the local header and, with a password, the encryption header, which starts
  // the entry's key stream: encryption stays on for the entry's data.
  bool writeEntryStart(const EntryRecord& e, const uint8_t* localExtra, const uint8_t* encryptionHeader,
                       std::vector<uint8_t>& header);
  // Writes the entry's data, stored or deflated.
  uint32_t writeData(File& source, const EntryRecord& e, uint64_t size, DataResult& data);
  // Ends an entry whose data is written: the data descriptor with a password, else the
  // local header rewritten in place with the final values.
  uint32_t finishEntry(EntryRecord& e, uint32_t statedCompressedSize, std::vector<uint8_t>& header);
  uint32_t rewriteLocalHeader(EntryRecord& e, std::vector<uint8_t>& header);
  bool writeCentralDirectory();

  // Writes bytes to the archive and counts them. Encrypts them in place first while
  // an entry's data is being written with a password.
  bool emit(uint8_t* data, size_t len);
  // After a failed write the file may hold part of it: take the real position so
  // that every later offset stays true. Without one, the writer cannot go on.
  void resyncPosition();
  uint32_t copyStored(File& source, uint64_t expectedSize, DataResult& out);
  uint32_t compress(File& source, uint64_t expectedSize, DataResult& out);
  bool ensureBuffers();

  File m_out;
  uint64_t m_baseOffset = 0;  // the archive starts at the beginning of a file we create
  uint64_t m_position = 0;    // bytes of the archive written so far
  bool m_broken = false;      // the position is unknown after a failed write
  bool m_closed = false;      // central directory written

  std::string m_password;
  bool m_hasPassword = false;
  bool m_encrypting = false;
  EncryptionKeys m_keys;

  std::vector<uint8_t> m_outputBuffer;  // stored copy pieces
  // Deflate on m_threads threads; made on the first deflated entry, kept for the rest.
  unsigned m_threads = 1;
  std::unique_ptr<ChunkDeflater> m_deflater;

  std::vector<EntryRecord> m_entries;
  uint64_t m_centralDirectorySize = 0;  // bytes the records of m_entries will take
};

bool Writer::ensureBuffers() {
  try {
    if (m_outputBuffer.empty()) m_outputBuffer.resize(kOutputPiece);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void Writer::resyncPosition() {
  const long long at = m_out.tell();
  if (at < 0 || static_cast<uint64_t>(at) < m_baseOffset) {
    m_broken = true;
  } else {
    m_position = static_cast<uint64_t>(at) - m_baseOffset;
  }
}

bool Writer::emit(uint8_t* data, size_t len) {
  if (m_encrypting) m_keys.encrypt(data, len);
  if (!m_out.write(data, len)) {
    resyncPosition();
    return false;
  }
  m_position += len;
  return true;
}

// Stored data: the source copied in output pieces. At most the size found before
// reading is read.
uint32_t Writer::copyStored(File& source, uint64_t expectedSize, DataResult& res) {
  uint8_t* buf = m_outputBuffer.data();
  uint64_t remaining = expectedSize;
  while (remaining > 0) {
    const size_t want = remaining < kOutputPiece ? static_cast<size_t>(remaining) : kOutputPiece;
    const long long got = source.read(buf, want);
    if (got < 0) return kZipWriteFailed;
    if (got == 0) return kZipSizeChanged;  // shrank
    res.crc = Crc32(res.crc, buf, static_cast<size_t>(got));
    res.bytesRead += static_cast<uint64_t>(got);
    remaining -= static_cast<uint64_t>(got);
    if (!emit(buf, static_cast<size_t>(got))) return kZipWriteFailed;
    res.bytesWritten += static_cast<uint64_t>(got);
  }
  return CheckSourceEnded(source);
}

// Deflated data: the raw Deflate stream of ChunkDeflater over the first `expectedSize`
// bytes, compressed on the writer's threads and written in output pieces in order.
uint32_t Writer::compress(File& source, uint64_t expectedSize, DataResult& res) {
  try {
    if (!m_deflater) m_deflater.reset(new ChunkDeflater(m_threads));
  } catch (const std::bad_alloc&) {
    return kZipWriteFailed;
  }

  uint32_t readFailure = kZipWriteFailed;
  auto read = [&](uint8_t* buf, size_t len) {
    const long long got = source.readFully(buf, len);
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
    if (res.bytesWritten + left > zip::kMax32) return false;
    while (left > 0) {
      const size_t piece = left < kOutputPiece ? left : kOutputPiece;
      if (!emit(out, piece)) return false;
      out += piece;
      left -= piece;
      res.bytesWritten += piece;
    }
    return true;
  };
  switch (m_deflater->deflate(expectedSize, read, write)) {
    case ChunkDeflater::Result::Ok: break;
    case ChunkDeflater::Result::ReadFailed: return readFailure;
    default: return kZipWriteFailed;
  }
  return CheckSourceEnded(source);
}

bool Writer::fitsTheFormat(const EntryRecord& e, uint64_t sourceSize) const {
  const uint64_t encryptionBytes = m_hasPassword ? zip::kEncryptionHeaderSize : 0;
  const uint64_t maxData =
      (e.method == zip::kMethodStored ? sourceSize : DeflateBound(sourceSize)) + encryptionBytes;
  const uint64_t centralRecord = zip::kCentralHeaderSize + e.name.size() + zip::kCentralExtraSize;
  const uint64_t projectedEnd = m_baseOffset + m_position + zip::kLocalHeaderSize + e.name.size() +
                                zip::kLocalExtraSize + maxData +
                                (m_hasPassword ? zip::kDataDescriptorSize : 0) + m_centralDirectorySize +
                                centralRecord + zip::kEndRecordSize;
  return sourceSize <= zip::kMax32 && maxData <= zip::kMax32 && projectedEnd <= zip::kMax32;
}

bool Writer::writeEntryStart(const EntryRecord& e, const uint8_t* localExtra, const uint8_t* encryptionHeader,
                             std::vector<uint8_t>& header) {
  header = LocalHeader(e, localExtra);
  if (!emit(header.data(), header.size())) return false;
  if (!m_hasPassword) return true;
  m_keys.init(m_password.data(), m_password.size());
  m_encrypting = true;
  uint8_t encrypted[zip::kEncryptionHeaderSize];
  std::memcpy(encrypted, encryptionHeader, sizeof encrypted);
  if (!emit(encrypted, sizeof encrypted)) {
    m_encrypting = false;
    return false;
  }
  return true;
}

uint32_t Writer::writeData(File& source, const EntryRecord& e, uint64_t size, DataResult& data) {
  const uint32_t result =
      e.method == zip::kMethodStored ? copyStored(source, size, data) : compress(source, size, data);
  m_encrypting = false;
  return result;
}

uint32_t Writer::rewriteLocalHeader(EntryRecord& e, std::vector<uint8_t>& header) {
  // Bit 3 cleared: the CRC and sizes are in the header now; deflated entries carry
  // the compressor's option bits.
  e.flags = static_cast<uint16_t>(e.flags & ~zip::kFlagDataDescriptor);
  if (e.method == zip::kMethodDeflated) e.flags |= zip::kFlagMaximumCompression;
  FillLocalHeader(header.data(), e);
  if (!m_out.seek(e.localHeaderOffset)) {
    resyncPosition();
    return kZipSeekFailed;
  }
  const bool written = m_out.write(header.data(), zip::kLocalHeaderSize);
  if (!m_out.seek(m_baseOffset + m_position)) {
    resyncPosition();
    return kZipSeekFailed;
  }
  return written ? kZipOk : kZipWriteFailed;
}

uint32_t Writer::finishEntry(EntryRecord& e, uint32_t statedCompressedSize, std::vector<uint8_t>& header) {
  if (!m_hasPassword) return rewriteLocalHeader(e, header);
  // The local header's sizes stand; a stored entry's must have come true.
  if (e.method == zip::kMethodStored && e.compressedSize != statedCompressedSize) return kZipSizeChanged;
  uint8_t descriptor[zip::kDataDescriptorSize];
  zip::Store(descriptor, zip::descriptor::kSignature, zip::kDataDescriptorSignature);
  zip::Store(descriptor, zip::descriptor::kCrc, e.crc);
  zip::Store(descriptor, zip::descriptor::kCompressedSize, e.compressedSize);
  zip::Store(descriptor, zip::descriptor::kUncompressedSize, e.uncompressedSize);
  return emit(descriptor, sizeof descriptor) ? kZipOk : kZipWriteFailed;
}

uint32_t Writer::addFile(const std::string& entryName, const std::string& sourcePath) {
  if (m_broken || m_closed) return kZipWriteFailed;

  // The arguments: a name the format can hold, a source, room for one more entry (the
  // end record counts them in 16 bits).
  const std::string name = ArchiveName(entryName);
  if (!NameFits(name)) return kZipBadArgument;
  if (sourcePath.empty()) return kZipBadArgument;
  if (m_entries.size() >= zip::kMaxEntries) return kZipBadArgument;

  // The source and what it says of itself.
  File source;
  if (!source.open(sourcePath, File::Mode::Read)) return kZipOpenFailed;
  FileDescription desc;
  if (!source.describe(desc)) return kZipOpenFailed;
  if (zip_writer_testing::afterSourceDescribed) zip_writer_testing::afterSourceDescribed(sourcePath);

  EntryRecord e = DescribeEntry(name, desc, m_hasPassword, m_baseOffset + m_position);
  if (!fitsTheFormat(e, desc.size)) return kZipBadArgument;
  if (!ensureBuffers()) return kZipWriteFailed;
  uint8_t localExtra[zip::kLocalExtraSize];
  FillTimestamps(desc, localExtra, e.centralExtra);

  // The encryption header's random bytes are drawn before anything is written, so
  // that a generator failure leaves no trace in the archive.
  uint8_t encryptionHeader[zip::kEncryptionHeaderSize];
  if (m_hasPassword) {
    if (!SystemRandomBytes(encryptionHeader, zip::kEncryptionHeaderSize - 1)) return kZipWriteFailed;
    encryptionHeader[zip::kEncryptionHeaderSize - 1] =
        static_cast<uint8_t>(e.dos.time >> 8);  // the check byte
  }

  std::vector<uint8_t> header;
  if (!writeEntryStart(e, localExtra, encryptionHeader, header)) return kZipWriteFailed;
  DataResult data;
  const uint32_t dataResult = writeData(source, e, desc.size, data);
  source.close();
  if (dataResult != kZipOk) return dataResult;

  // The final values.
  const uint64_t compressedSize = data.bytesWritten + (m_hasPassword ? zip::kEncryptionHeaderSize : 0);
  if (compressedSize > zip::kMax32 || data.bytesRead > zip::kMax32) return kZipWriteFailed;
  const uint32_t statedCompressedSize = e.compressedSize;
  e.crc = data.crc;
  e.compressedSize = static_cast<uint32_t>(compressedSize);
  e.uncompressedSize = static_cast<uint32_t>(data.bytesRead);
  const uint32_t finished = finishEntry(e, statedCompressedSize, header);
  if (finished != kZipOk) return finished;

  // Keep the entry for the central directory.
  const uint64_t centralRecord = zip::kCentralHeaderSize + e.name.size() + zip::kCentralExtraSize;
  try {
    m_entries.push_back(std::move(e));
  } catch (const std::bad_alloc&) {
    return kZipWriteFailed;
  }
  m_centralDirectorySize += centralRecord;
  return kZipOk;
}

bool Writer::writeCentralDirectory() {
  const uint64_t directoryOffset = m_position;
  if (m_broken) return false;
  std::vector<uint8_t> record;
  for (const EntryRecord& e : m_entries) {
    CentralRecord(e, record);
    if (!emit(record.data(), record.size())) return false;
  }
  const uint64_t directorySize = m_position - directoryOffset;
  const uint64_t directoryStart = m_baseOffset + directoryOffset;
  // Never state an offset or size that the 32-bit fields would cut short.
  if (directorySize > zip::kMax32 || directoryStart > zip::kMax32) return false;
  uint8_t end[zip::kEndRecordSize] = {};
  zip::Store(end, zip::end::kSignature, zip::kEndRecordSignature);
  // This disk and the directory's disk are 0; there is no comment.
  zip::Store(end, zip::end::kEntriesOnDisk, static_cast<uint16_t>(m_entries.size()));
  zip::Store(end, zip::end::kTotalEntries, static_cast<uint16_t>(m_entries.size()));
  zip::Store(end, zip::end::kDirectorySize, static_cast<uint32_t>(directorySize));
  zip::Store(end, zip::end::kDirectoryOffset, static_cast<uint32_t>(directoryStart));
  return emit(end, sizeof end);
}

uint32_t Writer::close() {
  uint32_t result = kZipOk;
  if (!m_closed) {
    if (!writeCentralDirectory()) result = kZipWriteFailed;
    m_closed = true;
    m_entries.clear();
  }
  // A failure the system reports only on closing (delayed writes) loses data too.
  if (!m_out.close() && result == kZipOk) result = kZipWriteFailed;
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
