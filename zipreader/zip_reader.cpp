// ZipReader: the end record and the central directory, entry names and attributes,
// and writing the extracted files. One entry's checks, decryption and inflation are
// ZipEntryStream's (zip_entry_stream.cpp); several entries at once are
// zip_reader_parallel.cpp's.
#include "zipreader/zip_reader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/file_exception.h"
#include "common/system_text.h"
#include "common/utf.h"
#include "common/zip_format.h"
#include "zipreader/zip_entry_stream.h"
#include "zipreader/zip_platform.h"

namespace vx {
namespace {

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
  return (digit.size() == 1 &&
          ((digit[0] >= '0' && digit[0] <= '9') || digit == "\xB9" || digit == "\xB2" || digit == "\xB3")) ||
         digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

// Makes one path component a plain name: trailing dots and spaces go (Windows drops
// them anyway, so "a.txt." and "a.txt" are one file there). False when nothing usable
// remains: ".", "..", empty, a drive or stream (":"), control characters, device names.
bool MakeSafeComponent(std::string& component) {
  while (!component.empty() && (component.back() == '.' || component.back() == ' ')) component.pop_back();
  if (component.empty()) return false;
  for (char c : component) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || c == ':' || IsSeparator(c)) return false;
  }
  return !IsDeviceName(component);
}

// The entry's name as UTF-8 with the platform's separator. With flag bit 11 the
// stored bytes are UTF-8 already: a sequence that is not valid UTF-8 becomes U+FFFD,
// so that no stray bytes ever reach the file system. Without it the name is in the
// code page of the system that made it, as the platform reads such names.
void DecodeName(ZipEntryInfo& e) {
  const std::string stored(e.fileName.begin(), e.fileName.end());
  const std::string name = (e.flags & zip::kFlagUtf8) != 0 ? Utf16ToUtf8(Utf8ToUtf16(stored))
                                                           : LegacyTextToUtf8(stored, e.hostSystem() == 0);
  e.fileName.assign(name.begin(), name.end());
  for (uint8_t& c : e.fileName)
    if (c == '/') c = static_cast<uint8_t>(kPathSeparator);
}

}  // namespace

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
        if (externalAttributes & (1u << 30)) a |= 0x10;     // S_IFDIR
        if (!(externalAttributes & (1u << 23))) a |= 0x01;  // owner may not write
        if (!(externalAttributes & (1u << 22))) a |= 0x20;  // owner may not execute
        if (!(externalAttributes & (1u << 24))) a |= 0x02;  // owner may not read
        return a;
      }
      return externalAttributes;
    default: return endsInSeparator ? kFolderAttributes : kFileAttributes;
  }
}

// ---------------------------------------------------------------------------------
// Opening: the end record and the central directory

ZipReader::ZipReader() : m_stream(new ZipEntryStream) {}

ZipReader::~ZipReader() = default;

void ZipReader::throwArchive(int cause) const {
  throw CZipException(cause, m_pSource != nullptr ? m_pSource->name() : std::string());
}

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
  const uint64_t searched = std::min<uint64_t>(length, zip::kMaxCommentSize + zip::kEndRecordSize);
  std::vector<uint8_t> piece(kSearchBufferSize);
  uint64_t done = 0;
  for (;;) {
    uint64_t upTo = std::min<uint64_t>(done + kSearchBufferSize, searched);
    size_t n = static_cast<size_t>(upTo - done);
    seekTo(length - upTo);
    readExact(piece.data(), n);
    for (size_t i = n >= 4 ? n - 4 + 1 : 0; i-- > 0;) {
      if (LoadLE32(&piece[i]) == zip::kEndRecordSignature) {
        position = length - upTo + i;
        return;
      }
    }
    if (upTo >= searched) break;
    done = upTo - 3;  // overlap, so that a signature split across two pieces is found
  }
  throwArchive(CZipException::kNoEndRecord);
}

