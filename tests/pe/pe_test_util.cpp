#include "pe_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "common/byte_order.h"
#include "common/file.h"
#include "tests/support/build_tree.h"
#include "tests/support/whole_file.h"

namespace pe_test {

std::string TestPath(const std::string& name) {
  // The host's Wine tests run once per architecture (PE_WINE_ARCH), each with its own
  // set of test programs and scratch folders; the 64-bit set is in x86_64/.
  const char* arch = std::getenv("PE_WINE_ARCH");
  std::string dir = PE_TEST_DIR;
  if (arch && std::string(arch) == "win64") dir += "/x86_64";
  return vx::test::BuildTreePath(dir + "/" + name);
}

std::vector<uint8_t> ReadBytes(const std::string& path) { return vx::test::ReadWholeFile(path); }

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  vx::test::WriteWholeFile(path, bytes);
}

std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed) {
  std::vector<uint8_t> out(size);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x);
  }
  return out;
}

std::string HexOf(const std::vector<uint8_t>& bytes) {
  static const char hex[] = "0123456789abcdef";
  std::string s;
  for (uint8_t b : bytes) {
    s += hex[b >> 4];
    s += hex[b & 15];
  }
  return s;
}

std::vector<uint8_t> TitleBlock(const std::u16string& title) {
  std::vector<uint8_t> out = {0, 0, uint8_t(title.size()), uint8_t(title.size() >> 8)};
  for (char16_t c : title) {
    out.push_back(uint8_t(c));
    out.push_back(uint8_t(c >> 8));
  }
  return out;
}

std::vector<uint8_t> AppendCertificateTable(const std::string& path, const std::vector<uint8_t>& appended,
                                            size_t size) {
  vx::PeHeaders h;
  std::vector<vx::PeResource> all;
  std::string error;
  EXPECT_TRUE(vx::ReadPeImage(path, h, all, &error)) << error;
  std::vector<uint8_t> bytes = ReadBytes(path);
  bytes.insert(bytes.end(), appended.begin(), appended.end());
  while (bytes.size() % 8) bytes.push_back(0);
  std::vector<uint8_t> table = PatternBytes(size, 77);
  vx::StoreLE32(&table[0], static_cast<uint32_t>(size));  // dwLength
  vx::StoreLE16(&table[4], 0x0200);                       // revision 2.0
  vx::StoreLE16(&table[6], 0x0002);                       // PKCS#7
  uint32_t at = static_cast<uint32_t>(bytes.size());
  bytes.insert(bytes.end(), table.begin(), table.end());
  const uint32_t entry = h.dataDirectoryOffset(vx::pe::kCertificateDirectory);
  vx::StoreLE32(&bytes[entry], at);
  vx::StoreLE32(&bytes[entry + 4], static_cast<uint32_t>(size));
  vx::StoreLE32(&bytes[h.checkSumOffset()], vx::PeChecksum(bytes.data(), bytes.size(), h.checkSumOffset()));
  WriteBytes(path, bytes);
  return table;
}

void ExpectNoCertificateTable(const std::string& path, const std::vector<uint8_t>& table) {
  vx::PeHeaders h;
  std::vector<vx::PeResource> all;
  std::string error;
  ASSERT_TRUE(vx::ReadPeImage(path, h, all, &error)) << error;
  EXPECT_EQ(0u, h.certificateOffset);
  EXPECT_EQ(0u, h.certificateSize);
  if (table.size() > 8) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    EXPECT_TRUE(std::search(bytes.begin(), bytes.end(), table.begin() + 8, table.end()) == bytes.end())
        << "the certificate table is still in " << path;
  }
}

std::vector<Item> TreeOf(const std::string& path) {
  std::vector<vx::PeResource> all;
  std::string error;
  EXPECT_TRUE(vx::ReadPeResources(path, all, &error)) << path << ": " << error;
  std::vector<Item> items;
  for (const vx::PeResource& r : all) {
    Item item;
    item.type = r.type.toString();
    item.name = r.name.toString();
    item.language = r.language;
    item.codePage = r.codePage;
    EXPECT_TRUE(vx::ReadPeResourceData(path, r, item.bytes, &error)) << error;
    items.push_back(std::move(item));
  }
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.key() < b.key(); });
  return items;
}

const Item* FindItem(const std::vector<Item>& items, const std::string& key) {
  for (const Item& i : items)
    if (i.key() == key) return &i;
  return nullptr;
}

#ifndef _WIN32
int Run(const std::string& command, std::string* output) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  int status = pclose(p);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

std::vector<uint8_t> WrestoolExtract(const std::string& path, const std::string& type,
                                     const std::string& name, unsigned language) {
  std::string out;
  EXPECT_EQ(0, Run("wrestool -x -R --type=" + Quote(type) + " --name=" + Quote(name) +
                       " --language=" + std::to_string(language) + " " + Quote(path),
                   &out));
  return std::vector<uint8_t>(out.begin(), out.end());
}
#endif

}  // namespace pe_test
