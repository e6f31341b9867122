// The resource update without Windows (ResourceUpdater's POSIX side, our rewriter),
// checked with wrestool (icoutils), an independent checksum and the headers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "common/byte_order.h"
#include "common/file.h"
#include "common/pe_resources.h"
#include "packager/core/resource_update.h"
#include "pe_test_util.h"

using namespace pe_test;

namespace {

std::set<std::string> WrestoolKeys(const std::string& path) {
  std::string out;
  EXPECT_EQ(0, Run("wrestool -l " + Quote(path) + " | sed -E \"s/ \\[.*//; s/'//g\"", &out));
  std::set<std::string> keys;
  size_t at = 0;
  while (at < out.size()) {
    size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    if (end > at) keys.insert(out.substr(at, end - at));
    at = end + 1;
  }
  return keys;
}

// A second computation of the PE checksum, in Python, over the whole file.
uint32_t PythonChecksum(const std::string& path, uint32_t fieldOffset) {
  std::string script =
      "import sys\n"
      "d=bytearray(open(sys.argv[1],'rb').read()); f=int(sys.argv[2])\n"
      "d[f:f+4]=b'\\0\\0\\0\\0'\n"
      "if len(d)%2: d.append(0)\n"
      "s=0\n"
      "for i in range(0,len(d),2):\n"
      "  s+=d[i]|(d[i+1]<<8); s=(s&0xffff)+(s>>16)\n"
      "s=(s&0xffff)+(s>>16)\n"
      "print(s+len(open(sys.argv[1],'rb').read()))\n";
  std::string out;
  EXPECT_EQ(0,
            Run("python3 -c " + Quote(script) + " " + Quote(path) + " " + std::to_string(fieldOffset), &out));
  return static_cast<uint32_t>(std::stoul(out));
}

// Checks the headers that depend on the resource section, and the checksum two ways.
void ExpectConsistentHeaders(const std::string& path, uint64_t appended) {
  vx::PeHeaders h;
  std::vector<vx::PeResource> all;
  std::string error;
  ASSERT_TRUE(vx::ReadPeImage(path, h, all, &error)) << error;
  ASSERT_GE(h.resourceSection, 0);
  const vx::PeSection& s = h.sections[h.resourceSection];
  EXPECT_EQ(s.virtualAddress, h.resourceRva);
  EXPECT_EQ(s.virtualSize, h.resourceSize);
  EXPECT_EQ(0u, s.sizeOfRawData % h.fileAlignment);
  EXPECT_GE(s.sizeOfRawData, s.virtualSize);
  EXPECT_LT(s.sizeOfRawData - s.virtualSize, h.fileAlignment);
  EXPECT_EQ(0u, s.pointerToRawData % h.fileAlignment);
  uint32_t imageEnd = 0;
  for (const vx::PeSection& x : h.sections)
    imageEnd = std::max(imageEnd, x.virtualAddress + std::max(x.virtualSize, x.sizeOfRawData));
  EXPECT_EQ((imageEnd + h.sectionAlignment - 1) / h.sectionAlignment * h.sectionAlignment, h.sizeOfImage);
  EXPECT_EQ(h.fileSize, h.endOfSections() + appended);
  // Every data entry lies inside the resource section.
  for (const vx::PeResource& r : all) {
    EXPECT_GE(r.dataRva, s.virtualAddress);
    EXPECT_LE(uint64_t(r.dataRva) + r.size, uint64_t(s.virtualAddress) + s.virtualSize);
    EXPECT_EQ(0u, r.dataRva % 4);
  }
  ASSERT_NE(0u, h.checkSum);
  uint32_t ours = 0;
  ASSERT_TRUE(vx::PeChecksumOfFile(path, h.checkSumOffset(), ours, &error));
  EXPECT_EQ(ours, h.checkSum);
  EXPECT_EQ(PythonChecksum(path, h.checkSumOffset()), h.checkSum);
}

// Replaces "ZIP" 129 (US English) of the executable at `path` in one whole update.
void ReplaceZip(const std::string& path, const void* data, size_t size, bool* signatureRemoved = nullptr) {
  vx::ResourceUpdater u;
  ASSERT_TRUE(u.begin(path, false)) << u.error();
  ASSERT_TRUE(u.update("ZIP", 129, 1033, data, size)) << u.error();
  ASSERT_TRUE(u.end(false)) << u.error();
  if (signatureRemoved) *signatureRemoved = u.signatureRemoved();
}

std::string CopyStub(const std::string& folder, const std::string& from = StubPath()) {
  std::string path = folder + "/stub.exe";
  EXPECT_TRUE(vx::CopyFilePath(from, path));
  return path;
}

}  // namespace

