// The standard controls as framework classes. A dialog attaches one to a control of
// its template with SubclassDlgItem (see ddx.h, DDX_Control); from then on the
// control's messages run through the object's WindowProc, and the notifications it
// sends its parent (WM_COMMAND, WM_DRAWITEM, WM_CTLCOLOR*) are first offered back to
// it through OnChildNotify, so that a derived class can draw itself or answer a colour
// request without the dialog knowing.
#pragma once
#include "framework/wnd.h"

class CButton : public CWnd {
 public:
  // Owner-draw request reflected from the parent (WM_DRAWITEM). Does nothing here.
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);

 protected:
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

class CStatic : public CWnd {};

// Draws a one-pixel frame inside `rc`: top and left edges in clrTopLeft, bottom and
// right edges in clrBottomRight.
void AfxDraw3dRect(HDC hdc, const RECT& rc, COLORREF clrTopLeft, COLORREF clrBottomRight);
// Fills `rc` with a solid colour.
void AfxFillSolidRect(HDC hdc, const RECT& rc, COLORREF clr);
