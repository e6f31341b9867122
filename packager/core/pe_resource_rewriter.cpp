#include "packager/core/pe_resource_rewriter.h"
#include "common/byte_order.h"

#include <algorithm>
#include <cstring>

#include "common/random.h"
#include "packager/core/pe_signature.h"

namespace vx {

namespace {

constexpr uint32_t kSubdirectoryBit = 0x80000000u;
constexpr uint32_t kResourceSectionFlags = 0x40000040u;  // initialised data, readable
constexpr uint64_t kMaxImageSize = 0x80000000u;
constexpr size_t kCopyBlock = 1 << 20;

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }
uint64_t AlignUp(uint64_t v, uint32_t a) { return (v + a - 1) / a * a; }


// Names are stored upper-case, as the resource compiler and the Windows update
// functions store them; lookups compare without regard to case anyway.
std::u16string StoredName(const ResourceId& id) {
  std::u16string text = Utf8ToUtf16(id.name());
  for (auto& c : text)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return text;
}

// Writes sequentially to the new file and keeps the checksum of what was written.
class Output {
 public:
  explicit Output(uint32_t checkSumOffset) : sum_(checkSumOffset) {}
  bool open(const std::string& path) { return file_.open(path, File::Mode::CreateReadWrite); }
  bool write(const uint8_t* p, size_t n) {
    sum_.add(p, n);
    return file_.write(p, n);
  }
  bool zeros(uint64_t n) {
    static const uint8_t block[4096] = {};
    while (n > 0) {
      size_t k = static_cast<size_t>(std::min<uint64_t>(n, sizeof block));
      if (!write(block, k)) return false;
      n -= k;
    }
    return true;
  }
  // Copies [offset, offset + n) of `from` into the output.
  bool copy(File& from, uint64_t offset, uint64_t n, std::vector<uint8_t>& buffer) {
    if (n == 0) return true;
    if (!from.seek(offset)) return false;
    while (n > 0) {
      size_t want = static_cast<size_t>(std::min<uint64_t>(n, buffer.size()));
      long long got = from.read(buffer.data(), want);
      if (got <= 0) return false;
      if (!write(buffer.data(), static_cast<size_t>(got))) return false;
      n -= static_cast<uint64_t>(got);
    }
    return true;
  }
  uint64_t position() const { return sum_.length(); }
  uint32_t checksum() const { return sum_.finish(); }
  File& file() { return file_; }

 private:
  File file_;
  PeChecksumAccumulator sum_;
};

}  // namespace

PeResourceRewriter::PeResourceRewriter() = default;

PeResourceRewriter::~PeResourceRewriter() { reset(); }

bool PeResourceRewriter::fail(const std::string& text) {
  m_strError = text;
  return false;
}

void PeResourceRewriter::reset() {
  m_bActive = false;
  m_entries.clear();
  if (m_scratch.isOpen()) m_scratch.close();
  if (!m_strScratchPath.empty()) DeleteFilePath(m_strScratchPath);
  m_strScratchPath.clear();
  m_nScratchSize = 0;
  std::vector<uint8_t>().swap(m_small);
}

bool PeResourceRewriter::begin(const std::string& exePath, bool deleteExistingResources) {
  reset();
  m_strError.clear();
  m_bSignatureRemoved = false;
  m_strPath = exePath;
  std::vector<PeResource> resources;
  std::string why;
  if (!ReadPeImage(exePath, m_headers, resources, &why)) return fail(exePath + ": " + why);
  const PeHeaders& h = m_headers;
  if (!IsPowerOfTwo(h.fileAlignment) || h.fileAlignment > 0x10000 || !IsPowerOfTwo(h.sectionAlignment) ||
      h.sectionAlignment < h.fileAlignment)
    return fail(exePath + ": damaged PE headers (section or file alignment)");
  if (h.sizeOfHeaders > h.fileSize || uint64_t(h.sectionTableOffset) + 40 * h.sections.size() > h.sizeOfHeaders)
    return fail(exePath + ": truncated or damaged PE headers");
  if (h.numberOfRvaAndSizes < 3 || h.dataDirectoryOffset(3) > uint64_t(h.optionalHeaderOffset) + h.optionalHeaderSize)
    return fail(exePath + ": the PE headers have no resource directory entry");
  for (const PeSection& s : h.sections)
    if (s.sizeOfRawData && uint64_t(s.pointerToRawData) + s.sizeOfRawData > h.fileSize)
      return fail(exePath + ": truncated file (section " + s.name + " runs past its end)");
  for (const PeResource& r : resources)
    m_entries.push_back({r.type, r.name, r.language, r.codePage, Source::Original, r.fileOffset, r.size});
  if (deleteExistingResources) m_entries.clear();
  m_bActive = true;
  return true;
}

