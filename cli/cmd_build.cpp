// vellumix-cli build: the package builder without the window.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/options.h"
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

int UsageError(const std::string& problem) { return vx::cli::UsageError("build", problem, kUsage); }

// The key under which two paths count as the same file: the absolute, normalised
// path (letters folded on Windows, where the file system ignores case).
std::string SamePathKey(const std::string& path) {
  std::string key = vx::AbsolutePath(path);
  vx::FoldPathLetters(key);
  return key;
}

// The stub the build put beside the tool; for a host build, the win32 build's.
std::string DefaultStub() {
  const std::string here = vx::ExecutableFolder();
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

// The options of a build, applied to the request.
std::vector<vx::cli::Option> BuildOptions(vx::BuildRequest& request) {
  using vx::cli::Option;
  const auto to = [](std::string& field) {
    return [&field](const std::string& value) {
      field = value;
      return std::string();
    };
  };
  const auto set = [](auto& field, auto value) {
    return [&field, value](const std::string&) {
      field = value;
      return std::string();
    };
  };
  return {
      {{"--slideshow"},
       Option::Takes::Nothing,
       nullptr,
       set(request.packageType, vx::PackageType::Slideshow)},
      {{"--fullscreen"}, Option::Takes::Nothing, nullptr, set(request.fullScreen, true)},
      {{"--main"}, Option::Takes::Value, "--main needs a movie", to(request.mainMovie)},
      {{"--title"}, Option::Takes::Value, "--title needs a text", to(request.title)},
      {{"--flash-ocx"},
       Option::Takes::Value,
       "--flash-ocx needs a file",
       [&request](const std::string& value) {
         request.flashControlPath = value;
         request.autoInstallFlash = true;
         return std::string();
       }},
      {{"--icon"}, Option::Takes::Value, "--icon needs a file", to(request.iconPath)},
      {{"--version-info"},
       Option::Takes::Value,
       "--version-info needs KEY=VALUE",
       [&request](const std::string& setting) {
         std::string key, text, why;
         if (!vx::ParseVersionSetting(setting, key, text, why)) return why;
         request.versionInfo.emplace_back(key, text);
         return std::string();
       }},
      {{"--stub"}, Option::Takes::Value, "--stub needs a file", to(request.stubPath)},
      {{"--threads"},
       Option::Takes::Value,
       nullptr,
       [&request](const std::string& count) {
         return vx::cli::ParseThreadCount(count, request.threads) ? std::string() : vx::cli::kThreadsRule;
       }},
      {{"-o", "--output"}, Option::Takes::Value, "-o needs an output file", to(request.outputPath)},
  };
}

// The checks of the request as given: an output, a title that fits, a main movie
// unless it is a slideshow. Returns the exit status of a failed check, or 0.
int CheckRequest(vx::BuildRequest& request) {
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
  return 0;
}

// The list's rules: one row per full path, and never the main movie's own path.
void AddRows(vx::BuildRequest& request, const std::vector<std::string>& files) {
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
}

// Builds the package with its work files in a private folder, not in any installation
// folder; prints the outcome. Returns the exit status.
int Build(vx::BuildRequest& request) {
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

  for (const std::string& note : outcome.notes)
    std::fprintf(stderr, "vellumix-cli build: note: %s\n", note.c_str());
  if (!outcome.succeeded) {
    std::fprintf(stderr, "vellumix-cli build: %s\n", outcome.describe().c_str());
    return 2;
  }
  std::printf("%s\t%s\n", request.outputPath.c_str(), outcome.sizeText.c_str());
  return 0;
}

int RunBuild(const vx::cli::Args& args) {
  vx::BuildRequest request;
  request.title = vx::kDefaultTitle;
  const vx::cli::ParsedArgs parsed = vx::cli::ParseOptions(args, BuildOptions(request));
  if (parsed.outcome == vx::cli::ParsedArgs::Outcome::Help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (parsed.outcome == vx::cli::ParsedArgs::Outcome::UsageError) return UsageError(parsed.problem);
  if (const int status = CheckRequest(request)) return status;
  AddRows(request, parsed.operands);

  if (request.stubPath.empty()) {
    request.stubPath = DefaultStub();
    if (request.stubPath.empty()) {
      std::fprintf(stderr,
                   "vellumix-cli build: the player stub Orrinet.exe was found neither beside "
                   "vellumix-cli nor in the win32 build (build/win32/bin); give it with --stub FILE\n");
      return 2;
    }
  }
  return Build(request);
}

}  // namespace

VX_CLI_COMMAND("build", "package a movie and its files into a player executable", RunBuild);
