// Helpers shared by the PE resource tests: the test executables, files in and out, the
// resource tree of a file as comparable values, and running peers on the host.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/pe_resources.h"
#include "tests/support/scratch_folder.h"

namespace pe_test {

// A path in the test build folder (Linux paths become Z: paths on Windows).
std::string TestPath(const std::string& name);
inline std::string StubPath() { return TestPath("pe_stub.exe"); }
inline std::string RelocStubPath() { return TestPath("pe_stub_reloc.exe"); }

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed);
std::string HexOf(const std::vector<uint8_t>& bytes);

// The string-table block that the packager writes for a title: an empty string 0,
// then the title as length-prefixed UTF-16.
std::vector<uint8_t> TitleBlock(const std::u16string& title);

// Makes the executable at `path` look signed, as a signing tool leaves it: `appended`
// after the sections, padding to 8 bytes, a certificate table (a WIN_CERTIFICATE of
// `size` bytes, pattern content) that data directory entry 4 points at, and a correct
// checksum. Returns the table's bytes.
std::vector<uint8_t> AppendCertificateTable(const std::string& path, const std::vector<uint8_t>& appended,
                                            size_t size);

// Checks that the executable at `path` has no certificate table: directory entry 4 is
// clear and the body of `table` (past its 8-byte header), if given, is nowhere in it.
void ExpectNoCertificateTable(const std::string& path, const std::vector<uint8_t>& table);

// One resource as values: type and name as text ("6", "ZIP"), language, code page, bytes.
struct Item {
  std::string type, name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  std::vector<uint8_t> bytes;
  bool operator==(const Item& o) const {
    return type == o.type && name == o.name && language == o.language && bytes == o.bytes;
  }
  std::string key() const { return type + "/" + name + "/" + std::to_string(language); }
};
// Every resource of the file, sorted by key; fails the calling test on a read error.
std::vector<Item> TreeOf(const std::string& path);
const Item* FindItem(const std::vector<Item>& items, const std::string& key);

// Host only: runs a shell command, returns its exit status and standard output.
int Run(const std::string& command, std::string* output = nullptr);
std::string Quote(const std::string& s);
// Host only: the bytes of one resource as wrestool (icoutils) extracts them.
std::vector<uint8_t> WrestoolExtract(const std::string& path, const std::string& type,
                                     const std::string& name, unsigned language);

}  // namespace pe_test
