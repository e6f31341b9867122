#include "packager/app/color_label.h"

#include <cstring>
#include <string>

CColorLabel::CColorLabel()
    : m_crText(::GetSysColor(COLOR_WINDOWTEXT)),
      m_hBackBrush(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE))) {}

CColorLabel::~CColorLabel() = default;

BOOL CColorLabel::AttachToDlgItem(UINT nId, CWnd* pParent) {
  if (!SubclassDlgItem(nId, pParent)) return FALSE;
  HFONT font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
  if (!font) font = static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
  ::GetObjectA(font, sizeof(m_lf), &m_lf);
  ReconstructFont();
  return TRUE;
}

void CColorLabel::ReconstructFont() { m_hFont.reset(::CreateFontIndirectA(&m_lf)); }

void CColorLabel::SetBold(BOOL bOn) {
  m_lf.lfWeight = bOn ? FW_BOLD : FW_NORMAL;
  ReconstructFont();
  Redraw();
}

void CColorLabel::Redraw() {
  if (!m_hWnd) return;
  ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  // The label paints over its whole rectangle; let the parent refresh what lies below
  // so that no old text shows through.
  HWND parent = ::GetParent(m_hWnd);
  if (parent) {
    RECT rc;
    ::GetWindowRect(m_hWnd, &rc);
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
  HDC hdc = ::BeginPaint(m_hWnd, &ps);
  RECT rc;
  ::GetClientRect(m_hWnd, &rc);
  const std::string text = GetWindowText();
  const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;

  {
    // Drawn off screen, then copied in one go: no flicker.
    vx::win::MemoryDC mem(::CreateCompatibleDC(hdc));
    vx::win::GdiObject<HBITMAP> bmp(::CreateCompatibleBitmap(hdc, cx > 0 ? cx : 1, cy > 0 ? cy : 1));
    if (mem && bmp) {
      vx::win::SelectedObject selectBitmap(mem.get(), bmp.get());
      ::FillRect(mem.get(), &rc, m_hBackBrush.get());
      ::SetBkMode(mem.get(), TRANSPARENT);
      ::SetTextColor(mem.get(), IsWindowEnabled() ? m_crText : ::GetSysColor(COLOR_GRAYTEXT));
      vx::win::SelectedObject selectFont(
          mem.get(), m_hFont ? static_cast<HGDIOBJ>(m_hFont.get()) : ::GetStockObject(SYSTEM_FONT));
      RECT textRc = rc;
      ::DrawTextA(mem.get(), text.c_str(), -1, &textRc, DrawTextFormat(GetStyle(), text.c_str()));
      ::BitBlt(hdc, 0, 0, cx, cy, mem.get(), 0, 0, SRCCOPY);
    }
  }
  ::EndPaint(m_hWnd, &ps);
}

LRESULT CColorLabel::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: Paint(); return 0;
    case WM_ERASEBKGND: return TRUE;  // Paint covers the whole client area
    case WM_SYSCOLORCHANGE:
      m_hBackBrush.reset(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE)));
      Invalidate();
      return CStatic::WindowProc(message, wParam, lParam);
    case WM_SETTEXT: {
      // The system paints the new text itself; repaint it with ours.
      LRESULT r = CStatic::WindowProc(message, wParam, lParam);
      Invalidate();
      return r;
    }
    default: return CStatic::WindowProc(message, wParam, lParam);
  }
}