bool PeResourceRewriter::update(const ResourceId& type, const ResourceId& name, uint16_t language,
                                const void* data, size_t size) {
  if (!m_bActive) return fail("no resource update in progress");
  if (!data && size) return fail("resource " + type.toString() + "/" + name.toString() + ": no data");
  if (size > kMaxPeResourceSize)
    return fail("resource " + type.toString() + "/" + name.toString() + " is too large for an executable");
  m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                 [&](const Entry& e) {
                                   return e.type == type && e.name == name && e.language == language;
                                 }),
                  m_entries.end());
  if (!data) return true;  // deleted
  if (size <= kSmallResource) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    m_entries.push_back({type, name, language, 0, Source::Memory, m_small.size(), static_cast<uint32_t>(size)});
    m_small.insert(m_small.end(), bytes, bytes + size);
    return true;
  }
  if (!m_scratch.isOpen()) {
    m_strScratchPath = m_strPath + ".vx-scratch-" + RandomHex(6);
    if (!m_scratch.open(m_strScratchPath, File::Mode::CreateReadWrite)) {
      m_strScratchPath.clear();
      return fail("cannot create a scratch file beside " + m_strPath);
    }
  }
  if (!m_scratch.seek(m_nScratchSize) || !m_scratch.write(data, size))
    return fail("cannot write a scratch file beside " + m_strPath);
  m_entries.push_back({type, name, language, 0, Source::Scratch, m_nScratchSize, static_cast<uint32_t>(size)});
  m_nScratchSize += size;
  return true;
}

bool PeResourceRewriter::end(bool discard) {
  if (!m_bActive) return fail("no resource update in progress");
  if (discard) {
    reset();
    return true;
  }
  std::string temp = m_strPath + ".vx-new-" + RandomHex(6);
  bool ok = writeNewFile(temp);
  if (ok && !MoveFileReplace(temp, m_strPath)) ok = fail("cannot replace " + m_strPath);
  if (!ok) DeleteFilePath(temp);
  m_bSignatureRemoved = ok && HasCertificateTable(m_headers);
  reset();
  return ok;
}

