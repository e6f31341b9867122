// The options of a sub-command: one small parser for every command that takes any, and
// the one usage-error report.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "cli/command.h"

namespace vx::cli {

// One option: its spellings, whether a value follows it, and what it does.
struct Option {
  enum class Takes {
    Nothing,        // a switch
    Value,          // the next argument is the value
    ValueOrInline,  // the next argument, or "--name=VALUE" for a "--" spelling
  };
  std::vector<std::string> names;  // "--password", "-P"
  Takes takes = Takes::Nothing;
  // The problem when the value is missing; nullptr: "NAME needs a value", with NAME as
  // given on the command line.
  const char* missingValue = nullptr;
  // Applies the option (the value is empty for a switch): "" when accepted, else the
  // problem, reported as a usage error.
  std::function<std::string(const std::string& value)> apply;
};

struct ParsedArgs {
  enum class Outcome { Run, Help, UsageError };
  Outcome outcome = Outcome::Run;
  std::string problem;                // for UsageError
  std::vector<std::string> operands;  // the arguments that are not options, in order
};

// Goes through the arguments in order. "--help" or "-h" asks for help; "--" ends the
// options; an argument of two or more characters starting with "-" is an option, any
// other argument an operand. The first problem ends the parse; `unknownOption` is the
// problem of an unknown option, a printf format taking the argument.
ParsedArgs ParseOptions(const Args& args, const std::vector<Option>& options,
                        const char* unknownOption = "unknown option '%s'");

// A usage error of a sub-command on stderr: "vellumix-cli COMMAND: PROBLEM" and the
// usage lines, the part of `usage` up to its first blank line. Returns 1, the exit
// status of a usage error.
int UsageError(const char* command, const std::string& problem, const char* usage);

}  // namespace vx::cli
