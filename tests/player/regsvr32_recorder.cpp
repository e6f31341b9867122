// regsvr32_recorder.exe: put beside a package as "regsvr32.exe", it is what the
// player's ShellExecute of "regsvr32" starts (the program's own folder is searched
// first). It appends its parameters (the command line after the program name) as one
// line to the file VX_REGSVR32_LOG names, then runs the system's regsvr32 with them and
// passes its exit code on, so that the registration still happens.
#include <windows.h>

#include <string>

#include "common/win32_handles.h"

int main() {
  std::string line = GetCommandLineA();
  // Skip the program name, quoted or not, and the blanks after it.
  size_t pos = 0;
  if (!line.empty() && line[0] == '"') {
    pos = line.find('"', 1);
    pos = pos == std::string::npos ? line.size() : pos + 1;
  } else {
    pos = line.find(' ');
    if (pos == std::string::npos) pos = line.size();
  }
  while (pos < line.size() && line[pos] == ' ') ++pos;
  std::string parameters = line.substr(pos);

  char log[MAX_PATH] = {0};
  if (GetEnvironmentVariableA("VX_REGSVR32_LOG", log, sizeof log) > 0) {
    vx::win::UniqueHandle file(CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      std::string text = parameters + "\n";
      DWORD written = 0;
      WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
  }

  char system[MAX_PATH] = {0};
  GetSystemDirectoryA(system, MAX_PATH);
  std::string command = "\"" + std::string(system) + "\\regsvr32.exe\" " + parameters;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 1;
  vx::win::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}
