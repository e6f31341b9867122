// The PE resource reader on the test executables, checked against wrestool (icoutils)
// and against GNU ld's checksum, and on damaged copies.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "common/byte_order.h"
#include "common/pe_resources.h"
#include "pe_test_util.h"

using namespace pe_test;

namespace {

struct Listed {
  std::string type, name;
  unsigned language;
  unsigned size;
};

// `wrestool -l` lines: --type=X --name=Y --language=Z [... size=N]; names quoted.
std::vector<Listed> WrestoolList(const std::string& path) {
  std::string out;
  EXPECT_EQ(0, Run("wrestool -l " + Quote(path), &out));
  std::vector<Listed> items;
  std::regex line(R"(--type=('?)([^' ]+)\1 --name=('?)([^' ]+)\3 --language=(\d+) \[.*size=(\d+)\])");
  std::istringstream in(out);
  std::string text;
  while (std::getline(in, text)) {
    std::smatch m;
    if (!std::regex_search(text, m, line)) {
      ADD_FAILURE() << "unexpected wrestool line: " << text;
      continue;
    }
    items.push_back({m[2], m[4], unsigned(std::stoul(m[5])), unsigned(std::stoul(m[6]))});
  }
  return items;
}

}  // namespace

TEST(PeStub, ResourceSectionIsLastAndChecksumMatchesLinker) {
  vx::PeHeaders h;
  std::vector<vx::PeResource> all;
  std::string error;
  ASSERT_TRUE(vx::ReadPeImage(StubPath(), h, all, &error)) << error;
  ASSERT_GE(h.resourceSection, 0);
  const vx::PeSection& rsrc = h.sections[h.resourceSection];
  EXPECT_EQ(".rsrc", rsrc.name);
  EXPECT_EQ(rsrc.virtualAddress, h.resourceRva);
  for (const vx::PeSection& s : h.sections) {
    if (&s == &rsrc) continue;
    EXPECT_LT(s.virtualAddress, rsrc.virtualAddress) << s.name << " lies after .rsrc in the image";
    EXPECT_LE(uint64_t(s.pointerToRawData) + s.sizeOfRawData, rsrc.pointerToRawData) << s.name;
  }
  EXPECT_EQ(h.fileSize, h.endOfSections()) << "the stub carries appended data";
  // GNU ld writes the checksum: an independent computation of the same sum.
  ASSERT_NE(0u, h.checkSum);
  uint32_t sum = 0;
  ASSERT_TRUE(vx::PeChecksumOfFile(StubPath(), h.checkSumOffset(), sum, &error));
  EXPECT_EQ(h.checkSum, sum);
  std::vector<uint8_t> bytes = ReadBytes(StubPath());
  EXPECT_EQ(h.checkSum, vx::PeChecksum(bytes.data(), bytes.size(), h.checkSumOffset()));

  // The relocatable variant has .reloc after .rsrc, so an update must move the resources.
  vx::PeHeaders r;
  ASSERT_TRUE(vx::ReadPeImage(RelocStubPath(), r, all, &error)) << error;
  ASSERT_GE(r.resourceSection, 0);
  EXPECT_EQ(".reloc", r.sections.back().name);
  EXPECT_NE(r.sections.size() - 1, size_t(r.resourceSection));
}

TEST(PeStub, ListAndBytesMatchWrestool) {
  for (const std::string& path : {StubPath(), RelocStubPath()}) {
    std::vector<vx::PeResource> ours;
    std::string error;
    ASSERT_TRUE(vx::ReadPeResources(path, ours, &error)) << error;
    std::vector<Listed> theirs = WrestoolList(path);
    ASSERT_EQ(theirs.size(), ours.size()) << path;
    std::set<std::string> a, b;
    for (const Listed& l : theirs)
      a.insert(l.type + "/" + l.name + "/" + std::to_string(l.language) + "/" + std::to_string(l.size));
    for (const vx::PeResource& r : ours)
      b.insert(r.type.toString() + "/" + r.name.toString() + "/" + std::to_string(r.language) + "/" +
               std::to_string(r.size));
    EXPECT_EQ(a, b) << path;
    for (const vx::PeResource& r : ours) {
      std::vector<uint8_t> data;
      ASSERT_TRUE(vx::ReadPeResourceData(path, r, data, &error)) << error;
      EXPECT_EQ(WrestoolExtract(path, r.type.toString(), r.name.toString(), r.language), data)
          << r.type.toString() << "/" << r.name.toString();
    }
  }
  // What the stub was built from.
  std::vector<Item> tree = TreeOf(StubPath());
  const Item* zip = FindItem(tree, "ZIP/129/1033");
  ASSERT_NE(nullptr, zip);
  EXPECT_EQ(ReadBytes(std::string(VX_SOURCE_DIR) + "/tests/pe/stub/default.bin"), zip->bytes);
  EXPECT_NE(nullptr, FindItem(tree, "10/LOGO/1033"));
  EXPECT_NE(nullptr, FindItem(tree, "6/1/1031"));
}

