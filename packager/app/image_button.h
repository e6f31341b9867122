// CImageButton: a flat push button that shows a small bitmap, lights up with a thin
// raised border while the mouse is over it, sinks while pressed, draws its glyph
// embossed in grey when disabled, and shows a tooltip. The four small buttons beside
// the file list are of this class.
#pragma once
#include <string>

#include "common/win32_handles.h"
#include "framework/ctrlsubclass.h"

class CImageButton : public CButton {
 public:
  CImageButton();
  ~CImageButton() override;

  // Attaches the object to the push button `nId` of `pParent` and makes it owner-drawn.
  BOOL AttachToDlgItem(UINT nId, CWnd* pParent);

  // Loads bitmap resource `nBitmapId`; pixels of colour `crTransparent` show the
  // button face. 0 on success (also when the bitmap does not load: the button then has
  // no image), 1 when the bitmap's size cannot be read, 2 when its mask cannot be made.
  int SetImage(UINT nBitmapId, COLORREF crTransparent);
  // The same with a bitmap the caller made; the button takes it over (0, 1 or 2 as
  // above; a null bitmap leaves the button without an image).
  int SetBitmap(HBITMAP hImage, COLORREF crTransparent);
  HBITMAP GetImage() const { return m_hImage.get(); }
  HBITMAP GetMask() const { return m_hMask.get(); }

  // Sets the tooltip's text and switches it on or off. No text: nothing happens.
  void SetTip(const char* text, BOOL bActivate = TRUE);

  BOOL IsDefault() const { return m_bIsDefault; }
  BOOL IsHovering() const { return m_bHover; }
  HWND GetToolTip() const { return m_hToolTip; }

  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;
  BOOL PreTranslateMessage(MSG* pMsg) override;

  // The image moves by this much while the button is pressed.
  static constexpr int kPressedOffset = 1;
  static constexpr int kToolTipMaxWidth = 400;
  static constexpr UINT_PTR kToolId = 1;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

 private:
  void ReadSystemColours();
  void CreateToolTip();
  void ReleaseImage();
  void EndHover();
  void DrawImage(HDC hdc, const RECT& rcItem, BOOL bPressed, BOOL bDisabled);
  // The greyed glyph of a disabled button at x, y; `src` is a memory DC holding the mask.
  void DrawDisabledImage(HDC hdc, HDC src, int x, int y);

  vx::win::GdiObject<HBITMAP> m_hImage;
  vx::win::GdiObject<HBITMAP> m_hMask;
  int m_nImageWidth = 0;
  int m_nImageHeight = 0;
  COLORREF m_crTransparent = RGB(255, 0, 255);
  BOOL m_bHover = FALSE;
  BOOL m_bIsDefault = FALSE;
  // Background colours: hovered or pressed, focused, otherwise.
  COLORREF m_crHoverBack = 0;
  COLORREF m_crFocusBack = 0;
  COLORREF m_crNormalBack = 0;
  HWND m_hToolTip = nullptr;
};
