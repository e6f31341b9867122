#include "framework/app.h"

#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "common/win32_handles.h"
#include "common/win32_text.h"
#include "framework/wnd.h"

namespace {

CWinApp* g_pApp = nullptr;
bool g_bOleInitialized = false;

std::string ModulePath(HINSTANCE hInstance) {
  char buf[MAX_PATH];
  DWORD n = GetModuleFileNameA(hInstance, buf, sizeof(buf));
  return std::string(buf, n < sizeof(buf) ? n : 0);
}

std::string NameWithoutExtension(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

// VX_MESSAGES_TO: append the text (UTF-8) instead of showing the box (see app.h).
bool WriteMessageToFile(const std::string& text) {
  wchar_t target[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"VX_MESSAGES_TO", target, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') line += "\\n";
    else line += c;
  }
  line += "\r\n";
  vx::win::UniqueHandle file(CreateFileW(target, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  return true;
}

}  // namespace

int AfxMessageBoxHookAnswer(UINT nType) {
  switch (nType & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL:
    case MB_CANCELTRYCONTINUE: return IDCANCEL;
    case MB_YESNO: return IDNO;
    case MB_ABORTRETRYIGNORE: return IDABORT;  // stops; never retries or goes on
    default: return IDOK;
  }
}

void AfxReportException(const std::exception& e) {
  try {
    MessageBoxUtf8(e.what(), MB_OK | MB_ICONSTOP);
  } catch (...) {
    // Not even the report could be made (no memory for its text): nothing more to do.
  }
}

void AfxReportCurrentException() {
  try {
    throw;
  } catch (const std::exception& e) {
    AfxReportException(e);
  } catch (...) {
    AfxReportException(std::runtime_error("Unknown error"));
  }
}

CWinApp::CWinApp(const char* appName) {
  g_pApp = this;
  m_hInstance = GetModuleHandleA(nullptr);
  m_strModulePath = ModulePath(m_hInstance);
  m_strAppName = appName ? appName : NameWithoutExtension(m_strModulePath);
}

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

BOOL CWinApp::PreTranslateMessage(MSG* pMsg) { return CWnd::WalkPreTranslateTree(nullptr, pMsg); }

int CWinApp::Run() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!PreTranslateMessage(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return ExitInstance();
}

HICON CWinApp::LoadIcon(UINT nId) const { return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(nId)); }

std::string CWinApp::LoadString(UINT nId) const {
  char buf[1024];
  int n = ::LoadStringA(m_hInstance, nId, buf, sizeof(buf));
  return n > 0 ? std::string(buf, n) : std::string();
}

CWinApp* AfxGetApp() { return g_pApp; }

HINSTANCE AfxGetInstanceHandle() { return g_pApp ? g_pApp->m_hInstance : GetModuleHandleA(nullptr); }

int MessageBoxUtf8(const std::string& text, UINT nType) {
  if (WriteMessageToFile(text)) return AfxMessageBoxHookAnswer(nType);
  std::string caption = g_pApp ? g_pApp->m_strAppName : NameWithoutExtension(ModulePath(nullptr));
  HWND owner = nullptr;
  if (g_pApp && g_pApp->m_pMainWnd) owner = g_pApp->m_pMainWnd->GetSafeHwnd();
  if (owner && !IsWindowEnabled(owner)) owner = nullptr;
  if (!(nType & MB_ICONMASK)) {
    UINT kind = nType & MB_TYPEMASK;
    nType |= (kind == MB_YESNO || kind == MB_YESNOCANCEL) ? MB_ICONQUESTION : MB_ICONEXCLAMATION;
  }
  return MessageBoxW(owner, vx::win::Wide(text).c_str(), vx::win::Wide(vx::win::AnsiToUtf8(caption)).c_str(),
                     nType);
}

int AfxMessageBox(const char* text, UINT nType, UINT /*nIdHelp*/) {
  return MessageBoxUtf8(vx::win::AnsiToUtf8(text ? text : ""), nType);
}

int AfxMessageBox(UINT nIdPrompt, UINT nType, UINT nIdHelp) {
  std::string text = g_pApp ? g_pApp->LoadString(nIdPrompt) : std::string();
  return AfxMessageBox(text.c_str(), nType, nIdHelp);
}

void AfxEnableControlContainer() {
  if (!g_bOleInitialized) {
    HRESULT hr = OleInitialize(nullptr);
    g_bOleInitialized = SUCCEEDED(hr);
  }
}

int AfxWinMain(HINSTANCE hInstance, int nCmdShow) {
  CWinApp* app = AfxGetApp();
  if (!app) return -1;
  app->m_hInstance = hInstance;
  app->m_nCmdShow = nCmdShow;
  int result;
  try {
    if (app->InitInstance()) {
      result = app->Run();
    } else {
      result = app->ExitInstance();
    }
  } catch (...) {
    AfxReportCurrentException();
    result = -1;
    try {
      app->ExitInstance();
    } catch (...) {
    }
  }
  if (g_bOleInitialized) {
    OleUninitialize();
    g_bOleInitialized = false;
  }
  return result;
}

// The program's entry point. It lives in this file so that the object holding it is
// linked whenever the program uses CWinApp.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow) {
  return AfxWinMain(hInstance, nCmdShow);
}
