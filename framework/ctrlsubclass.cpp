#include "framework/ctrlsubclass.h"

void CButton::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_DRAWITEM) {
    DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    if (pResult) *pResult = TRUE;
    return TRUE;
  }
  return CWnd::OnChildNotify(message, wParam, lParam, pResult);
}

void AfxFillSolidRect(HDC hdc, const RECT& rc, COLORREF clr) {
  COLORREF old = ::SetBkColor(hdc, clr);
  ::ExtTextOutA(hdc, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
  ::SetBkColor(hdc, old);
}

void AfxDraw3dRect(HDC hdc, const RECT& rc, COLORREF clrTopLeft, COLORREF clrBottomRight) {
  const LONG x = rc.left, y = rc.top, cx = rc.right - rc.left, cy = rc.bottom - rc.top;
  if (cx <= 0 || cy <= 0) return;
  AfxFillSolidRect(hdc, RECT{x, y, x + cx - 1, y + 1}, clrTopLeft);            // top
  AfxFillSolidRect(hdc, RECT{x, y, x + 1, y + cy - 1}, clrTopLeft);            // left
  AfxFillSolidRect(hdc, RECT{x + cx - 1, y, x + cx, y + cy}, clrBottomRight);  // right
  AfxFillSolidRect(hdc, RECT{x, y + cy - 1, x + cx, y + cy}, clrBottomRight);  // bottom
}
