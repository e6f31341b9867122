#include "packager/core/pe_resource_rewriter.h"
#include "common/byte_order.h"

#include <algorithm>
#include <cstring>

#include "common/random.h"
#include "packager/core/pe_signature.h"

namespace vx {

namespace {

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
  explicit Output(uint32_t checkSumOffset) : m_sum(checkSumOffset) {}
  bool open(const std::string& path) { return m_file.open(path, File::Mode::CreateReadWrite); }
  bool write(const uint8_t* p, size_t n) {
    m_sum.add(p, n);
    return m_file.write(p, n);
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
  uint64_t position() const { return m_sum.length(); }
  uint32_t checksum() const { return m_sum.finish(); }
  File& file() { return m_file; }

 private:
  File m_file;
  PeChecksumAccumulator m_sum;
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
  if (h.sizeOfHeaders > h.fileSize || h.sectionHeaderOffset(h.sections.size()) > h.sizeOfHeaders)
    return fail(exePath + ": truncated or damaged PE headers");
  if (h.numberOfRvaAndSizes <= pe::kResourceDirectory ||
      h.dataDirectoryOffset(pe::kResourceDirectory + 1) >
          uint64_t(h.optionalHeaderOffset) + h.optionalHeaderSize)
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
    m_entries.push_back(
        {type, name, language, 0, Source::Memory, m_small.size(), static_cast<uint32_t>(size)});
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
  m_entries.push_back(
      {type, name, language, 0, Source::Scratch, m_nScratchSize, static_cast<uint32_t>(size)});
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

// The entries grouped in directory order: types, then names within a type, then
// languages within a name.
struct PeResourceRewriter::Tree {
  struct NameNode {
    size_t first, count;  // a run of `order`: the languages of one name
  };
  struct TypeNode {
    size_t firstName, nameCount;  // a run of `names`: the names of one type
  };
  std::vector<size_t> order;  // indices into m_entries
  std::vector<TypeNode> types;
  std::vector<NameNode> names;
};

// Where each block lies in the new section, relative to its start: the directory
// tables (root, type level, name level), the name strings, the data entries, then the
// data, each block on an 8-byte boundary.
struct PeResourceRewriter::Layout {
  uint64_t tablesSize = 0;  // the directory tables; the name strings follow them
  uint64_t dataEntriesAt = 0;
  uint64_t dataAt = 0;               // everything before the data: the serialised directory
  std::vector<uint64_t> dataOffset;  // of each entry of Tree::order
  uint64_t total = 0;                // the section's size
};

// Where the new section goes in the file and in the image, and what moves with it.
struct PeResourceRewriter::Placement {
  bool inPlace = false;  // it replaces the old resource section
  size_t index = 0;      // its row in the section table
  uint64_t virtualAddress = 0;
  uint64_t pointerToRawData = 0;
  uint64_t rawSize = 0;
  uint64_t oldRawSize = 0;  // of the section it replaces
  uint64_t imageSize = 0;
  uint64_t copyEnd = 0;     // the original bytes up to here come before the section
  uint64_t oldEnd = 0;      // the end of the old sections: appended data starts here
  CertificateSpan dropped;  // the certificate table, left out of the appended data
  // Where appended data at `at` in the old file lands in the new one.
  int64_t moved(uint64_t at) const {
    int64_t shift = int64_t(pointerToRawData + rawSize) - int64_t(oldEnd);
    return int64_t(at) + shift - (at >= dropped.end ? int64_t(dropped.end - dropped.begin) : 0);
  }
};

bool PeResourceRewriter::writeNewFile(const std::string& tempPath) {
  const Tree tree = groupEntries();
  const Layout layout = layOut(tree);
  if (layout.total > kMaxImageSize) return fail("the resources are too large for an executable");
  Placement place;
  if (!placeSection(layout, place)) return false;
  File original;
  if (!original.open(m_strPath, File::Mode::Read)) return fail("cannot open " + m_strPath);
  std::vector<uint8_t> head;
  if (!readHeaders(original, head) || !patchHeaders(layout, place, head)) return false;
  const std::vector<uint8_t> directory = serialiseDirectory(tree, layout, place.virtualAddress);
  return writeFile(tempPath, original, tree, layout, place, head, directory);
}

PeResourceRewriter::Tree PeResourceRewriter::groupEntries() const {
  Tree tree;
  tree.order.resize(m_entries.size());
  for (size_t i = 0; i < tree.order.size(); ++i) tree.order[i] = i;
  std::sort(tree.order.begin(), tree.order.end(), [&](size_t a, size_t b) {
    const Entry& x = m_entries[a];
    const Entry& y = m_entries[b];
    if (x.type != y.type) return x.type < y.type;
    if (x.name != y.name) return x.name < y.name;
    return x.language < y.language;
  });
  for (size_t k = 0; k < tree.order.size(); ++k) {
    const Entry& e = m_entries[tree.order[k]];
    bool newType = k == 0 || m_entries[tree.order[k - 1]].type != e.type;
    bool newName = newType || m_entries[tree.order[k - 1]].name != e.name;
    if (newType) tree.types.push_back({tree.names.size(), 0});
    if (newName) {
      tree.names.push_back({k, 0});
      tree.types.back().nameCount++;
    }
    tree.names.back().count++;
  }
  return tree;
}

PeResourceRewriter::Layout PeResourceRewriter::layOut(const Tree& tree) const {
  using namespace pe;
  const uint64_t types = tree.types.size(), names = tree.names.size(), entries = tree.order.size();
  Layout layout;
  layout.tablesSize = (kResourceTableSize + kResourceEntrySize * types) +
                      (kResourceTableSize * types + kResourceEntrySize * names) +
                      (kResourceTableSize * names + kResourceEntrySize * entries);
  uint64_t stringsSize = 0;
  auto stringSize = [](const ResourceId& id) { return id.isName() ? 2 + 2 * StoredName(id).size() : 0; };
  for (const Tree::TypeNode& t : tree.types) {
    stringsSize += stringSize(m_entries[tree.order[tree.names[t.firstName].first]].type);
    for (size_t n = t.firstName; n < t.firstName + t.nameCount; ++n)
      stringsSize += stringSize(m_entries[tree.order[tree.names[n].first]].name);
  }
  layout.dataEntriesAt = AlignUp(layout.tablesSize + stringsSize, 8);
  layout.dataAt = layout.dataEntriesAt + kResourceDataEntrySize * entries;
  layout.dataOffset.resize(entries);
  layout.total = layout.dataAt;
  for (size_t k = 0; k < entries; ++k) {
    layout.total = AlignUp(layout.total, 8);
    layout.dataOffset[k] = layout.total;
    layout.total += m_entries[tree.order[k]].size;
  }
  return layout;
}

// In place when the resource section is the last section of the file and of the image
// and the directory starts it; otherwise a new last section, in a free row of the
// section table.
bool PeResourceRewriter::placeSection(const Layout& layout, Placement& place) {
  const PeHeaders& h = m_headers;
  const size_t n = h.sections.size();
  place.oldEnd = h.endOfSections();
  uint64_t imageEnd = h.sizeOfImage;
  for (const PeSection& s : h.sections)
    imageEnd =
        std::max<uint64_t>(imageEnd, uint64_t(s.virtualAddress) + std::max(s.virtualSize, s.sizeOfRawData));
  place.index = n;
  if (h.resourceSection >= 0) {
    const PeSection& s = h.sections[h.resourceSection];
    place.inPlace = h.resourceRva == s.virtualAddress && s.sizeOfRawData > 0 &&
                    uint64_t(s.pointerToRawData) + s.sizeOfRawData == place.oldEnd &&
                    s.pointerToRawData >= h.sizeOfHeaders;
    for (size_t i = 0; place.inPlace && i < n; ++i)
      if (int(i) != h.resourceSection && h.sections[i].virtualAddress >= s.virtualAddress)
        place.inPlace = false;
    if (place.inPlace) place.index = static_cast<size_t>(h.resourceSection);
  }
  if (place.inPlace) {
    const PeSection& s = h.sections[place.index];
    place.virtualAddress = s.virtualAddress;
    place.pointerToRawData = s.pointerToRawData;
    place.oldRawSize = s.sizeOfRawData;
    place.copyEnd = place.pointerToRawData;
  } else {
    uint64_t tableEnd = h.sectionHeaderOffset(n + 1);
    bool room = n < 0xFFFF && tableEnd <= h.sizeOfHeaders;
    for (const PeSection& s : h.sections)
      if (s.sizeOfRawData && s.pointerToRawData < tableEnd) room = false;
    if (!room) return fail(noRoomForSectionText());
    place.virtualAddress = AlignUp(imageEnd, h.sectionAlignment);
    place.pointerToRawData = AlignUp(place.oldEnd, h.fileAlignment);
    place.copyEnd = place.oldEnd;
  }
  place.rawSize = AlignUp(layout.total, h.fileAlignment);
  place.imageSize = AlignUp(place.virtualAddress + layout.total, h.sectionAlignment);
  if (!place.inPlace) place.imageSize = std::max(place.imageSize, AlignUp(imageEnd, h.sectionAlignment));
  if (place.imageSize > kMaxImageSize) return fail("the resources would make the image too large");
  // A signature no longer matches the changed file: its table is left out of the
  // appended data. The rest of the appended data moves with the end of the sections.
  place.dropped = CertificateTableSpan(h);
  if (place.dropped.begin == place.dropped.end) place.dropped.begin = place.dropped.end = h.fileSize;
  return true;
}

std::string PeResourceRewriter::noRoomForSectionText() const {
  return m_strPath +
         ": the resource section is not the last section and the headers have no room for a new one";
}

bool PeResourceRewriter::readHeaders(File& original, std::vector<uint8_t>& head) {
  head.assign(m_headers.sizeOfHeaders, 0);
  if (!original.seek(0) ||
      original.readFully(head.data(), head.size()) != static_cast<long long>(head.size()))
    return fail("cannot read " + m_strPath);
  return true;
}

// Sets every header field that depends on the new section: its row of the section
// table, the image size, the size of initialised data, the resource and certificate
// directory entries, the symbol table pointer (it points into the appended data) and
// the checksum, zero until the whole file has been written.
bool PeResourceRewriter::patchHeaders(const Layout& layout, const Placement& place,
                                      std::vector<uint8_t>& head) {
  using namespace pe;
  const PeHeaders& h = m_headers;
  uint8_t* sec = &head[h.sectionHeaderOffset(place.index)];
  if (!place.inPlace) {
    if (std::any_of(sec, sec + kSectionHeaderSize, [](uint8_t b) { return b != 0; }))
      return fail(noRoomForSectionText());
    std::memcpy(sec, ".rsrc\0\0\0", kSectionNameSize);
    StoreLE32(sec + kSectionCharacteristicsField, kResourceSectionFlags);
    StoreLE16(&head[h.numberOfSectionsOffset()], static_cast<uint16_t>(h.sections.size() + 1));
  }
  StoreLE32(sec + kSectionVirtualSizeField, static_cast<uint32_t>(layout.total));
  StoreLE32(sec + kSectionVirtualAddressField, static_cast<uint32_t>(place.virtualAddress));
  StoreLE32(sec + kSectionSizeOfRawDataField, static_cast<uint32_t>(place.rawSize));
  StoreLE32(sec + kSectionPointerToRawDataField, static_cast<uint32_t>(place.pointerToRawData));
  StoreLE32(&head[h.sizeOfImageOffset()], static_cast<uint32_t>(place.imageSize));
  int64_t initialised = int64_t(h.sizeOfInitializedData) + int64_t(place.rawSize) - int64_t(place.oldRawSize);
  StoreLE32(&head[h.sizeOfInitializedDataOffset()],
            static_cast<uint32_t>(std::clamp<int64_t>(initialised, 0, 0xFFFFFFFF)));
  const uint32_t resources = h.dataDirectoryOffset(kResourceDirectory);
  StoreLE32(&head[resources], static_cast<uint32_t>(place.virtualAddress));
  StoreLE32(&head[resources + 4], static_cast<uint32_t>(layout.total));
  if (HasCertificateTable(h)) {
    const uint32_t certificates = h.dataDirectoryOffset(kCertificateDirectory);
    StoreLE32(&head[certificates], 0);
    StoreLE32(&head[certificates + 4], 0);
  }
  if (h.pointerToSymbolTable && h.pointerToSymbolTable >= place.oldEnd &&
      h.pointerToSymbolTableOffset() + 4 <= head.size())
    StoreLE32(&head[h.pointerToSymbolTableOffset()],
              static_cast<uint32_t>(place.moved(h.pointerToSymbolTable)));
  if (uint64_t(h.checkSumOffset()) + 4 <= head.size()) StoreLE32(&head[h.checkSumOffset()], 0);
  if (h.fileSize - place.oldEnd + place.pointerToRawData + place.rawSize > 0xFFFFFFFFu)
    return fail("the executable would be too large");
  return true;
}

// The directory tables, the name strings and the data entries of the new section,
// whose data entries give addresses in an image where the section is at `sectionRva`.
std::vector<uint8_t> PeResourceRewriter::serialiseDirectory(const Tree& tree, const Layout& layout,
                                                            uint64_t sectionRva) const {
  using namespace pe;
  std::vector<uint8_t> dir(layout.dataAt, 0);
  uint64_t typeTableAt = kResourceTableSize + kResourceEntrySize * tree.types.size();
  uint64_t nameTableAt =
      typeTableAt + kResourceTableSize * tree.types.size() + kResourceEntrySize * tree.names.size();
  uint64_t stringAt = layout.tablesSize;
  uint64_t dataEntry = 0;
  // The name or id field of an entry; a name is stored among the strings.
  auto idField = [&](const ResourceId& id) -> uint32_t {
    if (!id.isName()) return id.id();
    uint64_t at = stringAt;
    std::u16string text = StoredName(id);
    StoreLE16(&dir[at], static_cast<uint16_t>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) StoreLE16(&dir[at + 2 + 2 * i], text[i]);
    stringAt += 2 + 2 * text.size();
    return kResourceSubdirectoryBit | static_cast<uint32_t>(at);
  };
  auto putTableHeader = [&](uint64_t at, const std::vector<ResourceId>& ids) {
    uint16_t named = static_cast<uint16_t>(
        std::count_if(ids.begin(), ids.end(), [](const ResourceId& r) { return r.isName(); }));
    StoreLE16(&dir[at + kResourceNamedCountField], named);
    StoreLE16(&dir[at + kResourceIdCountField], static_cast<uint16_t>(ids.size() - named));
  };
  auto entryAt = [&](size_t orderIndex) -> const Entry& { return m_entries[tree.order[orderIndex]]; };
  std::vector<ResourceId> typeIds;
  for (const Tree::TypeNode& t : tree.types) typeIds.push_back(entryAt(tree.names[t.firstName].first).type);
  putTableHeader(0, typeIds);
  for (size_t t = 0; t < tree.types.size(); ++t) {
    uint8_t* typeEntry = &dir[kResourceTableSize + kResourceEntrySize * t];
    StoreLE32(typeEntry, idField(typeIds[t]));
    StoreLE32(typeEntry + 4, kResourceSubdirectoryBit | static_cast<uint32_t>(typeTableAt));
    std::vector<ResourceId> nameIds;
    for (size_t k = 0; k < tree.types[t].nameCount; ++k)
      nameIds.push_back(entryAt(tree.names[tree.types[t].firstName + k].first).name);
    putTableHeader(typeTableAt, nameIds);
    for (size_t k = 0; k < nameIds.size(); ++k) {
      const Tree::NameNode& node = tree.names[tree.types[t].firstName + k];
      uint8_t* nameEntry = &dir[typeTableAt + kResourceTableSize + kResourceEntrySize * k];
      StoreLE32(nameEntry, idField(nameIds[k]));
      StoreLE32(nameEntry + 4, kResourceSubdirectoryBit | static_cast<uint32_t>(nameTableAt));
      StoreLE16(&dir[nameTableAt + kResourceIdCountField], static_cast<uint16_t>(node.count));
      for (size_t l = 0; l < node.count; ++l) {
        const Entry& entry = entryAt(node.first + l);
        uint8_t* languageEntry = &dir[nameTableAt + kResourceTableSize + kResourceEntrySize * l];
        uint64_t at = layout.dataEntriesAt + kResourceDataEntrySize * dataEntry++;
        StoreLE32(languageEntry, entry.language);
        StoreLE32(languageEntry + 4, static_cast<uint32_t>(at));
        StoreLE32(&dir[at], static_cast<uint32_t>(sectionRva + layout.dataOffset[node.first + l]));
        StoreLE32(&dir[at + 4], entry.size);
        StoreLE32(&dir[at + 8], entry.codePage);
      }
      nameTableAt += kResourceTableSize + kResourceEntrySize * node.count;
    }
    typeTableAt += kResourceTableSize + kResourceEntrySize * nameIds.size();
  }
  return dir;
}

// Writes the headers, the sections before the resource section, the new section, and
// whatever followed the old last section; then the checksum, if the file keeps one.
bool PeResourceRewriter::writeFile(const std::string& tempPath, File& original, const Tree& tree,
                                   const Layout& layout, const Placement& place,
                                   const std::vector<uint8_t>& head, const std::vector<uint8_t>& directory) {
  const PeHeaders& h = m_headers;
  const uint64_t sectionAt = place.pointerToRawData;
  std::vector<uint8_t> buffer(kCopyBlock);
  Output out(h.checkSumOffset());
  if (!out.open(tempPath)) return fail("cannot create " + tempPath);
  bool ok = out.write(head.data(), head.size()) &&
            out.copy(original, h.sizeOfHeaders, place.copyEnd - h.sizeOfHeaders, buffer) &&
            out.zeros(sectionAt - out.position()) && out.write(directory.data(), directory.size());
  for (size_t k = 0; ok && k < tree.order.size(); ++k) {
    const Entry& e = m_entries[tree.order[k]];
    ok = out.zeros(sectionAt + layout.dataOffset[k] - out.position()) &&
         (e.source == Source::Memory
              ? out.write(m_small.data() + e.offset, e.size)
              : out.copy(e.source == Source::Scratch ? m_scratch : original, e.offset, e.size, buffer));
  }
  ok = ok && out.zeros(sectionAt + place.rawSize - out.position()) &&
       out.copy(original, place.oldEnd, place.dropped.begin - place.oldEnd, buffer) &&
       out.copy(original, place.dropped.end, h.fileSize - place.dropped.end, buffer);
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
