// ZipReader: the central directory, the local-header checks, decryption, inflation,
// the CRC and data-descriptor checks, and writing the extracted files.
#include "zipreader/zip_reader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/file_exception.h"
#include "common/byte_order.h"
#include "zipreader/zip_platform.h"

namespace vx {
namespace {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kDescriptorSignature = 0x08074B50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr uint64_t kMaxCommentSize = 65535;
constexpr size_t kEncryptionHeaderSize = 12;
constexpr uint32_t kFolderAttributes = 0x41FF0010;
constexpr uint32_t kFileAttributes = 0x81A40020;


bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Windows reserves these names in every folder, with or without an extension.
bool IsDeviceName(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
      base == "CONOUT$")
    return true;
  if (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0) return false;
  std::string digit = base.substr(3);
  // COM0-9 and LPT0-9, and with a superscript 1, 2 or 3 (as one ANSI byte or in UTF-8).
  return (digit.size() == 1 && ((digit[0] >= '0' && digit[0] <= '9') || digit == "\xB9" || digit == "\xB2" ||
                                digit == "\xB3")) ||
         digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

// Makes one path component a plain name: trailing dots and spaces go (Windows drops
// them anyway, so "a.txt." and "a.txt" are one file there). False when nothing usable
// remains: ".", "..", empty, a drive or stream (":"), control characters, device names.
bool MakeSafeComponent(std::string& component) {
  while (!component.empty() && (component.back() == '.' || component.back() == ' '))
    component.pop_back();
  if (component.empty()) return false;
  for (char c : component) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || c == ':' || IsSeparator(c)) return false;
  }
  return !IsDeviceName(component);
}

// The attribute bits handed to the file system: read-only, hidden, system, archive.
// The upper bits of the archive's values are no file attributes.
uint32_t AttributesToSet(uint32_t attributes) {
  uint32_t bits = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  return bits != 0 ? bits : static_cast<uint32_t>(kAttrNormal);
}

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

// Header of every block handed to zlib; the list lets the reader free what zlib still
// holds when an entry ends after an error.
struct alignas(16) ZipReader::AllocBlock {
  AllocBlock* prev;
  AllocBlock* next;
};

// ---------------------------------------------------------------------------------
// ZipEntryInfo

std::string ZipEntryInfo::name() const { return std::string(fileName.begin(), fileName.end()); }

// A name that ends in a separator is a folder whatever the attributes say: no file can
// have that name (some writers give folders a plain file mode).
bool ZipEntryInfo::isDirectory() const {
  bool endsInSeparator = !fileName.empty() && IsSeparator(static_cast<char>(fileName.back()));
  return endsInSeparator || (systemAttributes() & kAttrDirectory) != 0;
}

uint32_t ZipEntryInfo::systemAttributes() const {
  bool endsInSeparator = !fileName.empty() && IsSeparator(static_cast<char>(fileName.back()));
  switch (hostSystem()) {
    case 0:   // MS-DOS
    case 3:   // Unix
    case 6:   // OS/2 HPFS
    case 7:   // Macintosh
    case 10:  // Windows NTFS
      if (externalAttributes == 0 && endsInSeparator) return kFolderAttributes;
      if (hostSystem() == 7) return externalAttributes & 0x11;
      if (hostSystem() == 3) {
        uint32_t a = 0;
        if (externalAttributes & (1u << 30)) a |= 0x10;  // S_IFDIR
        if (!(externalAttributes & (1u << 23))) a |= 0x01;  // owner may not write
        if (!(externalAttributes & (1u << 22))) a |= 0x20;  // owner may not execute
        if (!(externalAttributes & (1u << 24))) a |= 0x02;  // owner may not read
        return a;
      }
      return externalAttributes;
    default:
      return endsInSeparator ? kFolderAttributes : kFileAttributes;
  }
}

// ---------------------------------------------------------------------------------
// Opening: the end record and the central directory

ZipReader::ZipReader() { std::memset(&m_inflate, 0, sizeof m_inflate); }

ZipReader::~ZipReader() { releaseEntry(); }

