// vellumix-cli inspect: what a package carries, one fact per line.
//
//   package       PATH
//   size          SIZE TEXT (as the packager shows it)
//   title         TEXT (string 1 of block 1, as UTF-8)
//   flash-control yes|no
//   resource      TYPE  ID  LANGUAGE  SIZE                  (one per resource)
//   icon          WIDTHxHEIGHT  BITS  png|bmp  SIZE         (one per image of icon group 128)
//   file-version  A.B.C.D        (the version resource's fixed file information)
//   product-version A.B.C.D
//   version       KEY  VALUE     (one per string of the version resource)
//   description   LINE                                      (one per line of package.ini)
//   entry         NAME  METHOD  COMPRESSED  SIZE  CRC  encrypted|plain  ok|damaged
//
// Fields are separated by one TAB, so scripts can split the lines.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/options.h"
#include "cli/package_archive.h"
#include "common/file_size.h"
#include "common/package_contract.h"
#include "common/package_description.h"
#include "common/pe_resources.h"
#include "common/zip_format.h"
#include "packager/core/icon_file.h"
#include "packager/core/version_info.h"
#include "zipreader/zip_reader.h"

namespace {

const char kUsage[] =
    "usage: vellumix-cli inspect PACKAGE\n"
    "\n"
    "Shows a package's title, its resources, whether it carries the Flash 8 control, the\n"
    "images of its icon, its version information, its description file and every archive\n"
    "entry (each one is decrypted and its CRC-32 checked). One fact per line, fields\n"
    "separated by TABs.\n";

const char* MethodName(uint16_t method) {
  switch (method) {
    case vx::zip::kMethodStored: return "stored";
    case vx::zip::kMethodDeflated: return "deflate";
    default: return nullptr;
  }
}

// Reads the whole data of entry `index` (at most `limit` bytes kept); true when it was
// complete and its CRC matched.
bool ReadEntry(vx::ZipReader& reader, int index, std::string* keep, size_t limit) {
  if (!reader.openEntry(index)) return false;
  char buf[65536];
  for (size_t n; (n = reader.readEntry(buf, sizeof buf)) > 0;) {
    if (keep && keep->size() < limit) keep->append(buf, std::min(n, limit - keep->size()));
  }
  return reader.closeEntry() == 1;
}

// A value on one line: tabs and line breaks become blanks.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return text;
}

// One line per image of icon group 128, in the group's order.
void PrintIcon(const std::string& path, const std::vector<vx::PeResource>& resources) {
  const vx::PeResource* group =
      vx::FindPeResource(resources, vx::ResourceId(vx::kIconGroupType), vx::ResourceId(vx::kIconGroupId));
  std::vector<uint8_t> bytes;
  std::vector<vx::IconGroupEntry> entries;
  std::string error;
  if (!group || !vx::ReadPeResourceData(path, *group, bytes, &error) ||
      !vx::ParseIconGroup(bytes.data(), bytes.size(), entries, error))
    return;
  for (const vx::IconGroupEntry& e : entries) {
    const vx::PeResource* image =
        vx::FindPeResource(resources, vx::ResourceId(vx::kIconType), vx::ResourceId(e.id));
    vx::IconImage info;
    if (image && vx::ReadPeResourceData(path, *image, bytes, &error) &&
        vx::DescribeIconImage(bytes.data(), bytes.size(), info, error)) {
      std::printf("icon\t%ux%u\t%u\t%s\t%u\n", info.width, info.height, static_cast<unsigned>(info.bitCount),
                  info.png ? "png" : "bmp", static_cast<unsigned>(bytes.size()));
    } else {
      std::printf("icon\t%ux%u\t%u\t%s\t%u\n", e.width ? e.width : 256u, e.height ? e.height : 256u,
                  static_cast<unsigned>(e.bitCount), image ? "damaged" : "missing",
                  static_cast<unsigned>(e.bytes));
    }
  }
}

// The version resource: its fixed versions and the strings of its English table (or
// of its first table when it has no English one).
void PrintVersion(const std::string& path, const std::vector<vx::PeResource>& resources) {
  const vx::PeResource* r =
      vx::FindPeResource(resources, vx::ResourceId(vx::kVersionType), vx::ResourceId(vx::kVersionId));
  std::vector<uint8_t> bytes;
  std::string error;
  vx::VersionResource version;
  if (!r || !vx::ReadPeResourceData(path, *r, bytes, &error) ||
      !vx::ParseVersionResource(bytes.data(), bytes.size(), version, error))
    return;
  if (version.hasFixedInfo) {
    std::printf("file-version\t%s\n", vx::VersionNumberText(version.fileVersion).c_str());
    std::printf("product-version\t%s\n", vx::VersionNumberText(version.productVersion).c_str());
  }
  const vx::VersionStringTable* table = version.tables.empty() ? nullptr : &version.tables[0];
  for (const vx::VersionStringTable& t : version.tables) {
    std::string name = vx::Utf16ToUtf8(t.name);
    for (char& c : name)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (name == vx::kVersionStringTable) {
      table = &t;
      break;
    }
  }
  if (!table) return;
  for (const vx::VersionString& s : table->strings)
    std::printf("version\t%s\t%s\n", OneLine(vx::Utf16ToUtf8(s.key)).c_str(),
                OneLine(vx::Utf16ToUtf8(s.value)).c_str());
}

