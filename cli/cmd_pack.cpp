// vellumix-cli pack: writes a ZIP archive with the package archive writer.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/options.h"
#include "common/file.h"
#include "zipwriter/zip_writer.h"

namespace {

const char kUsage[] = "usage: vellumix-cli pack [--password TEXT] [--threads N] ARCHIVE FILE...\n";

void PrintHelp() {
  std::printf(
      "%s\n"
      "Writes ARCHIVE as a ZIP file holding every FILE, in the order given, each under\n"
      "its last path component. Entries whose names end in .Z, .zip, .zoo, .arc, .lzh,\n"
      ".arj, .gz or .tgz are stored, all others deflated at level 8.\n"
      "\n"
      "  --password TEXT  encrypt every entry with the traditional PKWARE scheme\n"
      "  --threads N      compress on N threads, 1 to 16 (default: the processor count,\n"
      "                   at most 16); the archive is the same for every N\n"
      "  --               ends the options\n"
      "\n"
      "Exit status: 0 when every file was added; 2 when the archive could not be made or\n"
      "a file could not be added (one line on stderr for each; the archive still holds\n"
      "the others); 1 for a usage error.\n",
      kUsage);
}

int UsageError(const std::string& problem) { return vx::cli::UsageError("pack", problem, kUsage); }

int RunPack(const vx::cli::Args& args) {
  using vx::cli::Option;
  std::string password;
  bool havePassword = false;
  unsigned threads = 0;  // the processor count
  const std::vector<Option> options = {
      {{"--password"},
       Option::Takes::ValueOrInline,
       nullptr,
       [&](const std::string& value) {
         password = value;
         havePassword = true;
         return std::string();
       }},
      {{"--threads"},
       Option::Takes::ValueOrInline,
       nullptr,
       [&](const std::string& value) {
         return vx::cli::ParseThreadCount(value, threads) ? std::string() : vx::cli::kThreadsRule;
       }},
  };
  const vx::cli::ParsedArgs parsed = vx::cli::ParseOptions(args, options, "unknown option %s");
  if (parsed.outcome == vx::cli::ParsedArgs::Outcome::Help) {
    PrintHelp();
    return 0;
  }
  if (parsed.outcome == vx::cli::ParsedArgs::Outcome::UsageError) return UsageError(parsed.problem);
  const std::vector<std::string>& operands = parsed.operands;
  if (operands.size() < 2) return UsageError("an archive and at least one file are needed");

  const std::string& archive = operands[0];
  vx::ZipWriterHandle* zip =
      vx::ZipWriter::create(archive, havePassword ? password.c_str() : nullptr, threads);
  if (!zip) {
    std::fprintf(stderr, "vellumix-cli pack: %s: %s\n", archive.c_str(),
                 vx::ZipResultText(vx::kZipOpenFailed));
    return 2;
  }
  int status = 0;
  for (size_t i = 1; i < operands.size(); ++i) {
    const std::string& file = operands[i];
    const uint32_t r = vx::ZipWriter::addFile(zip, vx::LastPathComponent(file), file);
    if (r != vx::kZipOk) {
      std::fprintf(stderr, "vellumix-cli pack: %s: %s (0x%08X)\n", file.c_str(), vx::ZipResultText(r),
                   static_cast<unsigned>(r));
      status = 2;
    }
  }
  const uint32_t r = vx::ZipWriter::close(zip);
  if (r != vx::kZipOk) {
    std::fprintf(stderr, "vellumix-cli pack: %s: %s (0x%08X)\n", archive.c_str(), vx::ZipResultText(r),
                 static_cast<unsigned>(r));
    status = 2;
  }
  return status;
}

}  // namespace

VX_CLI_COMMAND("pack", "write a ZIP archive of files (optionally encrypted)", RunPack);