void ZipReader::throwArchive(int cause) const {
  throw CZipException(cause, m_pSource != nullptr ? m_pSource->name() : std::string());
}

void ZipReader::throwEntry(int cause) const { throw CZipException(cause, m_current.name()); }

void ZipReader::seekTo(uint64_t position) {
  uint64_t limit = static_cast<uint64_t>(INT64_MAX);
  m_pSource->seek(static_cast<int64_t>(position < limit ? position : limit), 0);
}

void ZipReader::readExact(void* buf, size_t n) {
  if (n == 0) return;
  if (m_pSource->read(buf, n) != n) throwArchive(CZipException::kDamaged);
}

void ZipReader::open(ZipSource& source) {
  if (m_pSource != nullptr) return;
  m_pSource = &source;
  try {
    findEndRecord(m_nEndRecordPosition);
    readCentralDirectory();
  } catch (...) {
    releaseAll();
    throw;
  }
}

void ZipReader::findEndRecord(uint64_t& position) {
  const uint64_t length = m_pSource->length();
  const uint64_t searched = std::min<uint64_t>(length, kMaxCommentSize + kEndRecordSize);
  std::vector<uint8_t> piece(kSearchBufferSize);
  uint64_t done = 0;
  for (;;) {
    uint64_t upTo = std::min<uint64_t>(done + kSearchBufferSize, searched);
    size_t n = static_cast<size_t>(upTo - done);
    seekTo(length - upTo);
    readExact(piece.data(), n);
    for (size_t i = n >= 4 ? n - 4 + 1 : 0; i-- > 0;) {
      if (LoadLE32(&piece[i]) == kEndSignature) {
        position = length - upTo + i;
        return;
      }
    }
    if (upTo >= searched) break;
    done = upTo - 3;  // overlap, so that a signature split across two pieces is found
  }
  throwArchive(CZipException::kNoEndRecord);
}

void ZipReader::readCentralDirectory() {
  uint8_t end[kEndRecordSize];
  seekTo(m_nEndRecordPosition);
  readExact(end, sizeof end);
  m_nThisDisk = LoadLE16(end + 4);
  m_nDirectoryDisk = LoadLE16(end + 6);
  m_nEntriesOnDisk = LoadLE16(end + 8);
  m_nTotalEntries = LoadLE16(end + 10);
  m_nDirectorySize = LoadLE32(end + 12);
  m_nDirectoryOffset = LoadLE32(end + 16);
  uint16_t commentLength = LoadLE16(end + 20);

  // Spanned archives are never written for packages; one that claims to be a later
  // volume cannot be read from this one block.
  if (m_nThisDisk != 0) throwArchive(CZipException::kDamaged);
  const uint64_t directoryEnd = static_cast<uint64_t>(m_nDirectoryOffset) + m_nDirectorySize;
  if (m_nEndRecordPosition < directoryEnd) throwArchive(CZipException::kDamaged);
  m_comment.resize(commentLength);
  readExact(m_comment.data(), commentLength);
  m_nBytesBefore = m_nEndRecordPosition - directoryEnd;
  if ((m_nDirectorySize == 0) != (m_nTotalEntries == 0)) throwArchive(CZipException::kDamaged);

  m_entries.clear();
  if (m_nDirectorySize != 0) {
    m_entries.reserve(m_nTotalEntries);
    seekTo(m_nDirectoryOffset + m_nBytesBefore);
    for (unsigned i = 0; i < m_nTotalEntries; ++i) {
      uint8_t h[kCentralHeaderSize];
      readExact(h, sizeof h);
      if (LoadLE32(h) != kCentralSignature) throwArchive(CZipException::kDamaged);
      ZipEntryInfo e;
      e.signature = LoadLE32(h);
      e.versionMadeBy = LoadLE16(h + 4);
      e.versionNeeded = LoadLE16(h + 6);
      e.flags = LoadLE16(h + 8);
      e.method = LoadLE16(h + 10);
      e.dosTime = LoadLE16(h + 12);
      e.dosDate = LoadLE16(h + 14);
      e.crc32 = LoadLE32(h + 16);
      e.compressedSize = LoadLE32(h + 20);
      e.uncompressedSize = LoadLE32(h + 24);
      uint16_t nameLength = LoadLE16(h + 28);
      uint16_t extraLength = LoadLE16(h + 30);
      uint16_t entryCommentLength = LoadLE16(h + 32);
      e.diskStart = LoadLE16(h + 34);
      e.internalAttributes = LoadLE16(h + 36);
      e.externalAttributes = LoadLE32(h + 38);
      e.localHeaderOffset = LoadLE32(h + 42);
      // Each buffer is at most 65535 bytes and is filled from the archive before the
      // next one is made, so a damaged record cannot make the reader allocate more
      // than the archive holds.
      e.fileName.resize(nameLength);
      readExact(e.fileName.data(), nameLength);
      e.extraField.resize(extraLength);
      readExact(e.extraField.data(), extraLength);
      e.comment.resize(entryCommentLength);
      readExact(e.comment.data(), entryCommentLength);
      for (uint8_t& c : e.fileName)
        if (c == '/') c = static_cast<uint8_t>(kPathSeparator);
      if (e.hostSystem() == 0 && !e.fileName.empty())
        zipplatform::OemToAnsi(reinterpret_cast<char*>(e.fileName.data()), e.fileName.size());
      m_entries.push_back(std::move(e));
    }
  }

  // Indices follow the order of the data in the archive.
  std::stable_sort(m_entries.begin(), m_entries.end(), [](const ZipEntryInfo& a, const ZipEntryInfo& b) {
    return a.diskStart != b.diskStart ? a.diskStart < b.diskStart
                                      : a.localHeaderOffset < b.localHeaderOffset;
  });
  for (size_t i = 1; i < m_entries.size(); ++i) {
    if (m_entries[i].diskStart == m_entries[i - 1].diskStart &&
        m_entries[i].localHeaderOffset == m_entries[i - 1].localHeaderOffset)
      throwArchive(CZipException::kDamaged);
  }
}