namespace {

// One central record's fixed fields; the lengths of its name, extra field and comment.
ZipEntryInfo CentralFields(const uint8_t* h, uint16_t& nameLength, uint16_t& extraLength,
                           uint16_t& commentLength) {
  using namespace zip::central;
  ZipEntryInfo e;
  e.signature = zip::Load(h, kSignature);
  e.versionMadeBy = zip::Load(h, kVersionMadeBy);
  e.versionNeeded = zip::Load(h, kVersionNeeded);
  e.flags = zip::Load(h, kFlags);
  e.method = zip::Load(h, kMethod);
  e.dosTime = zip::Load(h, kTime);
  e.dosDate = zip::Load(h, kDate);
  e.crc32 = zip::Load(h, kCrc);
  e.compressedSize = zip::Load(h, kCompressedSize);
  e.uncompressedSize = zip::Load(h, kUncompressedSize);
  nameLength = zip::Load(h, kNameLength);
  extraLength = zip::Load(h, kExtraLength);
  commentLength = zip::Load(h, kCommentLength);
  e.diskStart = zip::Load(h, kDiskStart);
  e.internalAttributes = zip::Load(h, kInternalAttributes);
  e.externalAttributes = zip::Load(h, kExternalAttributes);
  e.localHeaderOffset = zip::Load(h, kLocalHeaderOffset);
  return e;
}

}  // namespace

void ZipReader::readEndRecord() {
  uint8_t end[zip::kEndRecordSize];
  seekTo(m_nEndRecordPosition);
  readExact(end, sizeof end);
  m_nThisDisk = zip::Load(end, zip::end::kThisDisk);
  m_nDirectoryDisk = zip::Load(end, zip::end::kDirectoryDisk);
  m_nEntriesOnDisk = zip::Load(end, zip::end::kEntriesOnDisk);
  m_nTotalEntries = zip::Load(end, zip::end::kTotalEntries);
  m_nDirectorySize = zip::Load(end, zip::end::kDirectorySize);
  m_nDirectoryOffset = zip::Load(end, zip::end::kDirectoryOffset);
  const uint16_t commentLength = zip::Load(end, zip::end::kCommentLength);

  // Spanned archives are never written for packages; one that claims to be a later
  // volume cannot be read from this one block.
  if (m_nThisDisk != 0) throwArchive(CZipException::kDamaged);
  const uint64_t directoryEnd = static_cast<uint64_t>(m_nDirectoryOffset) + m_nDirectorySize;
  if (m_nEndRecordPosition < directoryEnd) throwArchive(CZipException::kDamaged);
  m_comment.resize(commentLength);
  readExact(m_comment.data(), commentLength);
  m_nBytesBefore = m_nEndRecordPosition - directoryEnd;
  if ((m_nDirectorySize == 0) != (m_nTotalEntries == 0)) throwArchive(CZipException::kDamaged);
}

ZipEntryInfo ZipReader::readCentralRecord() {
  uint8_t h[zip::kCentralHeaderSize];
  readExact(h, sizeof h);
  if (zip::Load(h, zip::central::kSignature) != zip::kCentralHeaderSignature)
    throwArchive(CZipException::kDamaged);
  uint16_t nameLength, extraLength, commentLength;
  ZipEntryInfo e = CentralFields(h, nameLength, extraLength, commentLength);
  // Each buffer is at most 65535 bytes and is filled from the archive before the next
  // one is made, so a damaged record cannot make the reader allocate more than the
  // archive holds.
  e.fileName.resize(nameLength);
  e.storedNameLength = nameLength;
  readExact(e.fileName.data(), nameLength);
  e.extraField.resize(extraLength);
  readExact(e.extraField.data(), extraLength);
  e.comment.resize(commentLength);
  readExact(e.comment.data(), commentLength);
  DecodeName(e);
  return e;
}