// The packager's update: "ZIP" 129 replaced, "OCX" 1091 added, string block 1
// replaced, plus a named type; everything else keeps its bytes.
TEST(PeRewriter, ReplaceAddAndKeepTheRest) {
  vx::test::ScratchFolder scratch("rewriter_replace");
  const std::string& dir = scratch.path();
  std::string path = CopyStub(dir);
  std::vector<Item> before = TreeOf(path);
  std::vector<uint8_t> zip = PatternBytes(10007, 1), ocx = PatternBytes(20000, 2),
                       named = PatternBytes(33, 3);
  std::vector<uint8_t> title = TitleBlock(u"Show \u00e9t\u00e9");

  vx::ResourceUpdater u;
  ASSERT_TRUE(u.begin(path, false)) << u.error();
  ASSERT_TRUE(u.update("ZIP", 129, 1033, zip.data(), zip.size())) << u.error();
  ASSERT_TRUE(u.update("OCX", 1091, 1033, ocx.data(), ocx.size())) << u.error();
  ASSERT_TRUE(u.update(vx::ResourceId(6), 1, 1033, title.data(), title.size())) << u.error();
  // (wrestool 0.32 lists a named name under a named type with the type's name, so the
  // named type gets an id here; names under named types are compared under Wine.)
  ASSERT_TRUE(u.update("MyType", 7, 1033, named.data(), named.size())) << u.error();
  // Files beside it while the update runs are ours; nothing has touched the stub yet.
  EXPECT_EQ(before, TreeOf(path));
  ASSERT_TRUE(u.end(false)) << u.error();
  EXPECT_EQ(std::vector<std::string>{"stub.exe"}, scratch.list()) << "scratch files were left behind";

  // wrestool sees exactly the old set plus the two additions, and the new bytes.
  std::set<std::string> keys = WrestoolKeys(path);
  std::set<std::string> expected;
  for (const Item& i : before)
    expected.insert("--type=" + i.type + " --name=" + i.name + " --language=" + std::to_string(i.language));
  expected.insert("--type=OCX --name=1091 --language=1033");
  expected.insert("--type=MYTYPE --name=7 --language=1033");
  EXPECT_EQ(expected, keys);
  EXPECT_EQ(zip, WrestoolExtract(path, "ZIP", "129", 1033));
  EXPECT_EQ(ocx, WrestoolExtract(path, "OCX", "1091", 1033));
  EXPECT_EQ(title, WrestoolExtract(path, "6", "1", 1033));
  EXPECT_EQ(named, WrestoolExtract(path, "MYTYPE", "7", 1033));
  std::set<std::string> changed = {"ZIP/129/1033", "6/1/1033"};
  for (const Item& i : before) {
    if (changed.count(i.key())) continue;
    EXPECT_EQ(i.bytes, WrestoolExtract(path, i.type, i.name, i.language)) << i.key() << " changed";
  }
  EXPECT_EQ(4u + 2 * 8, title.size());
  ExpectConsistentHeaders(path, 0);

  // The sections before the resources are byte for byte those of the stub.
  vx::PeHeaders h;
  std::vector<vx::PeResource> all;
  std::string error;
  ASSERT_TRUE(vx::ReadPeImage(StubPath(), h, all, &error));
  std::vector<uint8_t> a = ReadBytes(StubPath()), b = ReadBytes(path);
  uint32_t rsrcAt = h.sections[h.resourceSection].pointerToRawData;
  EXPECT_TRUE(std::equal(a.begin() + h.sizeOfHeaders, a.begin() + rsrcAt, b.begin() + h.sizeOfHeaders));
}