// The title, whether the control is carried, and one line per resource.
void PrintResources(const std::string& path, const std::vector<vx::PeResource>& resources) {
  const vx::PeResource* block = vx::FindPeResource(resources, vx::ResourceId(vx::kStringTableType),
                                                   vx::ResourceId(vx::kTitleStringBlock));
  std::u16string title;
  std::vector<uint8_t> blockBytes;
  std::string error;
  if (block && vx::ReadPeResourceData(path, *block, blockBytes, &error) &&
      vx::StringFromBlock(blockBytes.data(), blockBytes.size(), vx::kTitleStringId, title)) {
    std::printf("title\t%s\n", vx::Utf16ToUtf8(title).c_str());
  } else {
    std::printf("title\t\n");
  }
  const vx::PeResource* flash = vx::FindPeResource(resources, vx::ResourceId(vx::kFlashResourceType),
                                                   vx::ResourceId(vx::kFlashResourceId));
  std::printf("flash-control\t%s\n", flash ? "yes" : "no");
  for (const vx::PeResource& r : resources) {
    std::printf("resource\t%s\t%s\t%u\t%u\n", r.type.toString().c_str(), r.name.toString().c_str(),
                static_cast<unsigned>(r.language), static_cast<unsigned>(r.size));
  }
}

// The description first: the first entry of its name, shown line by line (UTF-8).
void PrintDescription(vx::ZipReader& reader, const std::vector<vx::ZipEntryInfo>& infos) {
  for (size_t i = 0; i < infos.size(); ++i) {
    if (infos[i].name() != vx::kDescriptionEntryName) continue;
    std::string text;
    if (!ReadEntry(reader, static_cast<int>(i), &text, 64 * 1024)) return;
    text = vx::DescriptionFileText(text);  // UTF-16 when it names a movie beyond ASCII
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (end != std::string::npos || !line.empty()) std::printf("description\t%s\n", line.c_str());
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return;
  }
}

// One line per entry, each read whole and checked; true when every entry was sound.
bool PrintEntries(vx::ZipReader& reader, const std::vector<vx::ZipEntryInfo>& infos) {
  bool allGood = true;
  for (size_t i = 0; i < infos.size(); ++i) {
    const vx::ZipEntryInfo& e = infos[i];
    bool ok = false;
    try {
      ok = ReadEntry(reader, static_cast<int>(i), nullptr, 0);
    } catch (const vx::CZipException&) {
      ok = false;
    }
    allGood = allGood && ok;
    const char* method = MethodName(e.method);
    std::string methodText = method ? method : "method-" + std::to_string(e.method);
    std::printf("entry\t%s\t%s\t%u\t%u\t%08X\t%s\t%s\n", e.name().c_str(), methodText.c_str(),
                static_cast<unsigned>(e.compressedSize), static_cast<unsigned>(e.uncompressedSize),
                static_cast<unsigned>(e.crc32), e.isEncrypted() ? "encrypted" : "plain",
                ok ? "ok" : "damaged");
  }
  return allGood;
}

// The description and the entries of the package's archive. Returns the exit status.
int PrintArchive(const std::string& path, vx::ZipSource& source) {
  bool allGood = true;
  try {
    vx::ZipReader reader;
    reader.open(source);
    reader.setPassword(vx::kPackagePassword);
    std::vector<vx::ZipEntryInfo> infos;
    for (int i = 0; i < reader.entryCount(); ++i) {
      vx::ZipEntryInfo info;
      if (reader.entryInfo(i, info)) infos.push_back(info);
    }
    PrintDescription(reader, infos);
    allGood = PrintEntries(reader, infos);
  } catch (const vx::CZipException& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "vellumix-cli inspect: the package archive of '%s' is damaged: %s\n", path.c_str(),
                 e.message().c_str());
    return 2;
  }
  if (!allGood) {
    std::fflush(stdout);
    std::fprintf(stderr, "vellumix-cli inspect: '%s' has damaged archive entries\n", path.c_str());
    return 2;
  }
  return 0;
}

int RunInspect(const vx::cli::Args& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.size() != 1) return vx::cli::UsageError("inspect", "give exactly one package", kUsage);
  const std::string& path = args[0];
  std::vector<vx::PeResource> resources;
  std::string error;
  if (!vx::ReadPeResources(path, resources, &error)) {
    std::fprintf(stderr, "vellumix-cli inspect: '%s': %s\n", path.c_str(), error.c_str());
    return 2;
  }
  std::printf("package\t%s\n", path.c_str());
  std::printf("size\t%s\n", vx::FormatFileSize(path).c_str());
  PrintResources(path, resources);
  PrintIcon(path, resources);
  PrintVersion(path, resources);

  vx::ZipDiskFile source;
  switch (vx::cli::OpenPackageArchive(path, resources, source)) {
    case vx::cli::PackageArchive::Opened:
    case vx::cli::PackageArchive::Truncated:  // read as far as the file goes
      break;
    case vx::cli::PackageArchive::Missing:
      std::fprintf(stderr, "vellumix-cli inspect: '%s' carries no package archive (\"%s\" %u)\n",
                   path.c_str(), vx::kArchiveResourceType, static_cast<unsigned>(vx::kArchiveResourceId));
      return 2;
    case vx::cli::PackageArchive::CannotOpen:
      std::fprintf(stderr, "vellumix-cli inspect: '%s' could not be opened for reading\n", path.c_str());
      return 2;
  }
  return PrintArchive(path, source);
}

}  // namespace

VX_CLI_COMMAND("inspect", "show what a package carries: title, resources, description, entries", RunInspect);
