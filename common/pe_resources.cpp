// The PE resource reader. All input goes through a ByteSource whose read() refuses
// any range that is not wholly inside the input, so the parser never trusts a count
// or an offset from the file.
#include "common/pe_resources.h"
#include "common/byte_order.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

#include "common/file.h"

namespace vx {

namespace {

constexpr uint16_t kDosMagic = 0x5A4D;         // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint16_t kLanguageEnglishUs = 1033;
// A directory holds at most this many entries per level; far beyond any real file,
// it keeps a damaged count from becoming a long loop.
constexpr uint32_t kMaxEntriesPerDirectory = 0x10000;

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Reads exactly n bytes at offset; false if the range is not wholly in the input.
  virtual bool read(uint64_t offset, void* buf, size_t n) = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  uint64_t size() const override { return m_size; }
  bool read(uint64_t offset, void* buf, size_t n) override {
    if (offset > m_size || n > m_size - offset) return false;
    if (n) std::memcpy(buf, m_data + offset, n);
    return true;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
};

// Reads through a block of the file kept in memory: the headers and the directory
// tree are many small reads close together, each otherwise a seek and a read.
class FileSource : public ByteSource {
 public:
  // False, with "cannot open PATH" as the error, when the file cannot be opened.
  bool open(const std::string& path, std::string* error) {
    FileDescription d;
    if (!m_file.open(path, File::Mode::Read) || !m_file.describe(d)) {
      SetError(error, "cannot open " + path);
      return false;
    }
    m_size = d.size;
    return true;
  }
  uint64_t size() const override { return m_size; }
  bool read(uint64_t offset, void* buf, size_t n) override {
    if (offset > m_size || n > m_size - offset) return false;
    if (n == 0) return true;
    if (offset < m_blockAt || offset + n > m_blockAt + m_block.size()) {
      if (n > kBlockSize) return readDirect(offset, buf, n);
      m_block.resize(static_cast<size_t>(std::min<uint64_t>(kBlockSize, m_size - offset)));
      m_blockAt = offset;
      if (!readDirect(offset, m_block.data(), m_block.size())) {
        m_block.clear();
        return false;
      }
    }
    std::memcpy(buf, m_block.data() + (offset - m_blockAt), n);
    return true;
  }

