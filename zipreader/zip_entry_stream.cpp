// ZipEntryStream: one entry from its local header to its data descriptor.
#include "zipreader/zip_entry_stream.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "common/crc32.h"
#include "common/zip_format.h"

namespace vx {

using zip::kEncryptionHeaderSize;

// Header of every block handed to zlib; the list lets the stream free what zlib still
// holds when an entry ends after an error.
struct alignas(16) ZipEntryStream::AllocBlock {
  AllocBlock* prev;
  AllocBlock* next;
};

uint32_t AttributesToSet(uint32_t attributes) {
  uint32_t bits = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  return bits != 0 ? bits : static_cast<uint32_t>(kAttrNormal);
}

int SetEntryTimeAndAttributes(const ZipEntryInfo& entry, const std::string& path) {
  std::tm t{};
  t.tm_year = ((entry.dosDate >> 9) & 0x7F) + 80;
  t.tm_mon = ((entry.dosDate >> 5) & 0x0F) - 1;
  t.tm_mday = entry.dosDate & 0x1F;
  t.tm_hour = (entry.dosTime >> 11) & 0x1F;
  t.tm_min = (entry.dosTime >> 5) & 0x3F;
  t.tm_sec = (entry.dosTime & 0x1F) * 2;
  t.tm_isdst = -1;  // local time, daylight saving as the system decides
  std::time_t now = std::time(nullptr);
  std::time_t modified;
  {
    // mktime reads the process's time-zone state; entries finish on several threads.
    static std::mutex timeZoneLock;
    std::lock_guard<std::mutex> lock(timeZoneLock);
    modified = std::mktime(&t);
  }
  if (modified == static_cast<std::time_t>(-1)) modified = now;
  if (!SetFileTimesUnix(path, now, modified)) return -2;
  if (!SetFileAttributeBits(path, AttributesToSet(entry.systemAttributes()))) return -2;
  return 1;
}

ZipEntryStream::ZipEntryStream() { std::memset(&m_inflate, 0, sizeof m_inflate); }

ZipEntryStream::~ZipEntryStream() { release(); }

void ZipEntryStream::throwEntry(int cause) const { throw CZipException(cause, m_current.name()); }

void ZipEntryStream::readExact(uint64_t position, void* buf, size_t n) {
  if (n == 0) return;
  if (m_pSource->readAt(position, buf, n) != n)
    throw CZipException(CZipException::kDamaged, m_pSource->name());
}

void* ZipEntryStream::ZAlloc(void* opaque, unsigned items, unsigned size) {
  auto* stream = static_cast<ZipEntryStream*>(opaque);
  if (size != 0 && items > (SIZE_MAX - sizeof(AllocBlock)) / size) return nullptr;
  auto* block = static_cast<AllocBlock*>(std::malloc(sizeof(AllocBlock) + static_cast<size_t>(items) * size));
  if (block == nullptr) return nullptr;
  block->prev = nullptr;
  block->next = stream->m_pBlocks;
  if (stream->m_pBlocks != nullptr) stream->m_pBlocks->prev = block;
  stream->m_pBlocks = block;
  return block + 1;
}

void ZipEntryStream::ZFree(void* opaque, void* address) {
  if (address == nullptr) return;
  auto* stream = static_cast<ZipEntryStream*>(opaque);
  auto* block = static_cast<AllocBlock*>(address) - 1;
  if (block->prev != nullptr) block->prev->next = block->next;
  else stream->m_pBlocks = block->next;
  if (block->next != nullptr) block->next->prev = block->prev;
  std::free(block);
}

uint64_t ZipEntryStream::checkLocalHeader(uint64_t position) {
  using namespace zip::local;
  uint8_t h[zip::kLocalHeaderSize];
  readExact(position, h, sizeof h);
  const uint16_t localFlags = zip::Load(h, kFlags);
  const uint16_t localMethod = zip::Load(h, kMethod);
  const uint16_t nameLength = zip::Load(h, kNameLength);
  const uint16_t extraLength = zip::Load(h, kExtraLength);
  if (zip::Load(h, kSignature) != zip::kLocalHeaderSignature || localMethod != m_current.method ||
      (localMethod != zip::kMethodStored && localMethod != zip::kMethodDeflated) ||
      nameLength != m_current.storedNameLength)
    throwEntry(CZipException::kDamaged);
  // Without a data descriptor the local header must state the central record's values.
  if (!(localFlags & zip::kFlagDataDescriptor) &&
      (zip::Load(h, kCrc) != m_current.crc32 || zip::Load(h, kCompressedSize) != m_current.compressedSize ||
       zip::Load(h, kUncompressedSize) != m_current.uncompressedSize))
    throwEntry(CZipException::kDamaged);
  if ((localFlags & 0x000F) != (m_current.flags & 0x000F)) m_current.flags = localFlags;

  position += zip::kLocalHeaderSize + nameLength;  // the local copy of the name is not needed
  m_localExtra.resize(extraLength);
  readExact(position, m_localExtra.data(), extraLength);
  return position + extraLength;
}

void ZipEntryStream::checkPassword(uint64_t position, const std::string& password) {
  if (password.empty()) throwEntry(CZipException::kBadPassword);
  if (m_current.compressedSize < kEncryptionHeaderSize) throwEntry(CZipException::kDamaged);
  uint8_t header[kEncryptionHeaderSize];
  readExact(position, header, sizeof header);
  m_keys.init(password.data(), password.size());
  m_keys.decrypt(header, sizeof header);
  // The check byte: the high byte of the DOS time when the CRC comes only after the
  // data, else the high byte of the CRC.
  const uint8_t check = m_current.hasDataDescriptor() ? static_cast<uint8_t>(m_current.dosTime >> 8)
                                                      : static_cast<uint8_t>(m_current.crc32 >> 24);
  if (header[kEncryptionHeaderSize - 1] != check) throwEntry(CZipException::kBadPassword);
}

void ZipEntryStream::startInflate() {
  std::memset(&m_inflate, 0, sizeof m_inflate);
  m_inflate.zalloc = &ZipEntryStream::ZAlloc;
  m_inflate.zfree = &ZipEntryStream::ZFree;
  m_inflate.opaque = this;
  const int rc = inflateInit2(&m_inflate, -MAX_WBITS);
  if (rc != Z_OK) {
    release();
    throwEntry(CZipException::ZlibErrorToCause(rc));
  }
  m_bInflateReady = true;
}

void ZipEntryStream::open(ZipSource& source, uint64_t bytesBefore, const ZipEntryInfo& entry,
                          const std::string& password) {
  release();
  m_pSource = &source;
  m_current = entry;
  if (!m_readBuffer) m_readBuffer.reset(new uint8_t[ZipReader::kReadBufferSize]);

  uint64_t position = checkLocalHeader(static_cast<uint64_t>(m_current.localHeaderOffset) + bytesBefore);
  uint64_t dataSize = m_current.compressedSize;
  if (m_current.isEncrypted()) {
    checkPassword(position, password);
    dataSize -= kEncryptionHeaderSize;
    position += kEncryptionHeaderSize;
  }
  if (m_current.method == zip::kMethodDeflated) startInflate();

  m_nDataStart = position;
  m_nReadPosition = position;
  m_nCompressedLeft = dataSize;
  m_nUncompressedLeft = m_current.uncompressedSize;
  m_nCrc = 0;
  m_nInputPos = m_nInputEnd = 0;
  m_bStreamEnded = false;
  m_bOpen = true;
}

void ZipEntryStream::fillInput() {
  size_t piece = static_cast<size_t>(std::min<uint64_t>(ZipReader::kReadBufferSize, m_nCompressedLeft));
  readExact(m_nReadPosition, m_readBuffer.get(), piece);
  if (m_current.isEncrypted()) m_keys.decrypt(m_readBuffer.get(), piece);
  m_nReadPosition += piece;
  m_nCompressedLeft -= piece;
  m_nInputPos = 0;
  m_nInputEnd = piece;
}

size_t ZipEntryStream::read(void* buf, size_t n) {
  if (!m_bOpen || m_bStreamEnded) return 0;
  uint8_t* out = static_cast<uint8_t*>(buf);
  size_t want = static_cast<size_t>(std::min<uint64_t>(n, m_nUncompressedLeft));
  size_t produced = 0;

  if (m_current.method == zip::kMethodStored) {
    while (produced < want) {
      if (m_nInputPos == m_nInputEnd) {
        if (m_nCompressedLeft == 0) break;
        fillInput();
      }
      size_t k = std::min(want - produced, m_nInputEnd - m_nInputPos);
      std::memcpy(out + produced, m_readBuffer.get() + m_nInputPos, k);
      m_nInputPos += k;
      produced += k;
    }
    m_nCrc = Crc32(m_nCrc, out, produced);
    m_nUncompressedLeft -= produced;
    return produced;
  }

  while (produced < want) {
    if (m_nInputPos == m_nInputEnd && m_nCompressedLeft > 0) fillInput();
    size_t room = std::min<size_t>(want - produced, 1u << 30);
    m_inflate.next_in = m_readBuffer.get() + m_nInputPos;
    m_inflate.avail_in = static_cast<uInt>(m_nInputEnd - m_nInputPos);
    m_inflate.next_out = out + produced;
    m_inflate.avail_out = static_cast<uInt>(room);
    int rc = inflate(&m_inflate, Z_SYNC_FLUSH);
    size_t got = room - m_inflate.avail_out;
    m_nInputPos = m_nInputEnd - m_inflate.avail_in;
    m_nCrc = Crc32(m_nCrc, out + produced, got);
    produced += got;
    m_nUncompressedLeft -= got;
    if (rc == Z_STREAM_END) {
      m_bStreamEnded = true;
      break;
    }
    if (rc == Z_BUF_ERROR && m_nInputPos == m_nInputEnd && m_nCompressedLeft == 0)
      throwEntry(CZipException::kDamaged);  // the stream wants more than the entry holds
    if (rc != Z_OK) throwEntry(CZipException::ZlibErrorToCause(rc));
  }
  return produced;
}

int ZipEntryStream::close(const std::string& targetPath) {
  if (!m_bOpen) return -1;
  int result = 1;
  if (m_nUncompressedLeft > 0) {
    result = -1;
  } else if (m_nCrc != m_current.crc32) {
    throwEntry(CZipException::kCrcMismatch);
  }
  if (m_bInflateReady) {
    inflateEnd(&m_inflate);
    m_bInflateReady = false;
  }
  if (!targetPath.empty() && SetEntryTimeAndAttributes(m_current, targetPath) != 1) result = -2;

  if (m_current.hasDataDescriptor()) checkDataDescriptor();
  release();
  return result;
}

void ZipEntryStream::checkDataDescriptor() {
  // The descriptor follows the whole entry data, which the inflater need not have read
  // to its last byte (the end-of-block code may sit in a piece of its own).
  uint64_t dataEnd =
      m_nDataStart + m_current.compressedSize - (m_current.isEncrypted() ? kEncryptionHeaderSize : 0);
  uint8_t d[zip::kDataDescriptorSize];
  readExact(dataEnd, d, 4);
  if (zip::Load(d, zip::descriptor::kSignature) == zip::kDataDescriptorSignature) dataEnd += 4;  // optional
  // Without its signature the descriptor's fields start 4 bytes earlier.
  readExact(dataEnd, d + 4, 12);
  if (zip::Load(d, zip::descriptor::kCrc) != m_current.crc32 ||
      zip::Load(d, zip::descriptor::kCompressedSize) != m_current.compressedSize ||
      zip::Load(d, zip::descriptor::kUncompressedSize) != m_current.uncompressedSize)
    throwEntry(CZipException::kDamaged);
}

void ZipEntryStream::release() {
  if (m_bInflateReady) {
    inflateEnd(&m_inflate);
    m_bInflateReady = false;
  }
  while (m_pBlocks != nullptr) {
    AllocBlock* next = m_pBlocks->next;
    std::free(m_pBlocks);
    m_pBlocks = next;
  }
  m_readBuffer.reset();
  m_localExtra.clear();
  m_nInputPos = m_nInputEnd = 0;
  m_bOpen = false;
}

}  // namespace vx
