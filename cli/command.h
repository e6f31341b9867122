// Sub-commands of vellumix-cli. Each lives in its own cmd_*.cpp and registers itself
// with VX_CLI_COMMAND, so adding one touches no other file.
#pragma once
#include <string>
#include <vector>

namespace vx::cli {

using Args = std::vector<std::string>;  // arguments after the sub-command's name

struct Command {
  const char* name;
  const char* summary;           // one line for the overview
  int (*run)(const Args& args);  // exit code
};

bool RegisterCommand(const Command& c);
const std::vector<Command>& Commands();

// The value of a --threads option: a whole number from 1 to 16. False for anything
// else (no digits, other characters, 0, more than 16); kThreadsRule says so.
bool ParseThreadCount(const std::string& text, unsigned& threads);
inline constexpr const char kThreadsRule[] = "--threads takes a whole number from 1 to 16";

}  // namespace vx::cli

#define VX_CLI_CONCAT2(a, b) a##b
#define VX_CLI_CONCAT(a, b) VX_CLI_CONCAT2(a, b)
#define VX_CLI_COMMAND(name, summary, fn)                         \
  static const bool VX_CLI_CONCAT(vx_cli_registered_, __LINE__) = \
      ::vx::cli::RegisterCommand({name, summary, fn})