bool PeResourceRewriter::writeNewFile(const std::string& tempPath) {
  const PeHeaders& h = m_headers;

  // The tree in directory order: types, then names within a type, then languages.
  std::vector<size_t> order(m_entries.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const Entry& x = m_entries[a];
    const Entry& y = m_entries[b];
    if (x.type != y.type) return x.type < y.type;
    if (x.name != y.name) return x.name < y.name;
    return x.language < y.language;
  });
  struct NameNode { size_t first, count; };
  struct TypeNode { size_t firstName, nameCount; };
  std::vector<TypeNode> types;
  std::vector<NameNode> names;
  for (size_t k = 0; k < order.size(); ++k) {
    const Entry& e = m_entries[order[k]];
    bool newType = k == 0 || m_entries[order[k - 1]].type != e.type;
    bool newName = newType || m_entries[order[k - 1]].name != e.name;
    if (newType) types.push_back({names.size(), 0});
    if (newName) {
      names.push_back({k, 0});
      types.back().nameCount++;
    }
    names.back().count++;
  }

  // Layout: directory tables (root, type level, name level), name strings, data
  // entries, then the data, each block on an 8-byte boundary.
  uint64_t directorySize = 16 + 8 * types.size() + 16 * types.size() + 8 * names.size() +
                           16 * names.size() + 8 * order.size();
  uint64_t stringsSize = 0;
  for (const TypeNode& t : types) {
    const Entry& first = m_entries[order[names[t.firstName].first]];
    if (first.type.isName()) stringsSize += 2 + 2 * StoredName(first.type).size();
    for (size_t n = t.firstName; n < t.firstName + t.nameCount; ++n) {
      const Entry& e = m_entries[order[names[n].first]];
      if (e.name.isName()) stringsSize += 2 + 2 * StoredName(e.name).size();
    }
  }
  uint64_t dataEntriesAt = AlignUp(directorySize + stringsSize, 8);
  uint64_t dataAt = dataEntriesAt + 16 * order.size();
  std::vector<uint64_t> dataOffset(order.size());
  uint64_t total = dataAt;
  for (size_t k = 0; k < order.size(); ++k) {
    total = AlignUp(total, 8);
    dataOffset[k] = total;
    total += m_entries[order[k]].size;
  }
  if (total > kMaxImageSize) return fail("the resources are too large for an executable");

  // Where the section goes: in place when the resource section is the last section of
  // the file and of the image and the directory starts it; otherwise a new last section.
  const size_t n = h.sections.size();
  uint64_t oldEnd = h.endOfSections();
  uint64_t imageEnd = h.sizeOfImage;
  for (const PeSection& s : h.sections)
    imageEnd = std::max<uint64_t>(imageEnd, uint64_t(s.virtualAddress) + std::max(s.virtualSize, s.sizeOfRawData));
  bool inPlace = false;
  size_t index = n;
  if (h.resourceSection >= 0) {
    const PeSection& s = h.sections[h.resourceSection];
    inPlace = h.resourceRva == s.virtualAddress && s.sizeOfRawData > 0 &&
              uint64_t(s.pointerToRawData) + s.sizeOfRawData == oldEnd && s.pointerToRawData >= h.sizeOfHeaders;
    for (size_t i = 0; inPlace && i < n; ++i)
      if (int(i) != h.resourceSection && h.sections[i].virtualAddress >= s.virtualAddress) inPlace = false;
    if (inPlace) index = static_cast<size_t>(h.resourceSection);
  }
  uint64_t newVa, newPtr, oldRaw = 0;
  uint64_t copyEnd;  // the original bytes up to here come before the section
  if (inPlace) {
    const PeSection& s = h.sections[index];
    newVa = s.virtualAddress;
    newPtr = s.pointerToRawData;
    oldRaw = s.sizeOfRawData;
    copyEnd = newPtr;
  } else {
    uint64_t tableEnd = uint64_t(h.sectionTableOffset) + 40 * (n + 1);
    bool room = n < 0xFFFF && tableEnd <= h.sizeOfHeaders;
    for (const PeSection& s : h.sections)
      if (s.sizeOfRawData && s.pointerToRawData < tableEnd) room = false;
    if (!room)
      return fail(m_strPath + ": the resource section is not the last section and the headers have no room for a new one");
    newVa = AlignUp(imageEnd, h.sectionAlignment);
    newPtr = AlignUp(oldEnd, h.fileAlignment);
    copyEnd = oldEnd;
  }
  uint64_t rawSize = AlignUp(total, h.fileAlignment);
  uint64_t newImageSize = AlignUp(newVa + total, h.sectionAlignment);
  if (!inPlace) newImageSize = std::max(newImageSize, AlignUp(imageEnd, h.sectionAlignment));
  if (newImageSize > kMaxImageSize) return fail("the resources would make the image too large");
  int64_t shift = int64_t(newPtr + rawSize) - int64_t(oldEnd);

  File original;
  if (!original.open(m_strPath, File::Mode::Read)) return fail("cannot open " + m_strPath);
  std::vector<uint8_t> buffer(kCopyBlock);

  // The headers with every field that depends on the new section.
  std::vector<uint8_t> head(h.sizeOfHeaders);
  if (!original.seek(0)) return fail("cannot read " + m_strPath);
  for (size_t filled = 0; filled < head.size();) {
    long long got = original.read(head.data() + filled, head.size() - filled);
    if (got <= 0) return fail("cannot read " + m_strPath);
    filled += static_cast<size_t>(got);
  }
  if (!inPlace) {
    const uint8_t* slot = &head[h.sectionTableOffset + 40 * n];
    if (std::any_of(slot, slot + 40, [](uint8_t b) { return b != 0; }))
      return fail(m_strPath + ": the resource section is not the last section and the headers have no room for a new one");
  }
  uint8_t* sec = &head[h.sectionTableOffset + 40 * index];
  if (!inPlace) {
    std::memcpy(sec, ".rsrc\0\0\0", 8);
    StoreLE32(sec + 36, kResourceSectionFlags);
    StoreLE16(&head[h.numberOfSectionsOffset()], static_cast<uint32_t>(n + 1));
  }
  StoreLE32(sec + 8, static_cast<uint32_t>(total));
  StoreLE32(sec + 12, static_cast<uint32_t>(newVa));
  StoreLE32(sec + 16, static_cast<uint32_t>(rawSize));
  StoreLE32(sec + 20, static_cast<uint32_t>(newPtr));
  StoreLE32(&head[h.sizeOfImageOffset()], static_cast<uint32_t>(newImageSize));
  int64_t initialised = int64_t(h.sizeOfInitializedData) + int64_t(rawSize) - int64_t(oldRaw);
  StoreLE32(&head[h.sizeOfInitializedDataOffset()], static_cast<uint32_t>(std::clamp<int64_t>(initialised, 0, 0xFFFFFFFF)));
  StoreLE32(&head[h.dataDirectoryOffset(2)], static_cast<uint32_t>(newVa));
  StoreLE32(&head[h.dataDirectoryOffset(2) + 4], static_cast<uint32_t>(total));
  // A signature no longer matches the changed file: its table is left out of the
  // appended data and its directory entry cleared. The rest of the appended data moves
  // with the end of the sections; so do the pointers into it.
  CertificateSpan dropped = CertificateTableSpan(h);
  if (dropped.begin == dropped.end) dropped.begin = dropped.end = h.fileSize;
  if (HasCertificateTable(h)) {
    StoreLE32(&head[h.dataDirectoryOffset(4)], 0);
    StoreLE32(&head[h.dataDirectoryOffset(4) + 4], 0);
  }
  auto moved = [&](uint64_t at) {
    return int64_t(at) + shift - (at >= dropped.end ? int64_t(dropped.end - dropped.begin) : 0);
  };
  if (h.pointerToSymbolTable && h.pointerToSymbolTable >= oldEnd && h.pointerToSymbolTableOffset() + 4 <= head.size())
    StoreLE32(&head[h.pointerToSymbolTableOffset()], static_cast<uint32_t>(moved(h.pointerToSymbolTable)));
  if (uint64_t(h.checkSumOffset()) + 4 <= head.size()) StoreLE32(&head[h.checkSumOffset()], 0);
  if (h.fileSize - oldEnd + newPtr + rawSize > 0xFFFFFFFFu) return fail("the executable would be too large");

  // The directory, strings and data entries of the new section.
  std::vector<uint8_t> dir(dataAt, 0);
  uint64_t typeDirAt = 16 + 8 * types.size();
  uint64_t nameDirAt = typeDirAt + 16 * types.size() + 8 * names.size();
  uint64_t stringAt = directorySize;
  auto putString = [&](const ResourceId& id) {
    uint64_t at = stringAt;
    std::u16string text = StoredName(id);
    StoreLE16(&dir[at], static_cast<uint32_t>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) StoreLE16(&dir[at + 2 + 2 * i], text[i]);
    stringAt += 2 + 2 * text.size();
    return kSubdirectoryBit | static_cast<uint32_t>(at);
  };
  auto putHeader = [&](uint64_t at, const std::vector<ResourceId>& ids) {
    uint32_t named = static_cast<uint32_t>(std::count_if(ids.begin(), ids.end(), [](const ResourceId& r) { return r.isName(); }));
    StoreLE16(&dir[at + 12], named);
    StoreLE16(&dir[at + 14], static_cast<uint32_t>(ids.size() - named));
  };
  std::vector<ResourceId> typeIds;
  for (const TypeNode& t : types) typeIds.push_back(m_entries[order[names[t.firstName].first]].type);
  putHeader(0, typeIds);
  uint64_t dataEntry = 0;
  for (size_t t = 0; t < types.size(); ++t) {
    const ResourceId& type = typeIds[t];
    StoreLE32(&dir[16 + 8 * t], type.isName() ? putString(type) : type.id());
    StoreLE32(&dir[16 + 8 * t + 4], kSubdirectoryBit | static_cast<uint32_t>(typeDirAt));
    std::vector<ResourceId> nameIds;
    for (size_t k = 0; k < types[t].nameCount; ++k)
      nameIds.push_back(m_entries[order[names[types[t].firstName + k].first]].name);
    putHeader(typeDirAt, nameIds);
    for (size_t k = 0; k < nameIds.size(); ++k) {
      const NameNode& node = names[types[t].firstName + k];
      uint8_t* e = &dir[typeDirAt + 16 + 8 * k];
      StoreLE32(e, nameIds[k].isName() ? putString(nameIds[k]) : nameIds[k].id());
      StoreLE32(e + 4, kSubdirectoryBit | static_cast<uint32_t>(nameDirAt));
      StoreLE16(&dir[nameDirAt + 14], static_cast<uint32_t>(node.count));
      for (size_t l = 0; l < node.count; ++l) {
        const Entry& entry = m_entries[order[node.first + l]];
        uint8_t* le = &dir[nameDirAt + 16 + 8 * l];
        StoreLE32(le, entry.language);
        uint64_t at = dataEntriesAt + 16 * dataEntry;
        StoreLE32(le + 4, static_cast<uint32_t>(at));
        StoreLE32(&dir[at], static_cast<uint32_t>(newVa + dataOffset[node.first + l]));
        StoreLE32(&dir[at + 4], entry.size);
        StoreLE32(&dir[at + 8], entry.codePage);
        ++dataEntry;
      }
      nameDirAt += 16 + 8 * node.count;
    }
    typeDirAt += 16 + 8 * nameIds.size();
  }

  // Write: headers, the sections before the resource section, the new section, and
  // whatever followed the old last section.
  Output out(h.checkSumOffset());
  if (!out.open(tempPath)) return fail("cannot create " + tempPath);
  bool ok = out.write(head.data(), head.size()) &&
            out.copy(original, h.sizeOfHeaders, copyEnd - h.sizeOfHeaders, buffer) &&
            out.zeros(newPtr - out.position()) && out.write(dir.data(), dir.size());
  for (size_t k = 0; ok && k < order.size(); ++k) {
    const Entry& e = m_entries[order[k]];
    ok = out.zeros(newPtr + dataOffset[k] - out.position()) &&
         (e.source == Source::Memory ? out.write(m_small.data() + e.offset, e.size)
                                     : out.copy(e.source == Source::Scratch ? m_scratch : original, e.offset, e.size,
                                                buffer));
  }
  ok = ok && out.zeros(newPtr + rawSize - out.position()) &&
       out.copy(original, oldEnd, dropped.begin - oldEnd, buffer) &&
       out.copy(original, dropped.end, h.fileSize - dropped.end, buffer);
  if (ok && h.checkSum != 0 && uint64_t(h.checkSumOffset()) + 4 <= head.size()) {
    uint8_t sum[4];
    StoreLE32(sum, out.checksum());
    ok = out.file().seek(h.checkSumOffset()) && out.file().write(sum, 4);
  }
  ok = out.file().close() && ok;
  if (!ok) return fail("cannot write " + tempPath);
  return true;
}

}  // namespace vx