// Appended data after the last section moves behind the new section unchanged, and
// the section grows and shrinks across FileAlignment boundaries.
TEST(PeRewriter, AppendedDataAndSizesAcrossAlignment) {
  vx::test::ScratchFolder scratch("rewriter_sizes");
  const std::string& dir = scratch.path();
  std::string path = CopyStub(dir);
  std::vector<uint8_t> tail = PatternBytes(777, 9);
  {
    std::vector<uint8_t> bytes = ReadBytes(path);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    WriteBytes(path, bytes);
  }
  std::vector<Item> original = TreeOf(path);
  for (size_t size : {1u, 511u, 512u, 513u, 12289u, 100000u, 10u, 0u}) {
    std::vector<uint8_t> data = PatternBytes(size, uint32_t(size));
    static const uint8_t none = 0;  // an empty resource, not a deletion: data is not null
    ASSERT_NO_FATAL_FAILURE(ReplaceZip(path, size ? data.data() : &none, data.size()));
    SCOPED_TRACE(size);
    ExpectConsistentHeaders(path, tail.size());
    std::vector<uint8_t> bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), tail.size());
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), bytes.end() - tail.size())) << "appended data changed";
    std::vector<Item> now = TreeOf(path);
    ASSERT_EQ(original.size(), now.size());
    for (size_t i = 0; i < now.size(); ++i) {
      if (now[i].key() == "ZIP/129/1033") {
        EXPECT_EQ(data, now[i].bytes);
      } else {
        EXPECT_EQ(original[i], now[i]) << now[i].key();
      }
    }
    if (size) {
      EXPECT_EQ(data, WrestoolExtract(path, "ZIP", "129", 1033));
    }
  }
}

// A signature cannot match the rewritten file: its table is left out and directory
// entry 4 cleared, while other appended data stays and the checksum is right.
TEST(PeRewriter, SignatureIsLeftOutAndOtherAppendedDataKept) {
  vx::test::ScratchFolder scratch("rewriter_signed");
  const std::string& dir = scratch.path();
  std::string path = CopyStub(dir);
  std::vector<uint8_t> overlay = PatternBytes(1001, 5);
  std::vector<uint8_t> table = AppendCertificateTable(path, overlay, 1500);
  std::vector<uint8_t> zip = PatternBytes(3000, 6);
  for (bool wasSigned : {true, false}) {
    SCOPED_TRACE(wasSigned);
    bool signatureRemoved = !wasSigned;
    ASSERT_NO_FATAL_FAILURE(ReplaceZip(path, zip.data(), zip.size(), &signatureRemoved));
    EXPECT_EQ(wasSigned, signatureRemoved);
    ExpectNoCertificateTable(path, table);
    std::vector<uint8_t> bytes = ReadBytes(path);
    size_t padded = (overlay.size() + 7) / 8 * 8;  // the overlay and the padding before the table
    ASSERT_GE(bytes.size(), padded);
    EXPECT_TRUE(std::equal(overlay.begin(), overlay.end(), bytes.end() - padded)) << "appended data changed";
    ExpectConsistentHeaders(path, padded);
    EXPECT_EQ(zip, WrestoolExtract(path, "ZIP", "129", 1033));
  }
}

TEST(PeRewriter, ResourceOfSeveralMegabytes) {
  vx::test::ScratchFolder scratch("rewriter_large");
  const std::string& dir = scratch.path();
  std::string path = CopyStub(dir);
  std::vector<uint8_t> big = PatternBytes(5 * 1024 * 1024 + 3, 42);
  ASSERT_NO_FATAL_FAILURE(ReplaceZip(path, big.data(), big.size()));
  EXPECT_EQ(big, WrestoolExtract(path, "ZIP", "129", 1033));
  ExpectConsistentHeaders(path, 0);
}

