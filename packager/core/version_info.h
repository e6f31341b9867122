// The version resource of a Windows executable (VS_VERSIONINFO, resource type 16): what
// Explorer shows under Properties > Details and what GetFileVersionInfo and
// VerQueryValue read.
//
// Layout: a tree of nodes, each a header of three 16-bit words (the node's length in
// bytes, the length of its value, and its type: 1 for text, 0 for binary), its key in
// UTF-16 with a terminating zero, padding to a 32-bit boundary, its value, padding, and
// its children, each starting on a 32-bit boundary. The root "VS_VERSION_INFO" holds the
// fixed file information (VS_FIXEDFILEINFO, 52 bytes) and two children:
// "StringFileInfo" with one table per language and code page ("040904B0": English (US),
// UTF-16) of key/value strings, and "VarFileInfo" with "Translation", the list of
// language and code page pairs the strings exist in.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vx {

// The keys a package's version resource may carry, in the order it lists them.
inline constexpr const char* kVersionKeys[] = {"FileVersion",      "ProductVersion", "CompanyName",
                                               "FileDescription",  "LegalCopyright", "ProductName",
                                               "OriginalFilename", "InternalName",   "Comments"};
// The string table of a package's version resource and its translation entry: English
// (United States), the package's language, in UTF-16 (code page 1200).
inline constexpr const char kVersionStringTable[] = "040904B0";
inline constexpr uint32_t kVersionTranslation = 0x04B00409;  // low word language, high word code page
// The longest value accepted, in UTF-16 code units: far above anything Explorer
// shows, and it keeps the whole resource within the 64 KiB its lengths can state.
inline constexpr size_t kMaxVersionValueLength = 1024;

// a.b.c.d, each part 0 to 65535.
struct VersionNumber {
  uint16_t parts[4] = {0, 0, 0, 0};
  bool operator==(const VersionNumber& o) const {
    return parts[0] == o.parts[0] && parts[1] == o.parts[1] && parts[2] == o.parts[2] &&
           parts[3] == o.parts[3];
  }
};
// "a", "a.b", "a.b.c" or "a.b.c.d", decimal digits only; missing parts are 0.
bool ParseVersionNumber(const std::string& text, VersionNumber& out);
std::string VersionNumberText(const VersionNumber& v);  // "a.b.c.d"

struct VersionString {
  std::u16string key;
  std::u16string value;
};
struct VersionStringTable {
  std::u16string name;  // language and code page as 8 hex digits, "040904B0"
  std::vector<VersionString> strings;
};

struct VersionResource {
  bool hasFixedInfo = false;
  VersionNumber fileVersion;
  VersionNumber productVersion;
  uint32_t fileFlagsMask = 0x3F;
  uint32_t fileFlags = 0;
  uint32_t fileOS = 0x00040004;  // VOS_NT_WINDOWS32
  uint32_t fileType = 1;         // VFT_APP
  uint32_t fileSubtype = 0;
  uint32_t fileDateMS = 0;
  uint32_t fileDateLS = 0;
  std::vector<VersionStringTable> tables;
  std::vector<uint32_t> translations;  // low word language, high word code page

  // The value of `key` in the first table that has it; null when none does.
  const std::u16string* find(const std::u16string& key) const;
};

// The resource's bytes. False when a node would be longer than its 16-bit length can
// state.
bool SerializeVersionResource(const VersionResource& resource, std::vector<uint8_t>& out);
// Reads a version resource; every length and offset is checked against the bytes.
bool ParseVersionResource(const uint8_t* data, size_t size, VersionResource& out, std::string& why);

// One --version-info argument, "KEY=VALUE". KEY is one of kVersionKeys, matched without
// regard to case and returned in its own spelling; FileVersion and ProductVersion must
// parse as version numbers; a value may have at most kMaxVersionValueLength characters.
bool ParseVersionSetting(const std::string& argument, std::string& key, std::string& value, std::string& why);

// The version settings of a build, in the order given (a later one of the same key wins).
using VersionSettings = std::vector<std::pair<std::string, std::string>>;

// The version resource a package gets for `settings` (which must not be empty): a new
// one, holding only the keys given, plus
//   - OriginalFilename: the package's own file name `fileName`, when not given;
//   - FileVersion and ProductVersion: when only one is given, the other has its value.
// The fixed file information carries both version numbers (0.0.0.0 when neither is
// given). Values are text of the platform's narrow encoding (UTF-8 on Linux, the ANSI
// code page on Windows). False with a reason when a setting is not allowed.
bool PackageVersionResource(const VersionSettings& settings, const std::string& fileName,
                            VersionResource& out, std::string& why);

}  // namespace vx
