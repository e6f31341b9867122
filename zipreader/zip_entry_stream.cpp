// ZipEntryStream: one entry from its local header to its data descriptor.
#include "zipreader/zip_entry_stream.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "common/byte_order.h"
#include "common/crc32.h"

namespace vx {
namespace {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kDescriptorSignature = 0x08074B50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kEncryptionHeaderSize = 12;

// The key steps of EncryptionKeys::decrypt with the table and the keys held in locals:
// the data of every encrypted entry passes through here, byte by byte.
void DecryptFast(EncryptionKeys& keys, uint8_t* buf, size_t n) {
  static const z_crc_t* const table = get_crc_table();
  uint32_t k0 = keys.key0, k1 = keys.key1, k2 = keys.key2;
  for (size_t i = 0; i < n; ++i) {
    uint32_t t = (k2 & 0xFFFF) | 2u;
    uint8_t p = static_cast<uint8_t>(buf[i] ^ static_cast<uint8_t>((t * (t ^ 1u)) >> 8));
    buf[i] = p;
    k0 = (k0 >> 8) ^ static_cast<uint32_t>(table[(k0 ^ p) & 0xFF]);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1u;
    k2 = (k2 >> 8) ^ static_cast<uint32_t>(table[(k2 ^ (k1 >> 24)) & 0xFF]);
  }
  keys.key0 = k0;
  keys.key1 = k1;
  keys.key2 = k2;
}

}  // namespace

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
  if (m_pSource->readAt(position, buf, n) != n) throw CZipException(CZipException::kDamaged, m_pSource->name());
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

void ZipEntryStream::open(ZipSource& source, uint64_t bytesBefore, const ZipEntryInfo& entry,
                          const std::string& password) {
  release();
  m_pSource = &source;
  m_current = entry;
  if (!m_readBuffer) m_readBuffer.reset(new uint8_t[ZipReader::kReadBufferSize]);

  uint64_t position = static_cast<uint64_t>(m_current.localHeaderOffset) + bytesBefore;
  uint8_t h[kLocalHeaderSize];
  readExact(position, h, sizeof h);
  uint16_t localFlags = LoadLE16(h + 6);
  uint16_t localMethod = LoadLE16(h + 8);
  uint16_t nameLength = LoadLE16(h + 26);
  uint16_t extraLength = LoadLE16(h + 28);
  if (LoadLE32(h) != kLocalSignature || localMethod != m_current.method ||
      (localMethod != 0 && localMethod != 8) || nameLength != m_current.fileName.size())
    throwEntry(CZipException::kDamaged);
  if (!(localFlags & 0x0008) &&
      (LoadLE32(h + 14) != m_current.crc32 || LoadLE32(h + 18) != m_current.compressedSize ||
       LoadLE32(h + 22) != m_current.uncompressedSize))
    throwEntry(CZipException::kDamaged);
  if ((localFlags & 0x000F) != (m_current.flags & 0x000F)) m_current.flags = localFlags;

  position += kLocalHeaderSize + nameLength;  // the local copy of the name is not needed
  m_localExtra.resize(extraLength);
  readExact(position, m_localExtra.data(), extraLength);
  position += extraLength;

  uint64_t dataSize = m_current.compressedSize;
  if (m_current.isEncrypted()) {
    if (password.empty()) throwEntry(CZipException::kBadPassword);
    if (dataSize < kEncryptionHeaderSize) throwEntry(CZipException::kDamaged);
    uint8_t header[kEncryptionHeaderSize];
    readExact(position, header, sizeof header);
    m_keys.init(password.data(), password.size());
    m_keys.decrypt(header, sizeof header);
    uint8_t check = m_current.hasDataDescriptor() ? static_cast<uint8_t>(m_current.dosTime >> 8)
                                                  : static_cast<uint8_t>(m_current.crc32 >> 24);
    if (header[11] != check) throwEntry(CZipException::kBadPassword);
    dataSize -= kEncryptionHeaderSize;
    position += kEncryptionHeaderSize;
  }

  if (m_current.method == 8) {
    std::memset(&m_inflate, 0, sizeof m_inflate);
    m_inflate.zalloc = &ZipEntryStream::ZAlloc;
    m_inflate.zfree = &ZipEntryStream::ZFree;
    m_inflate.opaque = this;
    int rc = inflateInit2(&m_inflate, -MAX_WBITS);
    if (rc != Z_OK) {
      release();
      throwEntry(CZipException::ZlibErrorToCause(rc));
    }
    m_bInflateReady = true;
  }

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
  if (m_current.isEncrypted()) DecryptFast(m_keys, m_readBuffer.get(), piece);
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

  if (m_current.method == 0) {
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

  if (m_current.hasDataDescriptor()) {
    // The descriptor follows the whole entry data, which the inflater need not have
    // read to its last byte (the end-of-block code may sit in a piece of its own).
    uint64_t dataEnd = m_nDataStart + m_current.compressedSize -
                       (m_current.isEncrypted() ? kEncryptionHeaderSize : 0);
    uint8_t d[12];
    readExact(dataEnd, d, 4);
    if (LoadLE32(d) == kDescriptorSignature) dataEnd += 4;  // the signature is optional
    readExact(dataEnd, d, 12);
    if (LoadLE32(d) != m_current.crc32 || LoadLE32(d + 4) != m_current.compressedSize ||
        LoadLE32(d + 8) != m_current.uncompressedSize)
      throwEntry(CZipException::kDamaged);
  }
  release();
  return result;
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
