// Reading the resources of a Windows executable (PE32 and PE32+) without Windows:
// the headers, the section table and the three-level resource directory
// (type -> name -> language -> data entry).
//
// Every read is bounds-checked against the input, so arbitrary bytes give an error
// and never a read outside the buffer or file: counts that run past the section,
// offsets outside the file, loops in the directory tree and trees deeper than three
// levels are all reported as a damaged resource directory.
#pragma once
#include "common/utf.h"  // resource names are UTF-16 in the file
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vx {

// The identifier of a resource type or name: an integer id or a name. Names compare
// without regard to ASCII case (the resource compiler and the update functions store
// them upper-case). As in the Win32 calls, a name of the form "#123" means id 123.
class ResourceId {
 public:
  ResourceId(uint16_t id);
  ResourceId(const char* name);
  ResourceId(const std::string& name);
  // A name taken as it stands, even when it has the "#123" form.
  static ResourceId Literal(const std::string& name);

  bool isName() const { return m_bIsName; }
  uint16_t id() const { return m_nId; }
  const std::string& name() const { return m_strName; }
  // "129" for an id, the name itself for a name.
  std::string toString() const;

  friend bool operator==(const ResourceId& a, const ResourceId& b);
  friend bool operator!=(const ResourceId& a, const ResourceId& b) { return !(a == b); }
  // The order of a resource directory: names first, by upper-cased UTF-16 code units,
  // then ids ascending.
  friend bool operator<(const ResourceId& a, const ResourceId& b);

 private:
  void setName(const std::string& name);
  bool m_bIsName = false;
  uint16_t m_nId = 0;
  std::string m_strName;  // UTF-8
};

// Resource types of Windows used by the packages.
inline constexpr uint16_t kResourceTypeIcon = 3;
inline constexpr uint16_t kResourceTypeDialog = 5;
inline constexpr uint16_t kResourceTypeStringTable = 6;
inline constexpr uint16_t kResourceTypeRcData = 10;
inline constexpr uint16_t kResourceTypeGroupIcon = 14;
inline constexpr uint16_t kResourceTypeVersion = 16;

// Sizes and field offsets of the PE format: the COFF file header after the "PE\0\0"
// signature, the optional header, a row of the section table and the resource directory.
namespace pe {
inline constexpr uint32_t kDosPeOffsetField = 0x3C;  // where the DOS header keeps peOffset
// From the signature.
inline constexpr uint32_t kNumberOfSectionsField = 6;
inline constexpr uint32_t kPointerToSymbolTableField = 12;
inline constexpr uint32_t kSizeOfOptionalHeaderField = 20;
inline constexpr uint32_t kSignatureAndFileHeaderSize = 24;
// From the start of the optional header.
inline constexpr uint32_t kSizeOfInitializedDataField = 8;
inline constexpr uint32_t kSectionAlignmentField = 32;
inline constexpr uint32_t kFileAlignmentField = 36;
inline constexpr uint32_t kSizeOfImageField = 56;
inline constexpr uint32_t kSizeOfHeadersField = 60;
inline constexpr uint32_t kCheckSumField = 64;
inline constexpr uint32_t kDataDirectoriesPe32 = 96;  // NumberOfRvaAndSizes just before
inline constexpr uint32_t kDataDirectoriesPe32Plus = 112;
inline constexpr uint32_t kDataDirectoryEntrySize = 8;  // address, then size
inline constexpr unsigned kResourceDirectory = 2;
inline constexpr unsigned kCertificateDirectory = 4;
// A row of the section table.
inline constexpr uint32_t kSectionHeaderSize = 40;
inline constexpr uint32_t kSectionNameSize = 8;
inline constexpr uint32_t kSectionVirtualSizeField = 8;
inline constexpr uint32_t kSectionVirtualAddressField = 12;
inline constexpr uint32_t kSectionSizeOfRawDataField = 16;
inline constexpr uint32_t kSectionPointerToRawDataField = 20;
inline constexpr uint32_t kSectionCharacteristicsField = 36;
// The resource directory: a table header, its entries (name or id, then target) and
// the data entries (address, size, code page, reserved).
inline constexpr uint32_t kResourceTableSize = 16;
inline constexpr uint32_t kResourceNamedCountField = 12;
inline constexpr uint32_t kResourceIdCountField = 14;
inline constexpr uint32_t kResourceEntrySize = 8;
inline constexpr uint32_t kResourceDataEntrySize = 16;
inline constexpr uint32_t kResourceSubdirectoryBit = 0x80000000u;  // also marks a name
}  // namespace pe

struct PeResource {
  ResourceId type = ResourceId(uint16_t(0));
  ResourceId name = ResourceId(uint16_t(0));
  uint16_t language = 0;
  uint32_t dataRva = 0;  // where the bytes are in the loaded image
  uint32_t size = 0;
  uint32_t codePage = 0;
  uint64_t fileOffset = 0;  // where the bytes are in the file
};

struct PeSection {
  std::string name;  // up to 8 characters
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t sizeOfRawData = 0;
  uint32_t pointerToRawData = 0;
  uint32_t characteristics = 0;
};

// The parts of the headers that the resource reader and the resource updater need.
// Offsets are file offsets.
struct PeHeaders {
  uint64_t fileSize = 0;
  uint32_t peOffset = 0;  // "PE\0\0"
  uint32_t optionalHeaderOffset = 0;
  uint16_t optionalHeaderSize = 0;
  bool pe32Plus = false;
  uint32_t sectionTableOffset = 0;
  uint32_t sizeOfInitializedData = 0;
  uint32_t sectionAlignment = 0;
  uint32_t fileAlignment = 0;
  uint32_t sizeOfImage = 0;
  uint32_t sizeOfHeaders = 0;
  uint32_t checkSum = 0;
  uint32_t numberOfRvaAndSizes = 0;
  uint32_t resourceRva = 0;  // data directory entry 2; 0 when there are no resources
  uint32_t resourceSize = 0;
  uint32_t pointerToSymbolTable = 0;
  uint32_t certificateOffset = 0;  // data directory entry 4 (a file offset)
  uint32_t certificateSize = 0;
  std::vector<PeSection> sections;
  int resourceSection = -1;  // index of the section holding the resource directory

  // File offsets of header fields.
  uint32_t sizeOfInitializedDataOffset() const {
    return optionalHeaderOffset + pe::kSizeOfInitializedDataField;
  }
  uint32_t sizeOfImageOffset() const { return optionalHeaderOffset + pe::kSizeOfImageField; }
  uint32_t checkSumOffset() const { return optionalHeaderOffset + pe::kCheckSumField; }
  uint32_t dataDirectoryOffset(unsigned index) const {
    return optionalHeaderOffset + (pe32Plus ? pe::kDataDirectoriesPe32Plus : pe::kDataDirectoriesPe32) +
           pe::kDataDirectoryEntrySize * index;
  }
  uint32_t numberOfSectionsOffset() const { return peOffset + pe::kNumberOfSectionsField; }
  uint32_t pointerToSymbolTableOffset() const { return peOffset + pe::kPointerToSymbolTableField; }
  uint64_t sectionHeaderOffset(size_t index) const {
    return sectionTableOffset + uint64_t(pe::kSectionHeaderSize) * index;
  }
  // The end of the last section's raw data: where appended data begins.
  uint64_t endOfSections() const;
  // Maps [rva, rva+size) to a file offset when it lies in one section's raw data.
  bool rvaToFileOffset(uint32_t rva, uint32_t size, uint64_t& offset) const;
};

// Reads only the headers and the resource directory of the PE file at path (never the
// whole file). On failure `out` is left empty and `error` gets one line.
bool ReadPeResources(const std::string& path, std::vector<PeResource>& out, std::string* error);
// The same over a memory image of a file.
bool ParsePeResources(const uint8_t* data, size_t size, std::vector<PeResource>& out, std::string* error);
// Headers and resources together, as the resource updater needs them.
bool ReadPeImage(const std::string& path, PeHeaders& headers, std::vector<PeResource>& out,
                 std::string* error);
bool ParsePeImage(const uint8_t* data, size_t size, PeHeaders& headers, std::vector<PeResource>& out,
                  std::string* error);

// Finds (type, name) in language 1033 first, else in any language; null if absent.
const PeResource* FindPeResource(const std::vector<PeResource>& all, const ResourceId& type,
                                 const ResourceId& name);

// Reads the bytes of one resource from the file it was listed from.
bool ReadPeResourceData(const std::string& path, const PeResource& r, std::vector<uint8_t>& out,
                        std::string* error);

// The PE image checksum over bytes fed in file order, in pieces of any length.
class PeChecksumAccumulator {
 public:
  explicit PeChecksumAccumulator(uint32_t checkSumOffset) : m_nSkipAt(checkSumOffset) {}
  void add(const uint8_t* data, size_t size);
  uint64_t length() const { return m_nLength; }
  uint32_t finish() const;

 private:
  void addWord(uint32_t word, uint64_t at);
  uint32_t m_nSkipAt;
  uint32_t m_nSum = 0;
  uint64_t m_nLength = 0;
  int m_nPending = -1;  // the low byte of a word whose high byte has not come yet
};

// The PE image checksum: the 16-bit one's-complement sum of the file's little-endian
// words, the checksum field itself counted as zero, plus the file's length.
uint32_t PeChecksum(const uint8_t* data, size_t size, uint32_t checkSumOffset);
// The same over a file, read in blocks. False when the file cannot be read.
bool PeChecksumOfFile(const std::string& path, uint32_t checkSumOffset, uint32_t& out, std::string* error);

}  // namespace vx
