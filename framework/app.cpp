#include "framework/app.h"

#include <ole2.h>

#include <stdexcept>

#include "common/win32_handles.h"
#include "common/win32_text.h"

namespace vx::win {

namespace {

App* g_app = nullptr;
bool g_oleInitialized = false;

std::string ExecutableName() {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name(path, n < MAX_PATH ? n : 0);
  name.erase(0, name.find_last_of(L"\\/") + 1);
  const size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos && dot > 0) name.erase(dot);
  return Utf8(name);
}

// VX_MESSAGES_TO: the text (UTF-8) is appended to the file instead of shown.
bool WriteMessageToFile(const std::string& text) {
  wchar_t target[MAX_PATH];
  const DWORD n = ::GetEnvironmentVariableW(L"VX_MESSAGES_TO", target, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  std::string line;
  for (char c : text) {
    if (c == '\n') line += "\\n";
    else if (c != '\r') line += c;
  }
  line += "\r\n";
  UniqueHandle file(::CreateFileW(target, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  return true;
}

// What the hook answers for a box of `type`: never Yes, OK of OK/Cancel, Retry or
// Ignore, which would start what the box offers.
int NoActionAnswer(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL:
    case MB_CANCELTRYCONTINUE: return IDCANCEL;
    case MB_YESNO: return IDNO;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDOK;
  }
}

}  // namespace

App::App() : m_instance(::GetModuleHandleA(nullptr)), m_name(ExecutableName()) { g_app = this; }

App::~App() {
  if (g_app == this) g_app = nullptr;
}

App* App::Current() { return g_app; }

std::string LoadText(UINT id) {
  char buf[1024];
  const int n = ::LoadStringA(::GetModuleHandleA(nullptr), id, buf, sizeof(buf));
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

HICON LoadAppIcon(UINT id) { return ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)); }

int MessageBoxUtf8(const std::string& text, UINT type) {
  if (WriteMessageToFile(text)) return NoActionAnswer(type);
  const std::string caption = g_app ? g_app->m_name : ExecutableName();
  HWND owner = g_app && g_app->m_mainWindow ? g_app->m_mainWindow->handle() : nullptr;
  if (owner && !::IsWindowEnabled(owner)) owner = nullptr;
  if (!(type & MB_ICONMASK)) {
    const UINT kind = type & MB_TYPEMASK;
    type |= (kind == MB_YESNO || kind == MB_YESNOCANCEL) ? MB_ICONQUESTION : MB_ICONEXCLAMATION;
  }
  return ::MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), type);
}

int MessageBoxAnsi(const std::string& text, UINT type) { return MessageBoxUtf8(AnsiToUtf8(text), type); }

void ReportException(const std::exception& e) {
  try {
    MessageBoxUtf8(e.what(), MB_OK | MB_ICONSTOP);
  } catch (...) {
    // Not even the report could be made (no memory for its text): nothing more to do.
  }
}

void ReportCurrentException() {
  try {
    throw;
  } catch (const std::exception& e) {
    ReportException(e);
  } catch (...) {
    ReportException(std::runtime_error("Unknown error"));
  }
}

void UseOle() {
  if (!g_oleInitialized) g_oleInitialized = SUCCEEDED(::OleInitialize(nullptr));
}

}  // namespace vx::win

// The program's entry point. It lives in this file so that the object holding it is
// linked whenever the program uses App.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using vx::win::App;
  App* app = App::Current();
  if (!app) return -1;
  int result = -1;
  try {
    app->Run();
    result = app->ExitInstance();
  } catch (...) {
    vx::win::ReportCurrentException();
    try {
      app->ExitInstance();
    } catch (...) {
    }
  }
  if (vx::win::g_oleInitialized) ::OleUninitialize();
  return result;
}
