// CColorLabel: a static text that paints itself with its own font and colours. The
// main window's section headings are of this class, set to bold.
#pragma once
#include "common/win32_handles.h"
#include "framework/ctrlsubclass.h"

class CColorLabel : public CStatic {
 public:
  CColorLabel();
  ~CColorLabel() override;

  // Attaches the object to the static control `nId` of `pParent` and copies the
  // control's font description.
  BOOL AttachToDlgItem(UINT nId, CWnd* pParent);

  // Font weight 700 when on, 400 when off; the label is redrawn at once.
  void SetBold(BOOL bOn);
  const LOGFONTA& GetLogFont() const { return m_lf; }
  HFONT GetLabelFont() const { return m_hFont.get(); }

  // The DrawTextA format for a static control's style and its text.
  static UINT DrawTextFormat(DWORD style, const char* text);

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void Paint();
  void ReconstructFont();
  void Redraw();

  COLORREF m_crText;
  vx::win::GdiObject<HBRUSH> m_hBackBrush;
  LOGFONTA m_lf{};
  vx::win::GdiObject<HFONT> m_hFont;
};