// Deleting one entry, deleting all existing ones, discarding, and names in any case.
TEST(PeRewriter, DeleteDiscardAndNameCase) {
  vx::test::ScratchFolder scratch("rewriter_delete");
  const std::string& dir = scratch.path();
  std::string path = CopyStub(dir);
  std::vector<uint8_t> original = ReadBytes(path);

  {
    vx::ResourceUpdater u;
    ASSERT_TRUE(u.begin(path, false));
    std::vector<uint8_t> data = PatternBytes(100, 5);
    ASSERT_TRUE(u.update("ZIP", 129, 1033, data.data(), data.size()));
    ASSERT_TRUE(u.end(true));
    EXPECT_EQ(original, ReadBytes(path));
  }
  {
    vx::ResourceUpdater u;  // never ended: discarded
    ASSERT_TRUE(u.begin(path, false));
    std::vector<uint8_t> data = PatternBytes(100, 5);
    ASSERT_TRUE(u.update("ZIP", 129, 1033, data.data(), data.size()));
  }
  EXPECT_EQ(original, ReadBytes(path));
  EXPECT_EQ(std::vector<std::string>{"stub.exe"}, scratch.list());

  {
    vx::ResourceUpdater u;
    ASSERT_TRUE(u.begin(path, false));
    std::vector<uint8_t> data = PatternBytes(64, 6);
    ASSERT_TRUE(u.update("zip", "#129", 1033, data.data(), data.size()));  // the stub's "ZIP" 129
    ASSERT_TRUE(u.update(vx::ResourceId(10), "logo", 1033, nullptr, 0));   // deletes "LOGO"
    ASSERT_TRUE(u.update(vx::ResourceId(6), 1, 1031, nullptr, 0));         // the German block
    ASSERT_TRUE(u.end(false)) << u.error();
    std::vector<Item> tree = TreeOf(path);
    ASSERT_NE(nullptr, FindItem(tree, "ZIP/129/1033"));
    EXPECT_EQ(data, FindItem(tree, "ZIP/129/1033")->bytes);
    EXPECT_EQ(nullptr, FindItem(tree, "10/LOGO/1033"));
    EXPECT_EQ(nullptr, FindItem(tree, "6/1/1031"));
    EXPECT_NE(nullptr, FindItem(tree, "6/1/1033"));
    EXPECT_NE(nullptr, FindItem(tree, "10/200/1033"));
    ExpectConsistentHeaders(path, 0);
  }
  {
    vx::ResourceUpdater u;
    ASSERT_TRUE(u.begin(path, true));
    std::vector<uint8_t> data = PatternBytes(9, 7);
    ASSERT_TRUE(u.update("ZIP", 129, 1033, data.data(), data.size()));
    ASSERT_TRUE(u.end(false)) << u.error();
    std::vector<Item> tree = TreeOf(path);
    ASSERT_EQ(1u, tree.size());
    EXPECT_EQ("ZIP/129/1033", tree[0].key());
    ExpectConsistentHeaders(path, 0);
  }
  vx::ResourceUpdater idle;
  EXPECT_FALSE(idle.update("ZIP", 129, 1033, "x", 1));
  EXPECT_FALSE(idle.error().empty());
  EXPECT_FALSE(idle.end(false));
}

