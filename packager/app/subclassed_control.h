// SubclassedControl: a control of the packager's dialog template whose messages run
// through an object of ours first (the owner-drawn image buttons, the bold labels).
// attach replaces the control's window procedure; the object's WindowProc sees every
// message and passes what it does not handle on with callDefault. The control gets its
// own procedure back when the object or the window goes. Exceptions never leave the
// window procedure: they are reported (vx::win::ReportException).
#pragma once
#include <windows.h>

#include "framework/window.h"

class SubclassedControl : public vx::win::Window {
 public:
  SubclassedControl() = default;
  virtual ~SubclassedControl() { detach(); }
  SubclassedControl(const SubclassedControl&) = delete;
  SubclassedControl& operator=(const SubclassedControl&) = delete;

  // Takes over the control `id` of `dialog`; false when there is none.
  bool attach(HWND dialog, int id);

 protected:
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return callDefault(message, wParam, lParam);
  }
  // The control's own processing of a message.
  LRESULT callDefault(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcA(m_original, m_hwnd, message, wParam, lParam);
  }

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void detach();

  WNDPROC m_original = nullptr;
};
