// Builds ZIP archives in memory with every field under the test's control, and records
// where each record lies so that a test can damage exactly one of them.
#pragma once
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/zip_format.h"
#include "zipreader/zip_reader.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/whole_file.h"

namespace vxtest {

using Bytes = std::vector<uint8_t>;

// A calendar time read as local time, daylight saving decided by the system: how the
// reader interprets a stored DOS date and time.
inline std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

struct TestEntry {
  std::string name;
  Bytes data;
  uint16_t method = 8;              // 0 stored, 8 deflated
  std::string password;             // non-empty: traditional encryption
  bool dataDescriptor = false;      // flag bit 3 with a descriptor after the data
  bool descriptorSignature = true;  // the optional "PK\7\8" in front of it
  bool zeroLocalSizes = true;       // with bit 3: CRC and sizes 0 in the local header
  uint16_t versionMadeBy = 0x0B17;
  uint16_t moreFlags = 0;  // OR-ed into both records' flags (bit 11: a UTF-8 name)
  uint32_t externalAttributes = 0x81800020;
  uint16_t dosTime = 0x74BD;  // 14:37:58
  uint16_t dosDate = 0x5A8F;  // 2025-04-15
  Bytes localExtra;
  Bytes centralExtra;
  Bytes rawCompressed;  // non-empty: used as the compressed data as it is
};

// An entry of the given name and data: deflated (8) or stored (0), encrypted with
// `password` unless it is empty, with a data descriptor when asked.
inline TestEntry MakeEntry(std::string name, Bytes data, uint16_t method = 8, std::string password = "",
                           bool dataDescriptor = false) {
  TestEntry e;
  e.name = std::move(name);
  e.data = std::move(data);
  e.method = method;
  e.password = std::move(password);
  e.dataDescriptor = dataDescriptor;
  return e;
}

// Where the records of one entry were put.
struct EntryLayout {
  size_t localHeader = 0;
  size_t data = 0;        // first byte after the local header and extra field
  size_t dataEnd = 0;     // one past the entry data (encryption header included)
  size_t descriptor = 0;  // only with a data descriptor
  size_t central = 0;
};

struct TestArchive {
  Bytes bytes;
  std::vector<EntryLayout> entries;
  size_t centralDirectory = 0;
  size_t endRecord = 0;
};

// Lays out the entries in order, central records in the same order, then the end record
// with the given comment.
TestArchive BuildArchive(const std::vector<TestEntry>& entries, const Bytes& comment = {});

// A raw Deflate stream of the data at the given level.
Bytes Deflate(const Bytes& data, int level = 8);

Bytes TextBytes(const std::string& text);
Bytes PatternBytes(size_t size, uint32_t seed);   // incompressible-looking
Bytes TextLikeBytes(size_t size, uint32_t seed);  // compressible

// A field of the record at `at` in an archive's bytes, by its name in the format.
template <typename T>
T Get(const Bytes& b, size_t at, vx::zip::Field<T> f) {
  if (at + f.offset + sizeof(T) > b.size())
    throw std::out_of_range(std::string("past the archive: ") + f.name);
  return vx::zip::Load(b.data() + at, f);
}
template <typename T>
void Put(Bytes& b, size_t at, vx::zip::Field<T> f, typename vx::zip::Field<T>::Value v) {
  if (at + f.offset + sizeof(T) > b.size())
    throw std::out_of_range(std::string("past the archive: ") + f.name);
  vx::zip::Store(b.data() + at, f, v);
}

// A reader open on an archive held in memory (the bytes must outlive it).
struct MemoryArchive {
  explicit MemoryArchive(const Bytes& bytes) : m_memory(bytes.data(), bytes.size()) {}
  vx::ZipMemoryFile m_memory;
};
class MemoryReader : private MemoryArchive, public vx::ZipReader {
 public:
  explicit MemoryReader(const Bytes& bytes) : MemoryArchive(bytes) { open(m_memory); }
};

using ScratchFolder = vx::test::ScratchFolder;
using vx::test::ReadWholeFile;
using vx::test::WriteWholeFile;

}  // namespace vxtest
