#include "packager/app/subclassed_control.h"

#include "framework/app.h"

namespace {

// The window property that leads from a control to its object.
constexpr char kObjectProperty[] = "vx.SubclassedControl";

}  // namespace

bool SubclassedControl::attach(HWND dialog, int id) {
  detach();
  const HWND hwnd = ::GetDlgItem(dialog, id);
  if (!hwnd || !::SetPropA(hwnd, kObjectProperty, this)) return false;
  m_hwnd = hwnd;
  m_original = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassedControl::Procedure)));
  return true;
}

void SubclassedControl::detach() {
  if (!m_hwnd) return;
  if (::IsWindow(m_hwnd)) {
    ::SetWindowLongPtrA(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_original));
    ::RemovePropA(m_hwnd, kObjectProperty);
  }
  m_hwnd = nullptr;
  m_original = nullptr;
}

LRESULT CALLBACK SubclassedControl::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<SubclassedControl*>(::GetPropA(hwnd, kObjectProperty));
  if (!self) return ::DefWindowProcA(hwnd, message, wParam, lParam);
  LRESULT result = 0;
  try {
    result = self->WindowProc(message, wParam, lParam);
  } catch (...) {
    vx::win::ReportCurrentException();
  }
  // The window goes: it gets its own procedure back, the object lets go of it.
  if (message == WM_NCDESTROY) self->detach();
  return result;
}
