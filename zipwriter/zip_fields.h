// Field values of the package archive's records that are computed from a source
// file's description: DOS date and time, Unix times, external attributes, and the
// store-or-deflate choice made from an entry's name.
#pragma once
#include <cstdint>
#include <string>

namespace vx {

struct DosDateTime {
  uint16_t date = 0;  // ((year - 1980) << 9) | (month << 5) | day
  uint16_t time = 0;  // (hour << 11) | (minute << 5) | (second / 2)
};

// Breaks a file time (100 ns units since 1601-01-01 UTC) down into calendar fields
// in UTC, without any conversion to local time. Times outside the range DOS fields can
// hold are clamped to 1980-01-01 00:00:00 and 2107-12-31 23:59:58.
DosDateTime DosDateTimeFromFileTime(uint64_t fileTime);

// Seconds since 1970-01-01 UTC, truncated toward zero, low 32 bits (so a time before
// 1970 reads back as a negative signed value).
uint32_t UnixTimeFromFileTime(uint64_t fileTime);

// External attributes of a central record: the Windows attribute bits masked with
// 0x37 in the low byte, a Unix mode in the upper 16 bits (regular file or directory,
// owner read, owner write unless read-only).
uint32_t ExternalAttributes(uint32_t fileAttributes);

// True when the entry name ends in one of the StoredSuffixes (from its last ".",
// case-insensitive): such entries are stored rather than deflated.
bool IsStoredName(const std::string& entryName);

}  // namespace vx
