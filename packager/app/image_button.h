// CImageButton: a flat push button that shows a small bitmap, lights up with a thin
// raised border while the mouse is over it, sinks while pressed, draws its glyph
// embossed in grey when disabled, and shows a tooltip. The four small buttons beside
// the file list are of this class.
//
// The button is owner-drawn: its dialog passes it the messages that concern it
// (OnParentMessage) and gives it the focus when it is clicked.
#pragma once
#include "common/win32_handles.h"
#include "packager/app/subclassed_control.h"

class CImageButton : public SubclassedControl {
 public:
  CImageButton();
  ~CImageButton() override;

  // Takes over the push button `id` of `dialog` and makes it owner-drawn.
  bool AttachToDlgItem(HWND dialog, int id);

  // Loads bitmap resource `bitmapId`; pixels of colour `transparent` show the button
  // face. 0 on success (also when the bitmap does not load: the button then has no
  // image), 1 when the bitmap's size cannot be read, 2 when its mask cannot be made.
  int SetImage(UINT bitmapId, COLORREF transparent);
  // The same with a bitmap the caller made; the button takes it over (0, 1 or 2 as
  // above; a null bitmap leaves the button without an image).
  int SetBitmap(HBITMAP image, COLORREF transparent);
  HBITMAP GetImage() const { return m_image.get(); }
  HBITMAP GetMask() const { return m_mask.get(); }

  // Sets the tooltip's text and switches it on. No text: nothing happens.
  void SetTip(const char* text);

  void DrawItem(const DRAWITEMSTRUCT& item);
  // A message of the button's dialog: WM_DRAWITEM for the button is drawn here, and its
  // WM_CTLCOLORBTN answered with a hollow brush (the dialog never paints the button's
  // background). True when the message was the button's, with the answer in `result`.
  bool OnParentMessage(UINT message, LPARAM lParam, LRESULT& result);

  // The image moves by this much while the button is pressed.
  static constexpr int kPressedOffset = 1;
  static constexpr int kToolTipMaxWidth = 400;
  static constexpr UINT_PTR kToolId = 1;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void ReadSystemColours();
  void CreateToolTip();
  void ReleaseImage();
  void EndHover();
  void DrawImage(HDC hdc, const RECT& itemRect, bool pressed, bool disabled);
  // The greyed glyph of a disabled button at x, y; `src` is a memory DC holding the mask.
  void DrawDisabledImage(HDC hdc, HDC src, int x, int y);

  vx::win::GdiObject<HBITMAP> m_image;
  vx::win::GdiObject<HBITMAP> m_mask;
  int m_imageWidth = 0;
  int m_imageHeight = 0;
  COLORREF m_transparent = RGB(255, 0, 255);
  bool m_hover = false;
  bool m_isDefault = false;
  // Background colours: hovered or pressed, focused, otherwise.
  COLORREF m_hoverBack = 0;
  COLORREF m_focusBack = 0;
  COLORREF m_normalBack = 0;
  HWND m_toolTip = nullptr;
};
