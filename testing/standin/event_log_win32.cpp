#include "common/win32_handles.h"
#include "common/win32_text.h"
#include "testing/standin/standin.h"

namespace vx::standin {

std::string Environment(const char* name) {
  wchar_t buf[1024];
  DWORD n = GetEnvironmentVariableW(vx::win::Wide(name).c_str(), buf, 1024);
  if (n == 0 || n >= 1024) return std::string();
  return vx::win::Utf8(buf, n);
}

void LogEvent(const std::string& line) {
  std::string path = Environment("FLASH_STANDIN_LOG");
  if (path.empty()) return;
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end, even
  // when another process appends to the same file.
  vx::win::UniqueHandle file(CreateFileW(vx::win::Wide(path).c_str(), FILE_APPEND_DATA,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace vx::standin
