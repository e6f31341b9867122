// vellumix-cli unpack [--password TEXT] ARCHIVE [DIR]: extracts every file entry of a ZIP
// file, or of a package's "ZIP" 129 resource, as the player does: folder parts dropped.
// The archive is read from disk in pieces, never loaded whole.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command.h"
#include "common/file.h"
#include "common/file_exception.h"
#include "common/package_contract.h"
#include "common/pe_resources.h"
#include "zipreader/zip_reader.h"

namespace {

void PrintUsage(FILE* out) {
  std::fprintf(out,
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
               "(\"error: \" and the message) or an entry that could not be extracted.\n");
}

int UsageError(const char* fmt, const char* arg) {
  std::fprintf(stderr, "vellumix-cli unpack: ");
  std::fprintf(stderr, fmt, arg);
  std::fprintf(stderr, "\nusage: vellumix-cli unpack [--password TEXT] [--threads N] ARCHIVE [DIR]\n");
  return 1;
}

// True when the file starts with "MZ", the mark of a Windows executable.
bool LooksLikeExecutable(const std::string& path) {
  vx::File f;
  char magic[2];
  return f.open(path, vx::File::Mode::Read) && f.read(magic, 2) == 2 && magic[0] == 'M' &&
         magic[1] == 'Z';
}

int RunUnpack(const vx::cli::Args& args) {
  std::vector<std::string> positional;
  std::string password;
  bool havePassword = false;
  unsigned threads = 0;  // the processor count
  bool optionsDone = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!optionsDone && (a == "--help" || a == "-h")) {
      PrintUsage(stdout);
      return 0;
    }
    if (!optionsDone && a == "--") {
      optionsDone = true;
    } else if (!optionsDone && (a == "--password" || a == "-P")) {
      if (i + 1 >= args.size()) return UsageError("%s needs a value", a.c_str());
      password = args[++i];
      havePassword = true;
    } else if (!optionsDone && a.compare(0, 11, "--password=") == 0) {
      password = a.substr(11);
      havePassword = true;
    } else if (!optionsDone && (a == "--threads" || a.compare(0, 10, "--threads=") == 0)) {
      std::string value;
      if (a == "--threads") {
        if (i + 1 >= args.size()) return UsageError("%s needs a value", a.c_str());
        value = args[++i];
      } else {
        value = a.substr(10);
      }
      if (!vx::cli::ParseThreadCount(value, threads)) return UsageError("%s", vx::cli::kThreadsRule);
    } else if (!optionsDone && a.size() > 1 && a[0] == '-') {
      return UsageError("unknown option '%s'", a.c_str());
    } else {
      positional.push_back(a);
    }
  }
  if (positional.empty()) return UsageError("%s", "no archive given");
  if (positional.size() > 2) return UsageError("unexpected argument '%s'", positional[2].c_str());
  const std::string archive = positional[0];
  const std::string folder = positional.size() > 1 ? positional[1] : std::string();

  vx::ZipDiskFile source;
  if (LooksLikeExecutable(archive)) {
    std::vector<vx::PeResource> resources;
    std::string error;
    if (!vx::ReadPeResources(archive, resources, &error)) {
      std::fprintf(stderr, "error: %s: %s\n", archive.c_str(), error.c_str());
      return 2;
    }
    const vx::PeResource* zip = vx::FindPeResource(resources, vx::ResourceId("ZIP"), vx::ResourceId(uint16_t(129)));
    if (zip == nullptr) {
      std::fprintf(stderr, "error: %s: the executable has no resource \"ZIP\" 129\n", archive.c_str());
      return 2;
    }
    if (!source.open(archive, zip->fileOffset, zip->size) || source.length() != zip->size) {
      std::fprintf(stderr, "error: %s: the resource \"ZIP\" 129 lies outside the file\n", archive.c_str());
      return 2;
    }
    // A package opens with the password that every package carries.
    if (!havePassword) {
      password = vx::kPackagePassword;
      havePassword = true;
    }
  } else if (!source.open(archive)) {
    std::fprintf(stderr, "error: %s: cannot open the file (%s)\n", archive.c_str(), std::strerror(errno));
    return 2;
  }

  if (!folder.empty()) vx::CreateFolders(folder);
  int status = 0;
  try {
    vx::ZipReader reader;
    reader.open(source);
    reader.setPassword(havePassword ? password.c_str() : nullptr);
    // Every file entry, several at once; the lines come in the archive's order.
    std::vector<int> files;
    std::vector<std::string> names(static_cast<size_t>(reader.entryCount()));
    for (int i = 0; i < reader.entryCount(); ++i) {
      vx::ZipEntryInfo info;
      reader.entryInfo(i, info);
      if (info.isDirectory()) continue;
      files.push_back(i);
      names[static_cast<size_t>(i)] = info.name();
    }
    reader.extractEntries(files, folder, false, 65536, threads,
                          [&](int i, const std::string& path, bool complete) {
                            if (path.empty()) {
                              std::fprintf(stderr, "skipped: '%s' does not name a plain file\n",
                                           names[static_cast<size_t>(i)].c_str());
                              status = 2;
                            } else if (complete) {
                              std::printf("%s\n", path.c_str());
                            } else {
                              std::fprintf(stderr,
                                           "incomplete: %s (data missing, or its time or attributes not set)\n",
                                           path.c_str());
                              status = 2;
                            }
                          });
    reader.close();
  } catch (const vx::CZipException& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "error: %s\n", e.message().c_str());
    return 2;
  } catch (const vx::FileException& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "error: %s\n", e.what());
    return 2;
  }
  return status;
}

}  // namespace

VX_CLI_COMMAND("unpack", "extract a ZIP file or a package's archive", RunUnpack);
