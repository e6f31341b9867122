#include "cli/options.h"

#include <cstdio>

namespace vx::cli {
namespace {

// The option spelled `arg`, with its inline value when given as "--name=VALUE".
const Option* FindOption(const std::vector<Option>& options, const std::string& arg, std::string& inlineValue,
                         bool& hasInline) {
  for (const Option& o : options) {
    for (const std::string& name : o.names) {
      if (arg == name) return &o;
      if (o.takes == Option::Takes::ValueOrInline && name.compare(0, 2, "--") == 0 &&
          arg.compare(0, name.size() + 1, name + "=") == 0) {
        inlineValue = arg.substr(name.size() + 1);
        hasInline = true;
        return &o;
      }
    }
  }
  return nullptr;
}

std::string Format(const char* format, const std::string& arg) {
  const int n = std::snprintf(nullptr, 0, format, arg.c_str());
  if (n <= 0) return std::string();
  std::string text(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&text[0], text.size(), format, arg.c_str());
  text.resize(static_cast<size_t>(n));
  return text;
}

}  // namespace

ParsedArgs ParseOptions(const Args& args, const std::vector<Option>& options, const char* unknownOption) {
  ParsedArgs parsed;
  auto fail = [&parsed](std::string problem) {
    parsed.outcome = ParsedArgs::Outcome::UsageError;
    parsed.problem = std::move(problem);
    return parsed;
  };
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      parsed.operands.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    if (a == "--help" || a == "-h") {
      parsed.outcome = ParsedArgs::Outcome::Help;
      return parsed;
    }
    std::string value;
    bool hasInline = false;
    const Option* option = FindOption(options, a, value, hasInline);
    if (!option) return fail(Format(unknownOption, a));
    if (option->takes != Option::Takes::Nothing && !hasInline) {
      if (i + 1 >= args.size())
        return fail(option->missingValue ? option->missingValue : a + " needs a value");
      value = args[++i];
    }
    std::string problem = option->apply(value);
    if (!problem.empty()) return fail(std::move(problem));
  }
  return parsed;
}

int UsageError(const char* command, const std::string& problem, const char* usage) {
  const std::string text(usage);
  const size_t blank = text.find("\n\n");
  const std::string lines = blank == std::string::npos ? text : text.substr(0, blank + 1);
  std::fprintf(stderr, "vellumix-cli %s: %s\n%s", command, problem.c_str(), lines.c_str());
  return 1;
}

}  // namespace vx::cli
