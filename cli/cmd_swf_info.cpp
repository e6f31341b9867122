// vellumix-cli swf-info FILE...: the stage size and background colour of movies, as the
// packager's list and the player's window see them.
//
//   FILE<TAB>WIDTH * HEIGHT<TAB>0xRRGGBB
//
// with "-" for the colour when the movie's first tag is not SetBackgroundColor.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "common/file_exception.h"
#include "common/swf_header.h"

namespace {

// The file being read, for the reader's messages.
const char* g_currentFile = "";

void PrintReaderMessage(const char* text) {
  std::fprintf(stderr, "%s: %s\n", g_currentFile, text);
  std::fflush(stderr);
}

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: vellumix-cli swf-info FILE...\n"
               "\n"
               "Prints one line per movie: FILE<TAB>WIDTH * HEIGHT<TAB>0xRRGGBB, the stage size\n"
               "in pixels and the background colour of its first tag (\"-\" when the first tag\n"
               "is not SetBackgroundColor). Reader messages (\"Failed to locate\") go to stderr.\n"
               "Exit status: 0; 2 when a file could not be opened (the others are still\n"
               "printed); 1 for a usage error.\n");
}

int RunSwfInfo(const vx::cli::Args& args) {
  std::vector<std::string> files;
  bool optionsDone = false;
  for (const std::string& a : args) {
    if (!optionsDone && (a == "--help" || a == "-h")) {
      PrintUsage(stdout);
      return 0;
    }
    if (!optionsDone && a == "--") {
      optionsDone = true;
      continue;
    }
    if (!optionsDone && a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "vellumix-cli swf-info: unknown option '%s'\n", a.c_str());
      PrintUsage(stderr);
      return 1;
    }
    files.push_back(a);
  }
  if (files.empty()) {
    std::fprintf(stderr, "vellumix-cli swf-info: no movie given\n");
    PrintUsage(stderr);
    return 1;
  }

  vx::SetSwfMessageHandler(&PrintReaderMessage);
  int status = 0;
  for (const std::string& file : files) {
    g_currentFile = file.c_str();
    uint32_t colour = vx::kNoColour;
    try {
      vx::SwfDimension d = vx::ReadSwfDimension(file, colour);
      std::string colourText = "-";
      if (colour != vx::kNoColour) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%06X", static_cast<unsigned>(colour));
        colourText = buf;
      }
      std::printf("%s\t%d * %d\t%s\n", file.c_str(), static_cast<int>(d.width), static_cast<int>(d.height),
                  colourText.c_str());
      std::fflush(stdout);
    } catch (const vx::FileException& e) {
      std::fprintf(stderr, "vellumix-cli swf-info: %s: cannot open the file\n", e.fileName().c_str());
      status = 2;
    }
  }
  vx::SetSwfMessageHandler(nullptr);
  return status;
}

}  // namespace

VX_CLI_COMMAND("swf-info", "stage size and background colour of SWF movies", RunSwfInfo);
