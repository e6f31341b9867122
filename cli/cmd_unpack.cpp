// vellumix-cli unpack [--password TEXT] ARCHIVE [DIR]: extracts every file entry of a ZIP
// file, or of a package's "ZIP" 129 resource, as the player does: folder parts dropped.
// The archive is read from disk in pieces, never loaded whole.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/options.h"
#include "cli/package_archive.h"
#include "common/file.h"
#include "common/file_exception.h"
#include "common/package_contract.h"
#include "common/pe_resources.h"
#include "zipreader/zip_reader.h"

namespace {

const char kUsage[] =
    "usage: vellumix-cli unpack [--password TEXT] [--threads N] ARCHIVE [DIR]\n"
    "\n"
    "Extracts every file entry of ARCHIVE into DIR (default: the current folder),\n"
    "keeping only the last part of each name, as the player does. ARCHIVE is a ZIP\n"
    "file or a package .exe, whose resource \"ZIP\" 129 is then read. Without\n"
    "--password a package is read with the package password and a ZIP file with\n"
    "none. Prints the path of each file written, in the archive's order.\n"
    "  --threads N  extract up to N entries at once, 1 to 16 (default: the\n"
    "               processor count, at most 16)\n"
    "Exit status: 0; 1 for a usage error; 2 for an archive or file error\n"
    "(\"error: \" and the message) or an entry that could not be extracted.\n";

struct UnpackRequest {
  std::string archive;
  std::string folder;
  std::string password;
  bool havePassword = false;
  unsigned threads = 0;  // the processor count
};

// True when the file starts with "MZ", the mark of a Windows executable.
bool LooksLikeExecutable(const std::string& path) {
  vx::File f;
  char magic[2];
  return f.open(path, vx::File::Mode::Read) && f.read(magic, 2) == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

// Opens the package's archive resource; a package opens with the password that every
// package carries unless another is given. False, with the message printed, when it
// cannot be opened.
bool OpenPackage(UnpackRequest& r, vx::ZipDiskFile& source) {
  std::vector<vx::PeResource> resources;
  std::string error;
  if (!vx::ReadPeResources(r.archive, resources, &error)) {
    std::fprintf(stderr, "error: %s: %s\n", r.archive.c_str(), error.c_str());
    return false;
  }
  switch (vx::cli::OpenPackageArchive(r.archive, resources, source)) {
    case vx::cli::PackageArchive::Opened: break;
    case vx::cli::PackageArchive::Missing:
      std::fprintf(stderr, "error: %s: the executable has no resource \"%s\" %u\n", r.archive.c_str(),
                   vx::kArchiveResourceType, static_cast<unsigned>(vx::kArchiveResourceId));
      return false;
    default:
      std::fprintf(stderr, "error: %s: the resource \"%s\" %u lies outside the file\n", r.archive.c_str(),
                   vx::kArchiveResourceType, static_cast<unsigned>(vx::kArchiveResourceId));
      return false;
  }
  if (!r.havePassword) {
    r.password = vx::kPackagePassword;
    r.havePassword = true;
  }
  return true;
}

// Extracts every file entry, several at once; the lines come in the archive's order.
// Returns the exit status; archive and file errors throw.
int ExtractFiles(vx::ZipSource& source, const UnpackRequest& r) {
  int status = 0;
  vx::ZipReader reader;
  reader.open(source);
  reader.setPassword(r.havePassword ? r.password.c_str() : nullptr);
  std::vector<int> files;
  std::vector<std::string> names(static_cast<size_t>(reader.entryCount()));
  for (int i = 0; i < reader.entryCount(); ++i) {
    vx::ZipEntryInfo info;
    reader.entryInfo(i, info);
    if (info.isDirectory()) continue;
    files.push_back(i);
    names[static_cast<size_t>(i)] = info.name();
  }
  reader.extractEntries(
      files, r.folder, false, 65536, r.threads, [&](int i, const std::string& path, bool complete) {
        if (path.empty()) {
          std::fprintf(stderr, "skipped: '%s' does not name a plain file\n",
                       names[static_cast<size_t>(i)].c_str());
          status = 2;
        } else if (complete) {
          std::printf("%s\n", path.c_str());
        } else {
          std::fprintf(stderr, "incomplete: %s (data missing, or its time or attributes not set)\n",
                       path.c_str());
          status = 2;
        }
      });
  reader.close();
  return status;
}

int RunUnpack(const vx::cli::Args& args) {
  using vx::cli::Option;
  UnpackRequest r;
  const auto password = [&r](const std::string& value) {
    r.password = value;
    r.havePassword = true;
    return std::string();
  };
  const std::vector<Option> options = {
      {{"--password", "-P"}, Option::Takes::ValueOrInline, nullptr, password},
      {{"--threads"},
       Option::Takes::ValueOrInline,
       nullptr,
       [&r](const std::string& value) {
         return vx::cli::ParseThreadCount(value, r.threads) ? std::string() : vx::cli::kThreadsRule;
       }},
  };
  const vx::cli::ParsedArgs parsed = vx::cli::ParseOptions(args, options);
  if (parsed.outcome == vx::cli::ParsedArgs::Outcome::Help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (parsed.outcome == vx::cli::ParsedArgs::Outcome::UsageError)
    return vx::cli::UsageError("unpack", parsed.problem, kUsage);
  const std::vector<std::string>& operands = parsed.operands;
  if (operands.empty()) return vx::cli::UsageError("unpack", "no archive given", kUsage);
  if (operands.size() > 2)
    return vx::cli::UsageError("unpack", "unexpected argument '" + operands[2] + "'", kUsage);
  r.archive = operands[0];
  if (operands.size() > 1) r.folder = operands[1];

  vx::ZipDiskFile source;
  if (LooksLikeExecutable(r.archive)) {
    if (!OpenPackage(r, source)) return 2;
  } else if (!source.open(r.archive)) {
    std::fprintf(stderr, "error: %s: cannot open the file (%s)\n", r.archive.c_str(), std::strerror(errno));
    return 2;
  }

  if (!r.folder.empty()) vx::CreateFolders(r.folder);
  try {
    return ExtractFiles(source, r);
  } catch (const vx::CZipException& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "error: %s\n", e.message().c_str());
  } catch (const vx::FileException& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "error: %s\n", e.what());
  }
  return 2;
}

}  // namespace

VX_CLI_COMMAND("unpack", "extract a ZIP file or a package's archive", RunUnpack);