TEST(PeReader, MemoryAndFileAgreeAndLookupPrefersEnglish) {
  std::vector<uint8_t> bytes = ReadBytes(StubPath());
  std::vector<vx::PeResource> fromFile, fromMemory;
  std::string error;
  ASSERT_TRUE(vx::ReadPeResources(StubPath(), fromFile, &error)) << error;
  ASSERT_TRUE(vx::ParsePeResources(bytes.data(), bytes.size(), fromMemory, &error)) << error;
  ASSERT_EQ(fromFile.size(), fromMemory.size());
  for (size_t i = 0; i < fromFile.size(); ++i) {
    EXPECT_EQ(fromFile[i].type, fromMemory[i].type);
    EXPECT_EQ(fromFile[i].fileOffset, fromMemory[i].fileOffset);
    EXPECT_EQ(fromFile[i].dataRva, fromMemory[i].dataRva);
  }
  const vx::PeResource* strings = vx::FindPeResource(fromFile, vx::ResourceId(6), vx::ResourceId(1));
  ASSERT_NE(nullptr, strings);
  EXPECT_EQ(1033, strings->language);
  // Names are found without regard to case, and "#129" is id 129.
  const vx::PeResource* zip = vx::FindPeResource(fromFile, "zip", "#129");
  ASSERT_NE(nullptr, zip);
  EXPECT_EQ(3000u, zip->size);
  EXPECT_EQ(nullptr, vx::FindPeResource(fromFile, "OCX", vx::ResourceId(1091)));
  // Without English, any language.
  std::vector<vx::PeResource> german;
  for (const vx::PeResource& r : fromFile)
    if (r.language == 1031) german.push_back(r);
  ASSERT_NE(nullptr, vx::FindPeResource(german, vx::ResourceId(6), vx::ResourceId(1)));
}

TEST(PeReader, ResourceIds) {
  vx::ResourceId zip("Zip"), id(129), hashId("#129"), literal = vx::ResourceId::Literal("#129");
  EXPECT_TRUE(zip.isName());
  EXPECT_EQ(vx::ResourceId("ZIP"), zip);
  EXPECT_NE(vx::ResourceId("ZIPS"), zip);
  EXPECT_EQ(id, hashId);
  EXPECT_FALSE(hashId.isName());
  EXPECT_TRUE(literal.isName());
  EXPECT_NE(id, literal);
  EXPECT_EQ("129", id.toString());
  EXPECT_EQ("Zip", zip.toString());
  EXPECT_TRUE(vx::ResourceId("#70000").isName());  // out of range stays a name
  // Directory order: names (upper-cased) before ids, ids ascending.
  EXPECT_TRUE(vx::ResourceId("abc") < vx::ResourceId("ABD"));
  EXPECT_TRUE(vx::ResourceId("ZIP") < vx::ResourceId(1));
  EXPECT_TRUE(vx::ResourceId(2) < vx::ResourceId(10));
  EXPECT_FALSE(vx::ResourceId("zip") < vx::ResourceId("ZIP"));
}