 private:
  static constexpr size_t kBlockSize = 16 * 1024;
  bool readDirect(uint64_t offset, void* buf, size_t n) {
    return m_file.seek(offset) && m_file.readFully(buf, n) == static_cast<long long>(n);
  }
  File m_file;
  uint64_t m_size = 0;
  std::vector<uint8_t> m_block;
  uint64_t m_blockAt = 0;
};

// The fields of the optional header at `opt` that the reader and the updater use.
bool ParseOptionalHeader(const std::vector<uint8_t>& opt, PeHeaders& h, std::string* error) {
  using namespace pe;
  uint16_t magic = LoadLE16(opt.data());
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
    SetError(error, "unknown PE optional header format");
    return false;
  }
  h.pe32Plus = magic == kMagicPe32Plus;
  size_t directoriesAt = h.pe32Plus ? kDataDirectoriesPe32Plus : kDataDirectoriesPe32;
  if (opt.size() < directoriesAt) {
    SetError(error, "truncated PE optional header");
    return false;
  }
  h.sizeOfInitializedData = LoadLE32(&opt[kSizeOfInitializedDataField]);
  h.sectionAlignment = LoadLE32(&opt[kSectionAlignmentField]);
  h.fileAlignment = LoadLE32(&opt[kFileAlignmentField]);
  h.sizeOfImage = LoadLE32(&opt[kSizeOfImageField]);
  h.sizeOfHeaders = LoadLE32(&opt[kSizeOfHeadersField]);
  h.checkSum = LoadLE32(&opt[kCheckSumField]);
  h.numberOfRvaAndSizes = LoadLE32(&opt[directoriesAt - 4]);
  size_t directoryCount =
      std::min<size_t>(h.numberOfRvaAndSizes, (opt.size() - directoriesAt) / kDataDirectoryEntrySize);
  auto directory = [&](unsigned index) { return &opt[directoriesAt + kDataDirectoryEntrySize * index]; };
  if (directoryCount > kResourceDirectory) {
    h.resourceRva = LoadLE32(directory(kResourceDirectory));
    h.resourceSize = LoadLE32(directory(kResourceDirectory) + 4);
  }
  if (directoryCount > kCertificateDirectory) {
    h.certificateOffset = LoadLE32(directory(kCertificateDirectory));
    h.certificateSize = LoadLE32(directory(kCertificateDirectory) + 4);
  }
  return true;
}

// The section table, and which section holds the resource directory.
bool ParseSectionTable(ByteSource& src, uint16_t sectionCount, PeHeaders& h, std::string* error) {
  using namespace pe;
  std::vector<uint8_t> table(size_t(sectionCount) * kSectionHeaderSize);
  if (!src.read(h.sectionTableOffset, table.data(), table.size())) {
    SetError(error, "truncated PE section table");
    return false;
  }
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const uint8_t* s = &table[size_t(i) * kSectionHeaderSize];
    PeSection sec;
    sec.name.assign(reinterpret_cast<const char*>(s),
                    strnlen(reinterpret_cast<const char*>(s), kSectionNameSize));
    sec.virtualSize = LoadLE32(s + kSectionVirtualSizeField);
    sec.virtualAddress = LoadLE32(s + kSectionVirtualAddressField);
    sec.sizeOfRawData = LoadLE32(s + kSectionSizeOfRawDataField);
    sec.pointerToRawData = LoadLE32(s + kSectionPointerToRawDataField);
    sec.characteristics = LoadLE32(s + kSectionCharacteristicsField);
    h.sections.push_back(sec);
  }
  if (h.resourceRva == 0) return true;
  for (size_t i = 0; i < h.sections.size(); ++i) {
    const PeSection& s = h.sections[i];
    uint64_t span = std::max(s.virtualSize, s.sizeOfRawData);
    if (h.resourceRva >= s.virtualAddress && h.resourceRva - uint64_t(s.virtualAddress) < span) {
      h.resourceSection = static_cast<int>(i);
      return true;
    }
  }
  SetError(error, "damaged resource directory (its address is in no section)");
  return false;
}

// The DOS header, the signature and file header, the optional header and the section
// table.
bool ParseHeaders(ByteSource& src, PeHeaders& h, std::string* error) {
  using namespace pe;
  h = PeHeaders();
  h.fileSize = src.size();
  uint8_t dos[64];
  if (!src.read(0, dos, sizeof dos) || LoadLE16(dos) != kDosMagic) {
    SetError(error, "not a Windows executable (no MZ header)");
    return false;
  }
  h.peOffset = LoadLE32(dos + kDosPeOffsetField);
  uint8_t coff[kSignatureAndFileHeaderSize];
  if (!src.read(h.peOffset, coff, sizeof coff) || LoadLE32(coff) != kPeSignature) {
    SetError(error, "not a PE executable (no PE signature)");
    return false;
  }
  uint16_t sectionCount = LoadLE16(coff + kNumberOfSectionsField);
  h.pointerToSymbolTable = LoadLE32(coff + kPointerToSymbolTableField);
  h.optionalHeaderSize = LoadLE16(coff + kSizeOfOptionalHeaderField);
  h.optionalHeaderOffset = h.peOffset + kSignatureAndFileHeaderSize;
  h.sectionTableOffset = h.optionalHeaderOffset + h.optionalHeaderSize;

  std::vector<uint8_t> opt(h.optionalHeaderSize);
  if (h.optionalHeaderSize < 2 || !src.read(h.optionalHeaderOffset, opt.data(), opt.size())) {
    SetError(error, "truncated PE optional header");
    return false;
  }
  return ParseOptionalHeader(opt, h, error) && ParseSectionTable(src, sectionCount, h, error);
}

// Walks the type -> name -> language tree. Offsets in the tree are relative to the
// directory's start; every structure must lie in the raw data of the section that
// holds the directory.
class TreeWalker {
 public:
  TreeWalker(ByteSource& src, const PeHeaders& h, std::vector<PeResource>& out)
      : m_src(src), m_headers(h), m_out(out) {}