// .rsrc followed by .reloc: the resources move to a new last section and the old one
// stays as it was.
TEST(PeRewriter, ResourcesNotLastMoveToANewSection) {
  vx::test::ScratchFolder scratch("rewriter_reloc");
  const std::string& dir = scratch.path();
  std::string path = CopyStub(dir, RelocStubPath());
  vx::PeHeaders before;
  std::vector<vx::PeResource> all;
  std::string error;
  ASSERT_TRUE(vx::ReadPeImage(path, before, all, &error)) << error;
  std::vector<Item> tree = TreeOf(path);
  std::vector<uint8_t> original = ReadBytes(path);

  std::vector<uint8_t> zip = PatternBytes(4000, 11);
  ASSERT_NO_FATAL_FAILURE(ReplaceZip(path, zip.data(), zip.size()));

  vx::PeHeaders after;
  ASSERT_TRUE(vx::ReadPeImage(path, after, all, &error)) << error;
  ASSERT_EQ(before.sections.size() + 1, after.sections.size());
  EXPECT_EQ(after.sections.size() - 1, size_t(after.resourceSection));
  EXPECT_EQ(".rsrc", after.sections.back().name);
  for (size_t i = 0; i < before.sections.size(); ++i) {
    EXPECT_EQ(before.sections[i].virtualAddress, after.sections[i].virtualAddress);
    EXPECT_EQ(before.sections[i].pointerToRawData, after.sections[i].pointerToRawData);
  }
  std::vector<uint8_t> now = ReadBytes(path);
  uint64_t oldEnd = before.endOfSections();
  EXPECT_TRUE(std::equal(original.begin() + before.sizeOfHeaders, original.begin() + oldEnd,
                         now.begin() + before.sizeOfHeaders))
      << "an old section changed";
  EXPECT_EQ(zip, WrestoolExtract(path, "ZIP", "129", 1033));
  for (const Item& i : tree) {
    if (i.key() != "ZIP/129/1033") {
      EXPECT_EQ(i.bytes, WrestoolExtract(path, i.type, i.name, i.language)) << i.key();
    }
  }
  ExpectConsistentHeaders(path, 0);

  // A second update now finds .rsrc last and rebuilds it in place.
  ASSERT_NO_FATAL_FAILURE(ReplaceZip(path, zip.data(), 10));
  ASSERT_TRUE(vx::ReadPeImage(path, after, all, &error)) << error;
  EXPECT_EQ(before.sections.size() + 1, after.sections.size());
  ExpectConsistentHeaders(path, 0);
}

// A file the updater cannot understand is refused with a clear line and left as it was.
TEST(PeRewriter, RefusalsLeaveTheFileUntouched) {
  vx::test::ScratchFolder scratch("rewriter_refusals");
  const std::string& dir = scratch.path();
  std::vector<uint8_t> good = ReadBytes(StubPath());
  vx::PeHeaders h;
  std::vector<vx::PeResource> all;
  std::string error;
  ASSERT_TRUE(vx::ParsePeImage(good.data(), good.size(), h, all, &error));
  uint32_t root = h.sections[h.resourceSection].pointerToRawData;

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* expect;
  };
  std::vector<Case> cases;
  cases.push_back({"text.exe", std::vector<uint8_t>(300, 'a'), "not a Windows executable"});
  cases.push_back({"truncated.exe", std::vector<uint8_t>(good.begin(), good.end() - 1000), "truncated"});
  cases.push_back({"headers.exe", std::vector<uint8_t>(good.begin(), good.begin() + 200), "truncated"});
  std::vector<uint8_t> loop = good;
  vx::StoreLE32(&loop[root + vx::pe::kResourceTableSize + 4],
                vx::pe::kResourceSubdirectoryBit);  // to the root
  cases.push_back({"loop.exe", loop, "damaged resource directory"});
  std::vector<uint8_t> plus = good;
  plus[h.optionalHeaderOffset] = 0x0B;
  plus[h.optionalHeaderOffset + 1] = 0x03;
  cases.push_back({"magic.exe", plus, "unknown PE optional header"});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir + "/" + c.name;
    WriteBytes(path, c.bytes);
    vx::ResourceUpdater u;
    EXPECT_FALSE(u.begin(path, false)) << c.name;
    EXPECT_NE(std::string::npos, u.error().find(c.expect)) << c.name << ": " << u.error();
    EXPECT_NE(std::string::npos, u.error().find(path)) << "the error names the file: " << u.error();
    EXPECT_EQ(std::string::npos, u.error().find('\n'));
    std::vector<uint8_t> data = PatternBytes(10, 1);
    EXPECT_FALSE(u.update("ZIP", 129, 1033, data.data(), data.size()));
    EXPECT_FALSE(u.end(false));
    EXPECT_EQ(c.bytes, ReadBytes(path)) << c.name << " was changed";
  }
  std::vector<std::string> names = scratch.list();
  EXPECT_EQ(cases.size(), names.size()) << "stray files in the folder";

  vx::ResourceUpdater u;
  EXPECT_FALSE(u.begin(dir + "/missing.exe", false));
  EXPECT_NE(std::string::npos, u.error().find("missing.exe"));
}
