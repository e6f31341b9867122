// App: the application object. A program defines exactly one object of a class derived
// from it, at namespace scope; the WinMain here finds it, calls Run and then always
// ExitInstance, whose result is the process's exit code. An exception out of either is
// reported (ReportException) and makes the exit code -1.
//
// Message boxes are captioned with the executable's file name without extension and
// owned by the application's main window while it runs and is enabled.
//
// Test hook: when the environment variable VX_MESSAGES_TO names a file, a box is not
// shown; its text is appended to that file as one line of UTF-8 (line breaks in the
// text become "\n") and the call answers as a user who takes no action would: Cancel
// or No where the box has them (so a Yes that starts a program is never chosen),
// otherwise its only or safest button. Automated tests use it to read what a program
// would tell its user without a human to close the box; it is not a feature for users.
#pragma once
#include <windows.h>

#include <exception>
#include <string>

#include "framework/window.h"

namespace vx::win {

class App {
 public:
  App();
  virtual ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // The program: its windows and its work. When it returns, the program ends.
  virtual void Run() {}
  // Runs after Run, also when Run threw; the value returned is the exit code.
  virtual int ExitInstance() { return 0; }

  // The program's one application object (null before it is made).
  static App* Current();

  HINSTANCE m_instance;
  // The executable's file name without extension (UTF-8): the message boxes' caption.
  std::string m_name;
  // The window that owns message boxes, while it runs.
  const Window* m_mainWindow = nullptr;
};

// String `id` of the executable's string table, in the ANSI code page; empty when it
// is missing.
std::string LoadText(UINT id);
// Icon `id` of the executable.
HICON LoadAppIcon(UINT id);

// A message box for UTF-8 text: our own strings, file names and the exceptions' texts,
// whose characters a code page may lack. Without an icon in `type`, a question gets
// the question mark and anything else the exclamation mark.
int MessageBoxUtf8(const std::string& text, UINT type = MB_OK);
// The same for text in the system's ANSI code page, as the window's controls hold it.
int MessageBoxAnsi(const std::string& text, UINT type = MB_OK);

// Reports an exception that reached a boundary where the system called our code
// (dialog procedure, thread start, COM method): its text (UTF-8, as all our exceptions'
// texts are) in a message box with the stop icon. Never throws.
void ReportException(const std::exception& e);
// The same for the exception being handled; call it inside a catch block. Any other
// thrown object is reported as "Unknown error".
void ReportCurrentException();

// Initialises OLE on the calling (user-interface) thread until the program has ended:
// the player hosts an ActiveX control, the packager's file dialogs show the shell.
void UseOle();

}  // namespace vx::win