  bool walk(std::string* error) {
    const PeSection& s = m_headers.sections[m_headers.resourceSection];
    uint32_t inSection = m_headers.resourceRva - s.virtualAddress;
    if (inSection >= s.sizeOfRawData) return fail(error, "resource directory lies outside the file");
    m_base = uint64_t(s.pointerToRawData) + inSection;
    m_limit =
        std::min<uint64_t>(s.sizeOfRawData - inSection, m_src.size() > m_base ? m_src.size() - m_base : 0);
    if (m_limit < pe::kResourceTableSize) return fail(error, "damaged resource directory (truncated)");
    return directory(0, 0, nullptr, nullptr, error);
  }

 private:
  bool fail(std::string* error, const char* text) {
    SetError(error, text);
    return false;
  }
  bool readRel(uint64_t rel, void* buf, size_t n) {
    if (rel > m_limit || n > m_limit - rel) return false;
    return m_src.read(m_base + rel, buf, n);
  }

  bool readName(uint32_t rel, std::string& name) {
    uint8_t len[2];
    if (!readRel(rel, len, 2)) return false;
    size_t count = LoadLE16(len);
    std::vector<uint8_t> raw(count * 2);
    if (!readRel(uint64_t(rel) + 2, raw.data(), raw.size())) return false;
    std::u16string text(count, u'\0');
    for (size_t i = 0; i < count; ++i) text[i] = static_cast<char16_t>(LoadLE16(&raw[i * 2]));
    name = Utf16ToUtf8(text);
    return true;
  }

  bool directory(uint32_t rel, int level, const ResourceId* type, const ResourceId* name,
                 std::string* error) {
    if (!m_visited.insert(rel).second)
      return fail(error, "damaged resource directory (a directory is reached twice)");
    uint8_t head[pe::kResourceTableSize];
    if (!readRel(rel, head, sizeof head)) return fail(error, "damaged resource directory (truncated)");
    uint32_t count =
        uint32_t(LoadLE16(head + pe::kResourceNamedCountField)) + LoadLE16(head + pe::kResourceIdCountField);
    if (count > kMaxEntriesPerDirectory) return fail(error, "damaged resource directory (entry count)");
    std::vector<uint8_t> entries(size_t(count) * pe::kResourceEntrySize);
    if (!readRel(uint64_t(rel) + pe::kResourceTableSize, entries.data(), entries.size()))
      return fail(error, "damaged resource directory (entries run past the section)");
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t nameField = LoadLE32(&entries[size_t(i) * pe::kResourceEntrySize]);
      uint32_t target = LoadLE32(&entries[size_t(i) * pe::kResourceEntrySize + 4]);
      ResourceId id(uint16_t(0));
      if (nameField & pe::kResourceSubdirectoryBit) {
        std::string text;
        if (!readName(nameField & ~pe::kResourceSubdirectoryBit, text))
          return fail(error, "damaged resource directory (a name lies outside the section)");
        // Taken literally: a stored name that looks like "#123" is still a name.
        id = ResourceId::Literal(text);
      } else {
        if (nameField > 0xFFFF) return fail(error, "damaged resource directory (an id is out of range)");
        id = ResourceId(static_cast<uint16_t>(nameField));
      }
      bool isDirectory = (target & pe::kResourceSubdirectoryBit) != 0;
      if (level < 2) {
        if (!isDirectory) return fail(error, "damaged resource directory (data above the language level)");
        if (!directory(target & ~pe::kResourceSubdirectoryBit, level + 1, level == 0 ? &id : type,
                       level == 1 ? &id : name, error))
          return false;
        continue;
      }
      if (isDirectory) return fail(error, "damaged resource directory (more than three levels)");
      if (id.isName()) return fail(error, "damaged resource directory (a language is a name)");
      uint8_t data[pe::kResourceDataEntrySize];
      if (!readRel(target, data, sizeof data))
        return fail(error, "damaged resource directory (a data entry lies outside the section)");
      PeResource r;
      r.type = *type;
      r.name = *name;
      r.language = id.id();
      r.dataRva = LoadLE32(data);
      r.size = LoadLE32(data + 4);
      r.codePage = LoadLE32(data + 8);
      if (!m_headers.rvaToFileOffset(r.dataRva, r.size, r.fileOffset) || r.fileOffset + r.size > m_src.size())
        return fail(error, "damaged resource directory (resource data lies outside the file)");
      m_out.push_back(r);
    }
    return true;
  }

  ByteSource& m_src;
  const PeHeaders& m_headers;
  std::vector<PeResource>& m_out;
  uint64_t m_base = 0;
  uint64_t m_limit = 0;
  std::set<uint32_t> m_visited;
};

