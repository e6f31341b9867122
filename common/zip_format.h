// The package archive's byte format, as the writer produces it and the reader checks
// it: record signatures and sizes, where each fixed field of a record lies, the
// general-purpose flags, the compression methods and the extended-timestamp extra
// field. All integers are little-endian.
//
// A field is named by its offset in the record and its width; Load and Store read and
// write it in a record's bytes:
//
//   Store(header, zip::local::kFlags, flags);
//   const uint32_t crc = Load(record, zip::central::kCrc);
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/byte_order.h"

namespace vx::zip {

// A fixed field of a record: `T` is uint16_t or uint32_t.
template <typename T>
struct Field {
  using Value = T;
  size_t offset;
  const char* name;  // for messages
};
using Field16 = Field<uint16_t>;
using Field32 = Field<uint32_t>;

inline uint16_t Load(const uint8_t* record, Field16 f) { return LoadLE16(record + f.offset); }
inline uint32_t Load(const uint8_t* record, Field32 f) { return LoadLE32(record + f.offset); }
inline void Store(uint8_t* record, Field16 f, uint16_t v) { StoreLE16(record + f.offset, v); }
inline void Store(uint8_t* record, Field32 f, uint32_t v) { StoreLE32(record + f.offset, v); }

// ---- Local file header: 30 bytes, then the name and the extra field ----------------
inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;  // "PK\3\4"
inline constexpr size_t kLocalHeaderSize = 30;
namespace local {
inline constexpr Field32 kSignature{0, "signature"};
inline constexpr Field16 kVersionNeeded{4, "version needed to extract"};
inline constexpr Field16 kFlags{6, "general-purpose flags"};
inline constexpr Field16 kMethod{8, "compression method"};
inline constexpr Field16 kTime{10, "last modification time"};
inline constexpr Field16 kDate{12, "last modification date"};
inline constexpr Field32 kCrc{14, "CRC-32"};
inline constexpr Field32 kCompressedSize{18, "compressed size"};
inline constexpr Field32 kUncompressedSize{22, "uncompressed size"};
inline constexpr Field16 kNameLength{26, "file name length"};
inline constexpr Field16 kExtraLength{28, "extra field length"};
}  // namespace local

// ---- Data descriptor: 16 bytes after the entry data when flag bit 3 is set ----------
// Readers accept it without its signature too (12 bytes), as the format allows.
inline constexpr uint32_t kDataDescriptorSignature = 0x08074B50;  // "PK\7\8"
inline constexpr size_t kDataDescriptorSize = 16;
namespace descriptor {
inline constexpr Field32 kSignature{0, "signature"};
inline constexpr Field32 kCrc{4, "CRC-32"};
inline constexpr Field32 kCompressedSize{8, "compressed size"};
inline constexpr Field32 kUncompressedSize{12, "uncompressed size"};
}  // namespace descriptor

// ---- Central directory record: 46 bytes, then the name, extra field and comment ----
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;  // "PK\1\2"
inline constexpr size_t kCentralHeaderSize = 46;
namespace central {
inline constexpr Field32 kSignature{0, "signature"};
inline constexpr Field16 kVersionMadeBy{4, "version made by"};
inline constexpr Field16 kVersionNeeded{6, "version needed to extract"};
inline constexpr Field16 kFlags{8, "general-purpose flags"};
inline constexpr Field16 kMethod{10, "compression method"};
inline constexpr Field16 kTime{12, "last modification time"};
inline constexpr Field16 kDate{14, "last modification date"};
inline constexpr Field32 kCrc{16, "CRC-32"};
inline constexpr Field32 kCompressedSize{20, "compressed size"};
inline constexpr Field32 kUncompressedSize{24, "uncompressed size"};
inline constexpr Field16 kNameLength{28, "file name length"};
inline constexpr Field16 kExtraLength{30, "extra field length"};
inline constexpr Field16 kCommentLength{32, "file comment length"};
inline constexpr Field16 kDiskStart{34, "disk number start"};
inline constexpr Field16 kInternalAttributes{36, "internal file attributes"};
inline constexpr Field32 kExternalAttributes{38, "external file attributes"};
inline constexpr Field32 kLocalHeaderOffset{42, "offset of local header"};
}  // namespace central

// ---- End-of-central-directory record: 22 bytes, then the archive comment -----------
inline constexpr uint32_t kEndRecordSignature = 0x06054B50;  // "PK\5\6"
inline constexpr size_t kEndRecordSize = 22;
inline constexpr size_t kMaxCommentSize = 65535;
namespace end {
inline constexpr Field32 kSignature{0, "signature"};
inline constexpr Field16 kThisDisk{4, "number of this disk"};
inline constexpr Field16 kDirectoryDisk{6, "disk where the central directory starts"};
inline constexpr Field16 kEntriesOnDisk{8, "entries on this disk"};
inline constexpr Field16 kTotalEntries{10, "total entries"};
inline constexpr Field32 kDirectorySize{12, "size of the central directory"};
inline constexpr Field32 kDirectoryOffset{16, "offset of the central directory"};
inline constexpr Field16 kCommentLength{20, "comment length"};
}  // namespace end

// ---- Values -------------------------------------------------------------------------
// Version made by: host 11 in the high byte, format version 2.3 in the low byte.
inline constexpr uint16_t kVersionMadeBy = 0x0B17;
inline constexpr uint16_t kVersionNeeded = 20;

// General-purpose flags.
inline constexpr uint16_t kFlagEncrypted = 0x0001;           // bit 0
inline constexpr uint16_t kFlagMaximumCompression = 0x0002;  // bits 2-1 = 01: Deflate at its maximum
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;      // bit 3: CRC and sizes follow the data
inline constexpr uint16_t kFlagUtf8 = 0x0800;                // bit 11: the name is UTF-8

// Compression methods.
inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflated = 8;

// The 12 bytes in front of an encrypted entry's data; the last one is the password
// check byte.
inline constexpr size_t kEncryptionHeaderSize = 12;

// Limits of the fields: names and counts are 16-bit, sizes and offsets 32-bit. The
// writer keeps names to the length a Windows path component allows, in characters.
inline constexpr size_t kMaxNameLength = 259;
inline constexpr size_t kMaxNameFieldLength = 0xFFFF;
inline constexpr size_t kMaxEntries = 0xFFFF;
inline constexpr uint64_t kMax32 = 0xFFFFFFFFu;

// ---- Extended-timestamp extra field (header id "UT") --------------------------------
// Local form, 17 bytes: id, data size 13, flags, modification, access and creation
// time. Central form, 9 bytes: id, data size 5, flags, modification time. Times are
// 32-bit Unix times.
inline constexpr uint16_t kTimestampId = 0x5455;
inline constexpr uint8_t kTimestampFlags = 0x07;  // modification, access and creation time
inline constexpr size_t kLocalExtraSize = 17;
inline constexpr size_t kCentralExtraSize = 9;
namespace timestamp {
inline constexpr Field16 kId{0, "header id"};
inline constexpr Field16 kDataSize{2, "data size"};
inline constexpr size_t kFlagsOffset = 4;
inline constexpr Field32 kModified{5, "modification time"};
inline constexpr Field32 kAccessed{9, "access time"};
inline constexpr Field32 kCreated{13, "creation time"};
}  // namespace timestamp

}  // namespace vx::zip
