// The window layer that the two programs share, in three parts: a window is a small
// value around an HWND (this file); a dialog runs from a template, with its object in
// DWLP_USER and a few virtual handlers (dialog.h); the application object, the message
// boxes and the reports of exceptions that reach the system's code are in app.h. What
// one program alone uses lives beside that program (packager/app/, player/).
#pragma once
#include <windows.h>

#include <string>

namespace vx::win {

// A window: its handle and a few thin helpers. It owns nothing; a copy refers to the
// same window. Texts are in the system's ANSI code page, as the packager's controls
// hold them.
class Window {
 public:
  Window(HWND hwnd = nullptr) : m_hwnd(hwnd) {}
  HWND handle() const { return m_hwnd; }
  operator HWND() const { return m_hwnd; }

  // The control `id` of this dialog (a null window when there is none).
  Window item(int id) const { return Window(::GetDlgItem(m_hwnd, id)); }
  std::string text() const {
    std::string s(static_cast<size_t>(::GetWindowTextLengthA(m_hwnd)) + 1, '\0');
    const int n = ::GetWindowTextA(m_hwnd, &s[0], static_cast<int>(s.size()));
    s.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return s;
  }
  void setText(const std::string& text) const { ::SetWindowTextA(m_hwnd, text.c_str()); }
  LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageA(m_hwnd, message, wParam, lParam);
  }
  bool post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::PostMessageA(m_hwnd, message, wParam, lParam) != FALSE;
  }
  void enable(bool on) const { ::EnableWindow(m_hwnd, on); }
  bool enabled() const { return ::IsWindowEnabled(m_hwnd) != FALSE; }
  void invalidate() const { ::InvalidateRect(m_hwnd, nullptr, TRUE); }
  DWORD style() const { return static_cast<DWORD>(::GetWindowLongA(m_hwnd, GWL_STYLE)); }
  // Removes and adds style bits; with `swpFlags`, SetWindowPos then applies them (for
  // example SWP_FRAMECHANGED) without moving, sizing, ordering or activating.
  void modifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0) const {
    ::SetWindowLongA(m_hwnd, GWL_STYLE, static_cast<LONG>((style() & ~remove) | add));
    if (swpFlags)
      ::SetWindowPos(m_hwnd, nullptr, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
  }

 protected:
  HWND m_hwnd;
};

}  // namespace vx::win