bool ParseImage(ByteSource& src, PeHeaders& headers, std::vector<PeResource>& out, std::string* error) {
  out.clear();
  if (!ParseHeaders(src, headers, error)) return false;
  if (headers.resourceRva == 0) return true;
  TreeWalker walker(src, headers, out);
  if (!walker.walk(error)) {
    out.clear();
    // A directory cut short by the end of the file is a truncated file, not a damaged one.
    for (const PeSection& s : headers.sections)
      if (s.sizeOfRawData && uint64_t(s.pointerToRawData) + s.sizeOfRawData > src.size()) {
        SetError(error, "truncated file (section " + s.name + " runs past its end)");
        break;
      }
    return false;
  }
  return true;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

// ---- ResourceId -------------------------------------------------------------------

ResourceId::ResourceId(uint16_t id) : m_nId(id) {}
ResourceId::ResourceId(const char* name) { setName(name ? name : ""); }
ResourceId::ResourceId(const std::string& name) { setName(name); }

void ResourceId::setName(const std::string& name) {
  if (name.size() > 1 && name.size() <= 6 && name[0] == '#' &&
      std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    unsigned long value = std::stoul(name.substr(1));
    if (value <= 0xFFFF) {
      m_bIsName = false;
      m_nId = static_cast<uint16_t>(value);
      return;
    }
  }
  m_bIsName = true;
  m_strName = name;
}

ResourceId ResourceId::Literal(const std::string& name) {
  ResourceId r(uint16_t(0));
  r.m_bIsName = true;
  r.m_strName = name;
  return r;
}

std::string ResourceId::toString() const { return m_bIsName ? m_strName : std::to_string(m_nId); }

bool operator==(const ResourceId& a, const ResourceId& b) {
  if (a.m_bIsName != b.m_bIsName) return false;
  if (!a.m_bIsName) return a.m_nId == b.m_nId;
  if (a.m_strName.size() != b.m_strName.size()) return false;
  for (size_t i = 0; i < a.m_strName.size(); ++i)
    if (AsciiUpper(a.m_strName[i]) != AsciiUpper(b.m_strName[i])) return false;
  return true;
}

bool operator<(const ResourceId& a, const ResourceId& b) {
  if (a.m_bIsName != b.m_bIsName) return a.m_bIsName;
  if (!a.m_bIsName) return a.m_nId < b.m_nId;
  std::u16string x = Utf8ToUtf16(a.m_strName), y = Utf8ToUtf16(b.m_strName);
  for (auto& c : x)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  for (auto& c : y)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return x < y;
}

// ---- PeHeaders -------------------------------------------------------------------

uint64_t PeHeaders::endOfSections() const {
  uint64_t end = sizeOfHeaders;
  for (const PeSection& s : sections)
    if (s.sizeOfRawData) end = std::max<uint64_t>(end, uint64_t(s.pointerToRawData) + s.sizeOfRawData);
  return end;
}

bool PeHeaders::rvaToFileOffset(uint32_t rva, uint32_t size, uint64_t& offset) const {
  for (const PeSection& s : sections) {
    if (rva < s.virtualAddress) continue;
    uint64_t in = uint64_t(rva) - s.virtualAddress;
    if (in + size <= s.sizeOfRawData) {
      offset = uint64_t(s.pointerToRawData) + in;
      return true;
    }
  }
  return false;
}

// ---- Reading -----------------------------------------------------------------------

bool ParsePeImage(const uint8_t* data, size_t size, PeHeaders& headers, std::vector<PeResource>& out,
                  std::string* error) {
  MemorySource src(data, size);
  return ParseImage(src, headers, out, error);
}

bool ParsePeResources(const uint8_t* data, size_t size, std::vector<PeResource>& out, std::string* error) {
  PeHeaders headers;
  return ParsePeImage(data, size, headers, out, error);
}

bool ReadPeImage(const std::string& path, PeHeaders& headers, std::vector<PeResource>& out,
                 std::string* error) {
  out.clear();
  FileSource src;
  return src.open(path, error) && ParseImage(src, headers, out, error);
}

bool ReadPeResources(const std::string& path, std::vector<PeResource>& out, std::string* error) {
  PeHeaders headers;
  return ReadPeImage(path, headers, out, error);
}

const PeResource* FindPeResource(const std::vector<PeResource>& all, const ResourceId& type,
                                 const ResourceId& name) {
  const PeResource* any = nullptr;
  for (const PeResource& r : all) {
    if (r.type != type || r.name != name) continue;
    if (r.language == kLanguageEnglishUs) return &r;
    if (!any) any = &r;
  }
  return any;
}

bool ReadPeResourceData(const std::string& path, const PeResource& r, std::vector<uint8_t>& out,
                        std::string* error) {
  out.clear();
  FileSource src;
  if (!src.open(path, error)) return false;
  std::vector<uint8_t> data;
  if (r.fileOffset > src.size() || r.size > src.size() - r.fileOffset) {
    SetError(error, "resource " + r.type.toString() + "/" + r.name.toString() + " lies outside " + path);
    return false;
  }
  data.resize(r.size);
  if (!src.read(r.fileOffset, data.data(), data.size())) {
    SetError(error, "cannot read " + path);
    return false;
  }
  out.swap(data);
  return true;
}

// ---- Checksum ----------------------------------------------------------------------

void PeChecksumAccumulator::addWord(uint32_t word, uint64_t at) {
  // The checksum field itself counts as zero.
  if (at + 2 > m_nSkipAt && at < uint64_t(m_nSkipAt) + 4) {
    uint32_t lo = (at >= m_nSkipAt) ? 0 : (word & 0xFF);
    uint32_t hi = (at + 1 >= m_nSkipAt && at + 1 < uint64_t(m_nSkipAt) + 4) ? 0 : (word & 0xFF00);
    word = lo | hi;
  }
  m_nSum += word;
  m_nSum = (m_nSum & 0xFFFF) + (m_nSum >> 16);
}

void PeChecksumAccumulator::add(const uint8_t* data, size_t size) {
  size_t i = 0;
  if (m_nPending >= 0 && size > 0) {
    addWord(uint32_t(m_nPending) | (uint32_t(data[0]) << 8), m_nLength - 1);
    m_nPending = -1;
    ++m_nLength;
    i = 1;
  }
  for (; i + 1 < size; i += 2, m_nLength += 2) addWord(data[i] | (uint32_t(data[i + 1]) << 8), m_nLength);
  if (i < size) {
    m_nPending = data[i];
    ++m_nLength;
  }
}

uint32_t PeChecksumAccumulator::finish() const {
  PeChecksumAccumulator last = *this;
  if (last.m_nPending >= 0) last.addWord(uint32_t(last.m_nPending), last.m_nLength - 1);
  uint32_t sum = (last.m_nSum & 0xFFFF) + (last.m_nSum >> 16);
  return static_cast<uint32_t>(sum + last.m_nLength);
}

uint32_t PeChecksum(const uint8_t* data, size_t size, uint32_t checkSumOffset) {
  PeChecksumAccumulator acc(checkSumOffset);
  acc.add(data, size);
  return acc.finish();
}

bool PeChecksumOfFile(const std::string& path, uint32_t checkSumOffset, uint32_t& out, std::string* error) {
  File f;
  if (!f.open(path, File::Mode::Read)) {
    SetError(error, "cannot open " + path);
    return false;
  }
  std::vector<uint8_t> block(1 << 16);
  PeChecksumAccumulator acc(checkSumOffset);
  for (;;) {
    long long got = f.read(block.data(), block.size());
    if (got < 0) {
      SetError(error, "cannot read " + path);
      return false;
    }
    if (got == 0) break;
    acc.add(block.data(), static_cast<size_t>(got));
  }
  out = acc.finish();
  return true;
}

}  // namespace vx