// ---------------------------------------------------------------------------------
// Directory queries

bool ZipReader::setPassword(const char* password) {
  if (m_bEntryOpen) return false;
  m_password = password != nullptr ? std::string(password) : std::string();
  return true;
}

int ZipReader::entryCount() const { return static_cast<int>(m_entries.size()); }

bool ZipReader::entryInfo(int index, ZipEntryInfo& out) const {
  if (index < 0 || index >= entryCount()) return false;
  out = m_entries[static_cast<size_t>(index)];
  return true;
}

std::string ZipReader::targetPath(int index, const std::string& targetFolder, bool keepFolders,
                                  const char* newName) const {
  if (index < 0 || index >= entryCount()) return std::string();
  std::string name = (newName != nullptr && *newName != '\0')
                         ? std::string(newName)
                         : m_entries[static_cast<size_t>(index)].name();

  // Components of the name, split at both separators; empty and "." parts are
  // dropped only inside kept folders, where they mean nothing.
  std::vector<std::string> parts;
  std::string part;
  for (char c : name) {
    if (IsSeparator(c)) {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  while (!parts.empty() && parts.back().empty()) parts.pop_back();  // trailing separators
  if (parts.empty()) return std::string();

  std::string relative;
  if (!keepFolders) {
    std::string last = parts.back();
    if (!MakeSafeComponent(last)) return std::string();
    relative = last;
  } else {
    for (std::string p : parts) {
      if (p.empty() || p == ".") continue;
      if (!MakeSafeComponent(p)) return std::string();  // "..", drives, devices
      relative = relative.empty() ? p : relative + kPathSeparator + p;
    }
    if (relative.empty()) return std::string();
  }

  std::string folder = targetFolder;
  while (folder.size() > 1 && IsSeparator(folder.back())) folder.pop_back();
  return JoinPath(folder, relative);
}

// ---------------------------------------------------------------------------------
// One entry: open, read, close

void* ZipReader::ZAlloc(void* opaque, unsigned items, unsigned size) {
  auto* reader = static_cast<ZipReader*>(opaque);
  if (size != 0 && items > (SIZE_MAX - sizeof(AllocBlock)) / size) return nullptr;
  auto* block = static_cast<AllocBlock*>(std::malloc(sizeof(AllocBlock) + static_cast<size_t>(items) * size));
  if (block == nullptr) return nullptr;
  block->prev = nullptr;
  block->next = reader->m_pBlocks;
  if (reader->m_pBlocks != nullptr) reader->m_pBlocks->prev = block;
  reader->m_pBlocks = block;
  return block + 1;
}

void ZipReader::ZFree(void* opaque, void* address) {
  if (address == nullptr) return;
  auto* reader = static_cast<ZipReader*>(opaque);
  auto* block = static_cast<AllocBlock*>(address) - 1;
  if (block->prev != nullptr) block->prev->next = block->next;
  else reader->m_pBlocks = block->next;
  if (block->next != nullptr) block->next->prev = block->prev;
  std::free(block);
}

bool ZipReader::openEntry(int index) {
  if (m_pSource == nullptr || index < 0 || index >= entryCount() || m_bEntryOpen) return false;
  m_current = m_entries[static_cast<size_t>(index)];
  if (!m_readBuffer) m_readBuffer.reset(new uint8_t[kReadBufferSize]);

  uint64_t position = static_cast<uint64_t>(m_current.localHeaderOffset) + m_nBytesBefore;
  uint8_t h[kLocalHeaderSize];
  seekTo(position);
  readExact(h, sizeof h);
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
  seekTo(position);
  m_localExtra.resize(extraLength);
  readExact(m_localExtra.data(), extraLength);
  position += extraLength;

  uint64_t dataSize = m_current.compressedSize;
  if (m_current.isEncrypted()) {
    if (m_password.empty()) throwEntry(CZipException::kBadPassword);
    if (dataSize < kEncryptionHeaderSize) throwEntry(CZipException::kDamaged);
    uint8_t header[kEncryptionHeaderSize];
    readExact(header, sizeof header);
    m_keys.init(m_password.data(), m_password.size());
    m_keys.decrypt(header, sizeof header);
    uint8_t check = m_current.hasDataDescriptor() ? static_cast<uint8_t>(m_current.dosTime >> 8)
                                                  : static_cast<uint8_t>(m_current.crc32 >> 24);
    if (header[11] != check) throwEntry(CZipException::kBadPassword);
    dataSize -= kEncryptionHeaderSize;
    position += kEncryptionHeaderSize;
  }

  if (m_current.method == 8) {
    std::memset(&m_inflate, 0, sizeof m_inflate);
    m_inflate.zalloc = &ZipReader::ZAlloc;
    m_inflate.zfree = &ZipReader::ZFree;
    m_inflate.opaque = this;
    int rc = inflateInit2(&m_inflate, -MAX_WBITS);
    if (rc != Z_OK) {
      releaseEntry();
      throwEntry(CZipException::ZlibErrorToCause(rc));
    }
    m_bInflateReady = true;
  }

  m_nDataStart = position;
  m_nCompressedLeft = dataSize;
  m_nUncompressedLeft = m_current.uncompressedSize;
  m_nCrc = 0;
  m_nInputPos = m_nInputEnd = 0;
  m_bStreamEnded = false;
  m_bEntryOpen = true;
  return true;
}

void ZipReader::fillInput() {
  size_t piece = static_cast<size_t>(std::min<uint64_t>(kReadBufferSize, m_nCompressedLeft));
  readExact(m_readBuffer.get(), piece);
  if (m_current.isEncrypted()) DecryptFast(m_keys, m_readBuffer.get(), piece);
  m_nCompressedLeft -= piece;
  m_nInputPos = 0;
  m_nInputEnd = piece;
}

size_t ZipReader::readEntry(void* buf, size_t n) {
  if (!m_bEntryOpen || m_bStreamEnded) return 0;
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

int ZipReader::setTimeAndAttributes(const std::string& path) const {
  std::tm t{};
  t.tm_year = ((m_current.dosDate >> 9) & 0x7F) + 80;
  t.tm_mon = ((m_current.dosDate >> 5) & 0x0F) - 1;
  t.tm_mday = m_current.dosDate & 0x1F;
  t.tm_hour = (m_current.dosTime >> 11) & 0x1F;
  t.tm_min = (m_current.dosTime >> 5) & 0x3F;
  t.tm_sec = (m_current.dosTime & 0x1F) * 2;
  t.tm_isdst = -1;  // local time, daylight saving as the system decides
  std::time_t now = std::time(nullptr);
  std::time_t modified = std::mktime(&t);
  if (modified == static_cast<std::time_t>(-1)) modified = now;
  if (!SetFileTimesUnix(path, now, modified)) return -2;
  if (!SetFileAttributeBits(path, AttributesToSet(m_current.systemAttributes()))) return -2;
  return 1;
}

int ZipReader::closeEntry(const std::string& targetPath) {
  if (!m_bEntryOpen) return -1;
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
  if (!targetPath.empty() && setTimeAndAttributes(targetPath) != 1) result = -2;

  if (m_current.hasDataDescriptor()) {
    // The descriptor follows the whole entry data, which the inflater need not have
    // read to its last byte (the end-of-block code may sit in a piece of its own).
    uint64_t dataEnd = m_nDataStart + m_current.compressedSize -
                       (m_current.isEncrypted() ? kEncryptionHeaderSize : 0);
    uint8_t d[12];
    seekTo(dataEnd);
    readExact(d, 4);
    if (LoadLE32(d) != kDescriptorSignature) seekTo(dataEnd);  // the signature is optional
    readExact(d, 12);
    if (LoadLE32(d) != m_current.crc32 || LoadLE32(d + 4) != m_current.compressedSize ||
        LoadLE32(d + 8) != m_current.uncompressedSize)
      throwEntry(CZipException::kDamaged);
  }
  releaseEntry();
  return result;
}

void ZipReader::releaseEntry() {
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
  m_bEntryOpen = false;
}

void ZipReader::releaseAll() {
  releaseEntry();
  m_entries.clear();
  m_comment.clear();
  m_pSource = nullptr;
  m_nThisDisk = m_nDirectoryDisk = m_nEntriesOnDisk = m_nTotalEntries = 0;
  m_nDirectorySize = m_nDirectoryOffset = 0;
  m_nEndRecordPosition = m_nBytesBefore = 0;
}

void ZipReader::close() {
  if (m_bEntryOpen) {
    try {
      closeEntry();
    } catch (...) {
      releaseAll();
      throw;
    }
  }
  releaseAll();
}

// ---------------------------------------------------------------------------------
// Extraction

bool ZipReader::extractEntry(int index, const std::string& targetFolder, bool keepFolders,
                             const char* newName, unsigned bufferSize) {
  if (bufferSize == 0 && targetFolder.empty()) return false;
  if (m_pSource == nullptr || index < 0 || index >= entryCount() || m_bEntryOpen) return false;
  const std::string path = targetPath(index, targetFolder, keepFolders, newName);
  if (path.empty()) return false;
  const ZipEntryInfo& info = m_entries[static_cast<size_t>(index)];

  if (info.isDirectory()) {
    CreateFolders(path);
    SetFileAttributeBits(path, AttributesToSet(info.systemAttributes()));
    return true;
  }
  if (bufferSize == 0) bufferSize = kReadBufferSize;

  // Every archive error of opening (password included) comes before any file exists.
  if (!openEntry(index)) return false;

  size_t cut = path.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0) CreateFolders(path.substr(0, cut));

  auto fileError = [&](const char* what) {
    int error = static_cast<int>(zipplatform::LastSystemError());
    if (error == 0) error = errno;
    releaseEntry();  // nothing of the entry is worth checking after a file error
    throw FileException(path, std::string(what) + path, error);
  };

  File out;
  if (!out.open(path, File::Mode::CreateWrite)) fileError("cannot create ");
  std::vector<uint8_t> buffer(bufferSize);
  for (;;) {
    size_t n = readEntry(buffer.data(), buffer.size());
    if (n > 0 && !out.write(buffer.data(), n)) fileError("cannot write ");
    if (n < buffer.size()) break;
  }
  if (!out.close()) fileError("cannot write ");
  return closeEntry(path) == 1;
}

}  // namespace vx