// Damaged copies of the stub: every one gives an error and no entries, never a crash.
TEST(PeReader, DamagedInputsAreRefused) {
  using namespace vx::pe;
  const std::vector<uint8_t> good = ReadBytes(StubPath());
  vx::PeHeaders h;
  std::vector<vx::PeResource> all;
  std::string error;
  ASSERT_TRUE(vx::ParsePeImage(good.data(), good.size(), h, all, &error)) << error;
  const size_t root = h.sections[h.resourceSection].pointerToRawData;
  // The directory's offsets of the first type's name table, of its first name's
  // language table, and of that language's data entry.
  const uint32_t typeDir = vx::LoadLE32(&good[root + kResourceTableSize + 4]) & ~kResourceSubdirectoryBit;
  const uint32_t nameDir =
      vx::LoadLE32(&good[root + typeDir + kResourceTableSize + 4]) & ~kResourceSubdirectoryBit;
  const uint32_t dataEntry = vx::LoadLE32(&good[root + nameDir + kResourceTableSize + 4]);
  const uint32_t firstType = vx::LoadLE32(&good[root + kResourceTableSize]);
  ASSERT_TRUE(firstType & kResourceSubdirectoryBit) << "the stub's first type is the named \"ZIP\"";

  using Bytes = std::vector<uint8_t>;
  auto prefix = [&](size_t n) { return Bytes(good.begin(), good.begin() + n); };
  auto changed = [&](auto change) {
    Bytes b = good;
    change(b);
    return b;
  };
  const struct {
    const char* what;
    Bytes bytes;
    const char* expect;
  } cases[] = {
      {"shorter than the DOS header", prefix(40), "not a Windows executable"},
      {"text", Bytes(5000, 'x'), "not a Windows executable"},
      {"no PE signature", changed([&](Bytes& b) { b[h.peOffset] = 'Q'; }), "no PE signature"},
      {"cut in the section table", prefix(h.sectionTableOffset + 20), "section table"},
      {"cut in the resource directory", prefix(root + 40), "truncated file"},
      {"a type entry that points back at the root",
       changed([&](Bytes& b) { vx::StoreLE32(&b[root + kResourceTableSize + 4], kResourceSubdirectoryBit); }),
       "reached twice"},
      {"an entry count that runs past the section",
       changed([&](Bytes& b) { vx::StoreLE16(&b[root + kResourceIdCountField], 0xFFFF); }),
       "damaged resource directory"},
      {"a fourth level", changed([&](Bytes& b) {
         vx::StoreLE32(&b[root + nameDir + kResourceTableSize + 4], kResourceSubdirectoryBit | typeDir);
       }),
       "damaged resource directory"},
      {"resource data outside the file",
       changed([&](Bytes& b) { vx::StoreLE32(&b[root + dataEntry], 0x7FFFFF00u); }), "outside the file"},
      {"a name whose length runs past the section",
       changed([&](Bytes& b) { vx::StoreLE16(&b[root + (firstType & ~kResourceSubdirectoryBit)], 0xFFFF); }),
       "name lies outside"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<vx::PeResource> out;
    std::string why;
    EXPECT_FALSE(vx::ParsePeResources(c.bytes.data(), c.bytes.size(), out, &why));
    EXPECT_TRUE(out.empty());
    EXPECT_NE(std::string::npos, why.find(c.expect)) << "error was: " << why;
  }

  // Every prefix of the headers and directory: refused or parsed, never out of bounds.
  for (size_t cut = 0; cut < root + 600; cut += 7) {
    Bytes part = prefix(cut);
    std::vector<vx::PeResource> out;
    EXPECT_FALSE(vx::ParsePeResources(part.data(), part.size(), out, &error)) << cut;
  }
}

TEST(PeReader, ChecksumOfOddLengthsAndPieces) {
  std::vector<uint8_t> bytes = PatternBytes(1001, 7);
  // Fed in pieces of odd sizes, the sum is that of the whole.
  for (uint32_t skip : {0u, 3u, 100u, 998u}) {
    uint32_t whole = vx::PeChecksum(bytes.data(), bytes.size(), skip);
    vx::PeChecksumAccumulator acc(skip);
    size_t at = 0, step = 1;
    while (at < bytes.size()) {
      size_t n = std::min(step, bytes.size() - at);
      acc.add(bytes.data() + at, n);
      at += n;
      step = step * 3 % 17 + 1;
    }
    EXPECT_EQ(whole, acc.finish()) << skip;
    // The skipped field does not count.
    std::vector<uint8_t> changed = bytes;
    for (int i = 0; i < 4; ++i) changed[skip + i] ^= 0xA5;
    EXPECT_EQ(whole, vx::PeChecksum(changed.data(), changed.size(), skip));
  }
  // A small case worked by hand: words 0x0201, 0x0403, odd byte 0x05; field at 100.
  const uint8_t tiny[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(0x0201u + 0x0403u + 0x05u + 5u, vx::PeChecksum(tiny, 5, 100));
  // Carries fold back into 16 bits.
  const uint8_t ones[] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(0xFFFFu + 4u, vx::PeChecksum(ones, 4, 100));
}
