// CWinApp: the application object. A program defines exactly one object of a class
// derived from it (at namespace scope); the framework's WinMain finds it through
// AfxGetApp, runs InitInstance and then either the message loop (InitInstance
// returned TRUE) or nothing, and always ExitInstance, whose result is the process's
// exit code.
//
// Message boxes: AfxMessageBox captions every box with the executable's file name
// without extension.
//
// Test hook: when the environment variable VX_MESSAGES_TO names a file, the box is not
// shown; its text is appended to that file as one line of UTF-8 (line breaks in the
// text become "\n") and the call answers as a user who takes no action would: Cancel or No where
// the box has them (so a Yes that starts a program is never chosen), otherwise its
// only or safest button. Automated tests use it to read what a program would tell its
// user without a human to close the box; it is not a feature for users.
#pragma once
#include <windows.h>

#include <exception>
#include <string>

class CWnd;

class CWinApp {
 public:
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The start hook; return FALSE to end the program (ExitInstance still runs).
  virtual BOOL InitInstance();
  // The end hook; the value returned is the process's exit code.
  virtual int ExitInstance();
  // The message loop, run when InitInstance returned TRUE; returns ExitInstance().
  virtual int Run();
  // Called for every message of the Run loop before it is dispatched.
  virtual BOOL PreTranslateMessage(MSG* pMsg);

  HINSTANCE m_hInstance = nullptr;
  CWnd* m_pMainWnd = nullptr;
  // The executable's full path and its file name without extension.
  std::string m_strModulePath;
  std::string m_strAppName;
  int m_nCmdShow = SW_SHOWNORMAL;

  HICON LoadIcon(UINT nId) const;
  std::string LoadString(UINT nId) const;  // empty when missing

 private:
  friend int AfxWinMain(HINSTANCE, int);
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// The program's entry point body: what WinMain runs.
int AfxWinMain(HINSTANCE hInstance, int nCmdShow);

// `text` in the system's ANSI code page, as the window's controls hold text.
int AfxMessageBox(const char* text, UINT nType = MB_OK, UINT nIdHelp = 0);
// The same box for UTF-8 text: our own strings, file names and the exceptions' texts,
// whose characters a code page may lack.
int MessageBoxUtf8(const std::string& text, UINT nType = MB_OK);
int AfxMessageBox(UINT nIdPrompt, UINT nType = MB_OK, UINT nIdHelp = 0);
// What the hook answers for a box of type nType (MB_OK, MB_YESNOCANCEL, ...).
int AfxMessageBoxHookAnswer(UINT nType);

// Reports an exception that reached a boundary where our code was called by the
// system (window procedure, thread start, window hook, COM method): its text (UTF-8,
// as all our exceptions' texts are) in a message box with the stop icon. Never throws.
void AfxReportException(const std::exception& e);
// The same for the exception being handled; call it inside a catch block. Any other
// thrown object is reported as "Unknown error".
void AfxReportCurrentException();

// Makes the program an ActiveX control container: OLE is initialised on the calling
// (user-interface) thread until the application object has finished ExitInstance.
void AfxEnableControlContainer();
// Kept for the programs' start-up code; common controls are drawn in the system's
// own style, so there is nothing to switch on.
inline void Enable3dControls() {}
