#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

#include "common/program_args.h"
#include "common/win32_text.h"

namespace vx {

namespace {

UINT g_consoleOutputCodePage = 0;

// The console belongs to whoever started the program: its code page goes back.
void RestoreConsoleOutput() {
  if (g_consoleOutputCodePage != 0) SetConsoleOutputCP(g_consoleOutputCodePage);
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  if (const UINT codePage = GetConsoleOutputCP();
      codePage != 0 && codePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
    g_consoleOutputCodePage = codePage;
    std::atexit(RestoreConsoleOutput);
  }
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(win::Utf8(wide[i], wcslen(wide[i])));
  LocalFree(wide);
  return args;
}

}  // namespace vx
