// vellumix-cli build: the package builder without the window.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/command.h"
#include "common/empty_folder.h"
#include "common/file.h"
#include "common/package_contract.h"
#include "common/package_description.h"
#include "common/random.h"
#include "packager/core/builder.h"
#include "packager/core/version_info.h"

namespace {

const char kUsage[] =
    "usage: vellumix-cli build [--slideshow] [--main MOVIE] [--title TEXT] [--fullscreen]\n"
    "                          [--flash-ocx FILE] [--icon FILE] [--version-info KEY=VALUE]...\n"
    "                          [--stub FILE] [--threads N] -o OUTPUT [FILE...]\n"
    "\n"
    "Packages MOVIE and the FILEs (in this order, each under its file name) into OUTPUT, a\n"
    "copy of the player stub Orrinet.exe.\n"
    "  --slideshow      a slideshow of the listed movies (no main movie is packaged)\n"
    "  --main MOVIE     the main movie (required unless --slideshow)\n"
    "  --title TEXT     the player window's title, at most 50 characters (default Vellumix)\n"
    "  --fullscreen     play on the full screen\n"
    "  --flash-ocx FILE carry FILE as the Flash 8 control to install when needed\n"
    "  --icon FILE      the package's icon instead of the player's: a Windows icon (.ico,\n"
    "                   at most 64 images, BMP or PNG, each at most 1 MiB) or one PNG image\n"
    "  --version-info KEY=VALUE\n"
    "                   version information for the package's Properties (repeatable):\n"
    "                   the package gets a version resource of its own holding the keys\n"
    "                   given (a later KEY wins), OriginalFilename (default: OUTPUT's name)\n"
    "                   and, when only one of FileVersion and ProductVersion is given, the\n"
    "                   other with its value. KEY is FileVersion, ProductVersion,\n"
    "                   CompanyName, FileDescription, LegalCopyright, ProductName,\n"
    "                   OriginalFilename, InternalName or Comments; FileVersion and\n"
    "                   ProductVersion are a[.b[.c[.d]]], each part 0 to 65535.\n"
    "                   Without it the player's version resource stays.\n"
    "  --stub FILE      the player stub (default: Orrinet.exe beside vellumix-cli, or the\n"
    "                   win32 build's for a host build)\n"
    "  --threads N      compress on N threads, 1 to 16 (default: the processor count,\n"
    "                   at most 16); the package is the same for every N\n"
    "  -o OUTPUT        the package to write\n"
    "A file given twice, or the main movie given again as a FILE, is packaged once. Two\n"
    "files of one name (letter case does not count; package.ini is the package's own)\n"
    "are refused: the player would keep only one of them.\n"
    "\n"
    "Prints OUTPUT and the package's size, separated by a TAB. A stub that is signed\n"
    "gives an unsigned package (its signature would not match), with a note on stderr.\n"
    "Exit status: 0 when the package was made; 2 when it could not be (one line on\n"
    "stderr, and an existing OUTPUT is left as it was), a bad icon among the reasons;\n"
    "1 for a usage error (an unknown version key or a version that does not parse\n"
    "among them) or a missing main movie.\n";

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "vellumix-cli build: %s\n%.*s", problem.c_str(),
               static_cast<int>(std::string(kUsage).find("\n\n") + 1), kUsage);
  return 1;
}

// The key under which two paths count as the same file: the absolute, normalised
// path (letters folded on Windows, where the file system ignores case).
std::string SamePathKey(const std::string& path) {
  std::string key;
  try {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(path), ec);
    if (ec) p = std::filesystem::path(path);
    key = p.lexically_normal().generic_string();
  } catch (const std::exception&) {
    key = path;  // a name the path class cannot convert: compared as it stands
  }
#ifdef _WIN32
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
#endif
  return key;
}

// The stub the build put beside the tool; for a host build, the win32 build's.
std::string DefaultStub() {
  const std::string here = vx::cli::ExecutableFolder();
  const std::string candidates[] = {
      vx::JoinPath(here, "Orrinet.exe"),
      vx::JoinPath(here, std::string("..") + vx::kPathSeparator + ".." + vx::kPathSeparator + "win32" +
                             vx::kPathSeparator + "bin" + vx::kPathSeparator + "Orrinet.exe"),
  };
  for (const std::string& c : candidates)
    if (vx::PathExists(c) && !vx::IsDirectory(c)) return c;
  return std::string();
}

