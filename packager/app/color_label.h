// CColorLabel: a static text that paints itself with its own font and colours. The
// main window's section headings are of this class, set to bold.
#pragma once
#include "common/win32_handles.h"
#include "packager/app/subclassed_control.h"

class CColorLabel : public SubclassedControl {
 public:
  CColorLabel();

  // Takes over the static control `id` of `dialog` and copies its font description.
  bool AttachToDlgItem(HWND dialog, int id);

  // Font weight 700 when on, 400 when off; the label is redrawn at once.
  void SetBold(bool on);

  // The DrawTextA format for a static control's style and its text.
  static UINT DrawTextFormat(DWORD style, const char* text);

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void Paint();
  void Redraw();

  COLORREF m_textColour;
  vx::win::GdiObject<HBRUSH> m_backBrush;
  LOGFONTA m_logFont{};
  vx::win::GdiObject<HFONT> m_font;
};
