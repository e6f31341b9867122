// vellumix-cli: the headless face of the packager and a window onto its archives.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "cli/command.h"
#include "common/processors.h"
#include "common/program_args.h"

namespace vx::cli {

static std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

bool RegisterCommand(const Command& c) {
  Registry().push_back(c);
  return true;
}

const std::vector<Command>& Commands() { return Registry(); }

bool ParseThreadCount(const std::string& text, unsigned& threads) {
  if (text.empty()) return false;
  unsigned n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<unsigned>(c - '0');
    if (n > kMaxThreads) return false;
  }
  if (n < 1 || n > kMaxThreads) return false;
  threads = n;
  return true;
}

}  // namespace vx::cli

static void PrintOverview(FILE* out) {
  std::fprintf(out, "usage: vellumix-cli COMMAND [ARGS...]\n\ncommands:\n");
  for (const auto& c : vx::cli::Commands()) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
  std::fprintf(out, "\n'vellumix-cli COMMAND --help' describes a command.\n");
}

// A sub-command that throws has failed: exit 2, as for every other failure, with one
// line on stderr (an exception leaving main would end the process with the C
// library's abort instead).
static int RunGuarded(const vx::cli::Command& c, const vx::cli::Args& args) {
  try {
    return c.run(args);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "vellumix-cli %s: not enough memory\n", c.name);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vellumix-cli %s: %s\n", c.name, e.what());
  } catch (...) {
    std::fprintf(stderr, "vellumix-cli %s: unexpected error\n", c.name);
  }
  return 2;
}

int main(int argc, char** argv) {
  // UTF-8 on every platform: on Windows from the UTF-16 command line, so that any file
  // name works whatever the code page.
  std::vector<std::string> all;
  try {
    all = vx::ProgramArguments(argc, argv);
  } catch (...) {
    std::fprintf(stderr, "vellumix-cli: not enough memory\n");
    return 2;
  }
  if (all.size() < 2) {
    PrintOverview(stderr);
    return 1;
  }
  const std::string& name = all[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintOverview(stdout);
    return 0;
  }
  for (const auto& c : vx::cli::Commands()) {
    if (name == c.name) {
      try {
        vx::cli::Args args(all.begin() + 2, all.end());
        return RunGuarded(c, args);
      } catch (...) {  // not even the arguments could be copied
        std::fprintf(stderr, "vellumix-cli %s: not enough memory\n", c.name);
        return 2;
      }
    }
  }
  std::fprintf(stderr, "vellumix-cli: unknown command '%s'\n", name.c_str());
  PrintOverview(stderr);
  return 1;
}
