// Dialog: a window made from a dialog template of the executable, with its object in
// the window's DWLP_USER and a few virtual handlers.
//
// doModal creates the dialog with CreateDialogParam (its owner disabled meanwhile) and
// runs a modal loop of its own, so that every message for the dialog or one of its
// controls reaches PreTranslateMessage before anything else: the player's window needs
// its hosted control to see its keys before the dialog manager does. The default
// PreTranslateMessage gives keyboard messages to IsDialogMessage (Tab, Enter, Esc,
// mnemonics; a control that answers WM_GETDLGCODE with DLGC_WANTALLKEYS gets them all).
// endDialog ends the loop; doModal then destroys the window, re-enables the owner and
// returns the result.
//
// The dialog procedure calls OnInitDialog, OnCommand, OnNotify and OnTimer for their
// messages, and OnMessage for every other one; a message no handler takes gets the
// dialog manager's default processing. Exceptions never leave the dialog procedure:
// OnException gets them (its default shows the text in a message box), and one out of
// OnInitDialog ends the dialog with -1. A dialog ended during its initialisation is
// destroyed before it is ever shown.
//
// A top-level dialog passes WM_SYSCOLORCHANGE, which the system sends to top-level
// windows only, on to all its descendants: controls draw with the system colours too.
// With setIcon the dialog shows its icon in the caption, draws it while minimised and
// gives it as the drag icon.
#pragma once
#include <windows.h>

#include <exception>

#include "framework/window.h"

namespace vx::win {

class Dialog : public Window {
 public:
  explicit Dialog(UINT templateId) : m_templateId(templateId) {}
  // A window still open is destroyed without calling the object's handlers.
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally; the value passed to endDialog, or -1 when the dialog could
  // not be created or its initialisation failed.
  INT_PTR doModal(HWND owner = nullptr);
  // Creates the dialog modeless (no loop); false when it could not be created.
  bool create(HWND owner = nullptr);
  // Ends a modal dialog with `result`; hides a modeless one.
  void endDialog(INT_PTR result);
  void destroy();
  void setIcon(HICON icon);

 protected:
  // After the controls exist, before the dialog shows; true lets the dialog manager
  // put the focus on the first control.
  virtual bool OnInitDialog() { return true; }
  // WM_COMMAND; true when handled. By default IDOK and IDCANCEL (a button, Enter, Esc)
  // end the dialog with their id.
  virtual bool OnCommand(int id, int code, HWND control);
  // WM_NOTIFY; true when handled, with the notification's answer in `result`.
  virtual bool OnNotify(const NMHDR& header, LRESULT& result);
  virtual void OnTimer(UINT_PTR id);
  // Every other message; true when handled, with its answer in `result`.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // A message of the modal loop for the dialog or one of its controls, before it is
  // translated and dispatched; true when it was consumed.
  virtual bool PreTranslateMessage(MSG& msg);
  // A handler threw during `message`.
  virtual void OnException(UINT message, const std::exception& e);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  bool dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void reportFailure(UINT message);
  void paintIcon();

  UINT m_templateId;
  HICON m_icon = nullptr;
  bool m_modal = false;
  bool m_ended = false;
  INT_PTR m_result = -1;
};

}  // namespace vx::win