// A fresh folder of our own under the system's temporary folder.
std::string MakePrivateFolder() {
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string folder = vx::JoinPath(vx::TempFolder(), "vellumix-build-" + vx::RandomHex(6));
    if (vx::PathExists(folder)) continue;
    if (vx::CreateFolder(folder)) return folder;
  }
  return std::string();
}

int RunBuild(const vx::cli::Args& args) {
  vx::BuildRequest request;
  request.title = vx::kDefaultTitle;
  std::vector<std::string> files;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
      files.push_back(a);
    } else if (a == "--") {
      optionsEnded = true;
    } else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--slideshow") {
      request.packageType = vx::PackageType::Slideshow;
    } else if (a == "--fullscreen") {
      request.fullScreen = true;
    } else if (a == "--main") {
      if (!value(request.mainMovie)) return UsageError("--main needs a movie");
    } else if (a == "--title") {
      if (!value(request.title)) return UsageError("--title needs a text");
    } else if (a == "--flash-ocx") {
      if (!value(request.flashControlPath)) return UsageError("--flash-ocx needs a file");
      request.autoInstallFlash = true;
    } else if (a == "--icon") {
      if (!value(request.iconPath)) return UsageError("--icon needs a file");
    } else if (a == "--version-info") {
      std::string setting, key, text, why;
      if (!value(setting)) return UsageError("--version-info needs KEY=VALUE");
      if (!vx::ParseVersionSetting(setting, key, text, why)) return UsageError(why);
      request.versionInfo.emplace_back(key, text);
    } else if (a == "--stub") {
      if (!value(request.stubPath)) return UsageError("--stub needs a file");
    } else if (a == "--threads") {
      std::string count;
      if (!value(count)) return UsageError("--threads needs a value");
      if (!vx::cli::ParseThreadCount(count, request.threads)) return UsageError(vx::cli::kThreadsRule);
    } else if (a == "-o" || a == "--output") {
      if (!value(request.outputPath)) return UsageError("-o needs an output file");
    } else {
      return UsageError("unknown option '" + a + "'");
    }
  }
  if (request.outputPath.empty()) return UsageError("no output file given (-o OUTPUT)");
  size_t titleLength = vx::TitleToUtf16(request.title).size();
  if (titleLength > vx::kMaxTitleLength) {
    return UsageError("the title has " + std::to_string(titleLength) + " characters; at most " +
                      std::to_string(vx::kMaxTitleLength) + " are allowed");
  }
  if (request.packageType == vx::PackageType::Slideshow) {
    request.mainMovie.clear();
  } else if (request.mainMovie.empty()) {
    std::fprintf(stderr, "Please choose the main movie to continue!\n");
    return 1;
  }

  // The list's rules: one row per full path, and never the main movie's own path.
  std::vector<std::string> seen;
  if (!request.mainMovie.empty()) seen.push_back(SamePathKey(request.mainMovie));
  for (const std::string& f : files) {
    std::string key = SamePathKey(f);
    bool known = false;
    for (const std::string& s : seen) known = known || s == key;
    if (known) continue;
    seen.push_back(key);
    request.rows.push_back({vx::LastPathComponent(f), f});
  }

  if (request.stubPath.empty()) {
    request.stubPath = DefaultStub();
    if (request.stubPath.empty()) {
      std::fprintf(stderr,
                   "vellumix-cli build: the player stub Orrinet.exe was found neither beside "
                   "vellumix-cli nor in the win32 build (build/win32/bin); give it with --stub FILE\n");
      return 2;
    }
  }

  // The work files go to a private folder, not to any installation folder.
  request.installDir = MakePrivateFolder();
  if (request.installDir.empty()) {
    std::fprintf(stderr, "vellumix-cli build: cannot create a work folder in '%s'\n",
                 vx::TempFolder().c_str());
    return 2;
  }
  request.keepWorkFiles = false;
  vx::BuildOutcome outcome = vx::BuildPackage(request);
  vx::EmptyFolder(request.installDir);
  vx::RemoveFolder(request.installDir);

  for (const std::string& note : outcome.notes) std::fprintf(stderr, "vellumix-cli build: note: %s\n", note.c_str());
  if (!outcome.succeeded) {
    std::fprintf(stderr, "vellumix-cli build: %s\n", outcome.describe().c_str());
    return 2;
  }
  std::printf("%s\t%s\n", request.outputPath.c_str(), outcome.sizeText.c_str());
  return 0;
}

}  // namespace

VX_CLI_COMMAND("build", "package a movie and its files into a player executable", RunBuild);