void ZipReader::readCentralDirectory() {
  readEndRecord();
  m_entries.clear();
  if (m_nDirectorySize != 0) {
    m_entries.reserve(m_nTotalEntries);
    seekTo(m_nDirectoryOffset + m_nBytesBefore);
    for (unsigned i = 0; i < m_nTotalEntries; ++i) m_entries.push_back(readCentralRecord());
  }

  // Indices follow the order of the data in the archive.
  std::stable_sort(m_entries.begin(), m_entries.end(), [](const ZipEntryInfo& a, const ZipEntryInfo& b) {
    return a.diskStart != b.diskStart ? a.diskStart < b.diskStart : a.localHeaderOffset < b.localHeaderOffset;
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
  if (m_stream->isOpen()) return false;
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
  std::string name = (newName != nullptr && *newName != '\0') ? std::string(newName)
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

bool ZipReader::isEntryOpen() const { return m_stream->isOpen(); }

bool ZipReader::openEntry(int index) {
  if (m_pSource == nullptr || index < 0 || index >= entryCount() || m_stream->isOpen()) return false;
  m_stream->open(*m_pSource, m_nBytesBefore, m_entries[static_cast<size_t>(index)], m_password);
  return true;
}

size_t ZipReader::readEntry(void* buf, size_t n) { return m_stream->read(buf, n); }

int ZipReader::closeEntry(const std::string& targetPath) { return m_stream->close(targetPath); }

void ZipReader::releaseAll() {
  m_stream->release();
  m_entries.clear();
  m_comment.clear();
  m_pSource = nullptr;
  m_nThisDisk = m_nDirectoryDisk = m_nEntriesOnDisk = m_nTotalEntries = 0;
  m_nDirectorySize = m_nDirectoryOffset = 0;
  m_nEndRecordPosition = m_nBytesBefore = 0;
}

void ZipReader::close() {
  if (m_stream->isOpen()) {
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

namespace {

// The folders of `folder` (itself included) that do not exist yet, outermost first.
std::vector<std::string> MissingFolders(const std::string& folder) {
  std::vector<std::string> missing;
  std::string at = folder;
  while (!at.empty() && !PathExists(at)) {
    missing.insert(missing.begin(), at);
    const size_t cut = at.find_last_of("\\/");
    if (cut == std::string::npos || cut == 0) break;
    at.erase(cut);
  }
  return missing;
}

}  // namespace

bool ZipReader::extractTo(ZipEntryStream& stream, int index, const std::string& path, unsigned bufferSize,
                          std::vector<uint8_t>& buffer, std::vector<std::string>* created) const {
  const ZipEntryInfo& info = m_entries[static_cast<size_t>(index)];
  if (info.isDirectory()) {
    if (created != nullptr) *created = MissingFolders(path);
    CreateFolders(path);
    SetFileAttributeBits(path, AttributesToSet(info.systemAttributes()));
    return true;
  }
  if (bufferSize == 0) bufferSize = kReadBufferSize;

  // Every archive error of opening (password included) comes before any file exists.
  stream.open(*m_pSource, m_nBytesBefore, info, m_password);

  size_t cut = path.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0) {
    const std::string folder = path.substr(0, cut);
    if (created != nullptr) *created = MissingFolders(folder);
    CreateFolders(folder);
  }

  auto fileError = [&](const char* what) {
    int error = static_cast<int>(zipplatform::LastSystemError());
    if (error == 0) error = errno;
    stream.release();  // nothing of the entry is worth checking after a file error
    throw FileException(path, std::string(what) + path, error);
  };

  const bool isNew = created != nullptr && !PathExists(path);
  File out;
  if (!out.open(path, File::Mode::CreateWrite)) fileError("cannot create ");
  if (isNew) created->push_back(path);
  if (buffer.size() != bufferSize) buffer.assign(bufferSize, 0);
  for (;;) {
    size_t n = stream.read(buffer.data(), buffer.size());
    if (n > 0 && !out.write(buffer.data(), n)) fileError("cannot write ");
    if (n < buffer.size()) break;
  }
  if (!out.close()) fileError("cannot write ");
  return stream.close(path) == 1;
}

bool ZipReader::extractEntry(int index, const std::string& targetFolder, bool keepFolders,
                             const char* newName, unsigned bufferSize) {
  if (bufferSize == 0 && targetFolder.empty()) return false;
  if (m_pSource == nullptr || index < 0 || index >= entryCount() || m_stream->isOpen()) return false;
  const std::string path = targetPath(index, targetFolder, keepFolders, newName);
  if (path.empty()) return false;
  std::vector<uint8_t> buffer;
  return extractTo(*m_stream, index, path, bufferSize, buffer, nullptr);
}

}  // namespace vx
