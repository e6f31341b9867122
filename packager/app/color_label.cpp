#include "packager/app/color_label.h"

#include <cstring>
#include <string>

CColorLabel::CColorLabel()
    : m_textColour(::GetSysColor(COLOR_WINDOWTEXT)),
      m_backBrush(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE))) {}

bool CColorLabel::AttachToDlgItem(HWND dialog, int id) {
  if (!attach(dialog, id)) return false;
  HFONT font = reinterpret_cast<HFONT>(send(WM_GETFONT));
  if (!font) font = static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
  ::GetObjectA(font, sizeof(m_logFont), &m_logFont);
  m_font.reset(::CreateFontIndirectA(&m_logFont));
  return true;
}

void CColorLabel::SetBold(bool on) {
  m_logFont.lfWeight = on ? FW_BOLD : FW_NORMAL;
  m_font.reset(::CreateFontIndirectA(&m_logFont));
  Redraw();
}

void CColorLabel::Redraw() {
  if (!m_hwnd) return;
  ::RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  // The label paints over its whole rectangle; let the parent refresh what lies below
  // so that no old text shows through.
  HWND parent = ::GetParent(m_hwnd);
  if (parent) {
    RECT rc;
    ::GetWindowRect(m_hwnd, &rc);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    ::InvalidateRect(parent, &rc, TRUE);
    ::UpdateWindow(parent);
  }
}

UINT CColorLabel::DrawTextFormat(DWORD style, const char* text) {
  const bool hasTab = text && std::strchr(text, '\t');
  const bool hasLineBreak = text && std::strstr(text, "\r\n");
  if (style & SS_CENTERIMAGE) {
    return hasLineBreak ? DT_CENTER : (DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  UINT format;
  switch (style & SS_TYPEMASK) {
    case SS_CENTER: format = DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: format = DT_RIGHT | DT_WORDBREAK; break;
    case SS_LEFTNOWORDWRAP: format = DT_LEFT; break;
    default: format = DT_WORDBREAK; break;
  }
  if (hasTab) format |= DT_EXPANDTABS;
  return format;
}

void CColorLabel::Paint() {
  PAINTSTRUCT ps;
  HDC hdc = ::BeginPaint(m_hwnd, &ps);
  RECT rc;
  ::GetClientRect(m_hwnd, &rc);
  const std::string text = this->text();
  const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;

  {
    // Drawn off screen, then copied in one go: no flicker.
    vx::win::MemoryDC mem(::CreateCompatibleDC(hdc));
    vx::win::GdiObject<HBITMAP> bmp(::CreateCompatibleBitmap(hdc, cx > 0 ? cx : 1, cy > 0 ? cy : 1));
    if (mem && bmp) {
      vx::win::SelectedObject selectBitmap(mem.get(), bmp.get());
      ::FillRect(mem.get(), &rc, m_backBrush.get());
      ::SetBkMode(mem.get(), TRANSPARENT);
      ::SetTextColor(mem.get(), enabled() ? m_textColour : ::GetSysColor(COLOR_GRAYTEXT));
      vx::win::SelectedObject selectFont(
          mem.get(), m_font ? static_cast<HGDIOBJ>(m_font.get()) : ::GetStockObject(SYSTEM_FONT));
      RECT textRc = rc;
      ::DrawTextA(mem.get(), text.c_str(), -1, &textRc, DrawTextFormat(style(), text.c_str()));
      ::BitBlt(hdc, 0, 0, cx, cy, mem.get(), 0, 0, SRCCOPY);
    }
  }
  ::EndPaint(m_hwnd, &ps);
}

LRESULT CColorLabel::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: Paint(); return 0;
    case WM_ERASEBKGND: return TRUE;  // Paint covers the whole client area
    case WM_SYSCOLORCHANGE:
      m_backBrush.reset(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE)));
      invalidate();
      return callDefault(message, wParam, lParam);
    case WM_SETTEXT: {
      // The system paints the new text itself; repaint it with ours.
      const LRESULT r = callDefault(message, wParam, lParam);
      invalidate();
      return r;
    }
    default: return callDefault(message, wParam, lParam);
  }
}
