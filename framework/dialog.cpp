#include "framework/dialog.h"

#include <stdexcept>

#include "framework/app.h"

namespace vx::win {

namespace {

// Messages whose answer the dialog procedure returns itself instead of leaving it in
// DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
  return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_QUERYDRAGICON ||
         message == WM_COMPAREITEM || message == WM_VKEYTOITEM || message == WM_CHARTOITEM;
}

BOOL CALLBACK SendToDescendant(HWND hwnd, LPARAM message) {
  ::SendMessageA(hwnd, static_cast<UINT>(message), 0, 0);
  return TRUE;
}

}  // namespace

Dialog::~Dialog() {
  if (m_hwnd && ::IsWindow(m_hwnd)) {
    ::SetWindowLongPtrA(m_hwnd, DWLP_USER, 0);
    ::DestroyWindow(m_hwnd);
  }
}

bool Dialog::create(HWND owner) {
  m_ended = false;
  m_result = -1;
  HWND hwnd = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId), owner,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
  return hwnd && ::IsWindow(hwnd);
}

INT_PTR Dialog::doModal(HWND owner) {
  // Not created, or ended during its initialisation (the window is gone already).
  if (!create(owner)) return m_ended ? m_result : -1;
  const bool ownerDisabled = owner && ::IsWindowEnabled(owner);
  if (ownerDisabled) ::EnableWindow(owner, FALSE);
  if (!m_ended && !(style() & WS_VISIBLE)) ::ShowWindow(m_hwnd, SW_SHOWNORMAL);
  m_modal = true;
  MSG msg;
  while (!m_ended) {
    if (::GetMessageA(&msg, nullptr, 0, 0) <= 0) {
      // WM_QUIT: the dialog ends and leaves the quit to an outer loop.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    bool consumed = false;
    if (msg.hwnd == m_hwnd || ::IsChild(m_hwnd, msg.hwnd)) {
      try {
        consumed = PreTranslateMessage(msg);
      } catch (...) {
        reportFailure(msg.message);
        consumed = true;
      }
    }
    if (!consumed) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
  m_modal = false;
  if (ownerDisabled) ::EnableWindow(owner, TRUE);
  if (owner && ::GetActiveWindow() == m_hwnd) ::SetActiveWindow(owner);
  destroy();
  return m_result;
}

void Dialog::endDialog(INT_PTR result) {
  m_result = result;
  m_ended = true;
  if (!m_hwnd) return;
  if (m_modal) post(WM_NULL);  // wakes the loop when the queue is empty
  else ::ShowWindow(m_hwnd, SW_HIDE);
}

void Dialog::destroy() {
  if (m_hwnd) ::DestroyWindow(m_hwnd);
}

void Dialog::setIcon(HICON icon) {
  m_icon = icon;
  send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

bool Dialog::OnCommand(int id, int code, HWND control) {
  if ((code != BN_CLICKED && control) || (id != IDOK && id != IDCANCEL)) return false;
  endDialog(id);
  return true;
}

bool Dialog::OnNotify(const NMHDR&, LRESULT&) { return false; }
void Dialog::OnTimer(UINT_PTR) {}
bool Dialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

bool Dialog::PreTranslateMessage(MSG& msg) {
  return msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST && ::IsDialogMessageA(m_hwnd, &msg);
}

void Dialog::OnException(UINT, const std::exception& e) { ReportException(e); }

void Dialog::reportFailure(UINT message) {
  try {
    try {
      throw;
    } catch (const std::exception& e) {
      OnException(message, e);
    } catch (...) {
      OnException(message, std::runtime_error("Unknown error"));
    }
  } catch (...) {
    // The report itself failed: nothing more can be done here.
  }
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    reinterpret_cast<Dialog*>(lParam)->m_hwnd = hwnd;
  }
  auto* self = reinterpret_cast<Dialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
  if (!self) return FALSE;
  LRESULT result = 0;
  bool handled = false;
  try {
    handled = self->dispatch(message, wParam, lParam, result);
  } catch (...) {
    self->reportFailure(message);
    if (message == WM_INITDIALOG && !self->m_ended) self->endDialog(-1);
  }
  if (message == WM_INITDIALOG) {
    if (!self->m_ended) return handled ? result : TRUE;
    ::DestroyWindow(hwnd);  // ended before it was ever shown
    return FALSE;
  }
  if (message == WM_NCDESTROY) self->m_hwnd = nullptr;
  if (!handled) return FALSE;
  if (AnswersDirectly(message)) return result;
  ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
  return TRUE;
}

bool Dialog::dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_INITDIALOG: result = OnInitDialog(); return true;
    case WM_COMMAND: return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result);
    case WM_TIMER: OnTimer(static_cast<UINT_PTR>(wParam)); return true;
    default: break;
  }
  if (OnMessage(message, wParam, lParam, result)) return true;
  switch (message) {
    case WM_SYSCOLORCHANGE:
      // EnumChildWindows visits the children's children as well.
      if (!(style() & WS_CHILD)) ::EnumChildWindows(m_hwnd, SendToDescendant, message);
      return false;
    case WM_PAINT:
      if (!m_icon || !::IsIconic(m_hwnd)) return false;
      paintIcon();
      return true;
    case WM_QUERYDRAGICON: result = reinterpret_cast<LRESULT>(m_icon); return m_icon != nullptr;
    default: return false;
  }
}

void Dialog::paintIcon() {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(m_hwnd, &ps);
  send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
  RECT client;
  ::GetClientRect(m_hwnd, &client);
  const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, m_icon);
  ::EndPaint(m_hwnd, &ps);
}

}  // namespace vx::win
