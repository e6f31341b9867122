#include "zipwriter/zip_fields.h"

#include "common/file.h"
#include "zipwriter/zip_writer.h"

namespace vx {

const char* const StoredSuffixes[8] = {".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"};

namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

// Year, month (1-12) and day (1-31) of a count of days since 1970-01-01 in the
// proleptic Gregorian calendar (eras of 400 years, each of 146097 days, with the
// year taken to start on 1 March so that the leap day falls at its end).
void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
  days += 719468;  // days from 0000-03-01 to 1970-01-01
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);  // [0, 146096]
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;              // [0, 399]
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);  // [0, 365]
  const unsigned monthFromMarch = (5 * dayOfYear + 2) / 153;                                  // [0, 11]
  day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
  month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

DosDateTime DosDateTimeFromFileTime(uint64_t fileTime) {
  const int64_t unixSeconds = static_cast<int64_t>(fileTime / 10000000u) - kSecondsFrom1601To1970;
  int64_t days = unixSeconds / 86400;
  int64_t secondOfDay = unixSeconds % 86400;
  if (secondOfDay < 0) {
    secondOfDay += 86400;
    days -= 1;
  }
  int64_t year;
  unsigned month, day;
  CivilFromDays(days, year, month, day);

  DosDateTime out;
  if (year < 1980) {
    out.date = static_cast<uint16_t>((1 << 5) | 1);  // 1980-01-01 00:00:00
    out.time = 0;
    return out;
  }
  if (year > 2107) {
    out.date = static_cast<uint16_t>((127 << 9) | (12 << 5) | 31);  // 2107-12-31 23:59:58
    out.time = static_cast<uint16_t>((23 << 11) | (59 << 5) | 29);
    return out;
  }
  const unsigned hour = static_cast<unsigned>(secondOfDay / 3600);
  const unsigned minute = static_cast<unsigned>(secondOfDay / 60 % 60);
  const unsigned second = static_cast<unsigned>(secondOfDay % 60);
  out.date = static_cast<uint16_t>(((static_cast<unsigned>(year - 1980) & 0x7F) << 9) |
                                   ((month & 0x0F) << 5) | (day & 0x1F));
  out.time = static_cast<uint16_t>(((hour & 0x1F) << 11) | ((minute & 0x3F) << 5) | ((second / 2) & 0x1F));
  return out;
}

uint32_t UnixTimeFromFileTime(uint64_t fileTime) {
  int64_t seconds;
  if (fileTime >= kFileTimeUnixEpoch) {
    seconds = static_cast<int64_t>((fileTime - kFileTimeUnixEpoch) / 10000000u);
  } else {
    seconds = -static_cast<int64_t>((kFileTimeUnixEpoch - fileTime) / 10000000u);
  }
  return static_cast<uint32_t>(static_cast<uint64_t>(seconds) & 0xFFFFFFFFu);
}

uint32_t ExternalAttributes(uint32_t fileAttributes) {
  const uint32_t dosBits = fileAttributes & 0x37;
  uint32_t mode = (fileAttributes & kAttrDirectory) ? 0x4000 : 0x8000;
  mode |= 0x0100;                                  // owner may read
  if (!(dosBits & kAttrReadOnly)) mode |= 0x0080;  // owner may write
  return (mode << 16) | dosBits;
}

bool IsStoredName(const std::string& entryName) {
  // The suffix runs from the last "." to the end. Folding only ASCII letters matches
  // a comparison in any ANSI code page: the suffixes are plain ASCII, a "." never is a
  // trail byte of a double-byte character, and lead bytes are never ASCII, so a name
  // whose suffix holds a double-byte character cannot match either way.
  const size_t dot = entryName.rfind('.');
  if (dot == std::string::npos) return false;
  const size_t suffixLength = entryName.size() - dot;
  for (const char* suffix : StoredSuffixes) {
    size_t i = 0;
    while (i < suffixLength && suffix[i] != '\0' && AsciiLower(entryName[dot + i]) == AsciiLower(suffix[i])) {
      ++i;
    }
    if (i == suffixLength && suffix[i] == '\0') return true;
  }
  return false;
}

}  // namespace vx
