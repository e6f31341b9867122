#include "packager/app/image_button.h"

#include <commctrl.h>

#include <utility>

namespace {

// The button type is kept in the low five style bits.
constexpr DWORD kButtonTypeMask = 0x1F;

}  // namespace

CImageButton::CImageButton() { ReadSystemColours(); }

CImageButton::~CImageButton() {
  ReleaseImage();
  if (m_hToolTip) ::DestroyWindow(m_hToolTip);
}

BOOL CImageButton::AttachToDlgItem(UINT nId, CWnd* pParent) {
  if (!SubclassDlgItem(nId, pParent)) return FALSE;
  // A button created as the dialog's default push button keeps that role: the dialog
  // manager moves the default look with BM_SETSTYLE, which WindowProc answers.
  m_bIsDefault = (GetStyle() & kButtonTypeMask) == BS_DEFPUSHBUTTON;
  ModifyStyle(kButtonTypeMask, BS_OWNERDRAW, SWP_FRAMECHANGED);
  return TRUE;
}

void CImageButton::ReadSystemColours() {
  m_crHoverBack = ::GetSysColor(COLOR_BTNFACE);
  m_crFocusBack = ::GetSysColor(COLOR_BTNFACE);
  m_crNormalBack = ::GetSysColor(COLOR_BTNFACE);
}

void CImageButton::ReleaseImage() {
  m_hImage.reset();
  m_hMask.reset();
  m_nImageWidth = m_nImageHeight = 0;
}

int CImageButton::SetImage(UINT nBitmapId, COLORREF crTransparent) {
  HBITMAP image = static_cast<HBITMAP>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(nBitmapId),
                                                    IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  return SetBitmap(image, crTransparent);
}

int CImageButton::SetBitmap(HBITMAP hImage, COLORREF crTransparent) {
  ReleaseImage();
  m_crTransparent = crTransparent;
  if (!hImage) {
    if (m_hWnd) Invalidate();
    return 0;
  }
  vx::win::GdiObject<HBITMAP> image(hImage);  // the button's from here on, kept or not
  BITMAP bm{};
  if (::GetObjectA(image.get(), sizeof(bm), &bm) == 0) return 1;
  const int w = bm.bmWidth, h = bm.bmHeight;

  // The mask is 1 where the image has the transparent colour, 0 elsewhere; the image's
  // transparent pixels are then turned black, so that drawing is "mask AND, image OR".
  vx::win::GdiObject<HBITMAP> mask(::CreateBitmap(w, h, 1, 1, nullptr));
  vx::win::MemoryDC imageDc(::CreateCompatibleDC(nullptr));
  vx::win::MemoryDC maskDc(::CreateCompatibleDC(nullptr));
  if (!mask || !imageDc || !maskDc) return 2;
  {
    vx::win::SelectedObject selectImage(imageDc.get(), image.get());
    vx::win::SelectedObject selectMask(maskDc.get(), mask.get());
    ::SetBkColor(imageDc.get(), crTransparent);
    ::BitBlt(maskDc.get(), 0, 0, w, h, imageDc.get(), 0, 0, SRCCOPY);
    ::SetTextColor(imageDc.get(), RGB(255, 255, 255));
    ::SetBkColor(imageDc.get(), RGB(0, 0, 0));
    ::BitBlt(imageDc.get(), 0, 0, w, h, maskDc.get(), 0, 0, SRCAND);
  }

  m_hImage = std::move(image);
  m_hMask = std::move(mask);
  m_nImageWidth = w;
  m_nImageHeight = h;
  if (m_hWnd) Invalidate();
  return 0;
}

void CImageButton::CreateToolTip() {
  if (m_hToolTip || !m_hWnd) return;
  m_hToolTip = ::CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, m_hWnd, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  if (!m_hToolTip) return;
  ::SendMessageA(m_hToolTip, TTM_ACTIVATE, FALSE, 0);
  ::SendMessageA(m_hToolTip, TTM_SETMAXTIPWIDTH, 0, kToolTipMaxWidth);
}

void CImageButton::SetTip(const char* text, BOOL bActivate) {
  if (!text || !m_hWnd) return;
  CreateToolTip();
  if (!m_hToolTip) return;
  TOOLINFOA ti{};
  ti.cbSize = sizeof(ti);
  ti.hwnd = m_hWnd;
  ti.uId = kToolId;
  ti.hinst = ::GetModuleHandleA(nullptr);
  ti.lpszText = const_cast<char*>(text);
  if (::SendMessageA(m_hToolTip, TTM_GETTOOLCOUNT, 0, 0) == 0) {
    ::GetClientRect(m_hWnd, &ti.rect);
    ::SendMessageA(m_hToolTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  }
  ::SendMessageA(m_hToolTip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
  ::SendMessageA(m_hToolTip, TTM_ACTIVATE, bActivate, 0);
}

BOOL CImageButton::PreTranslateMessage(MSG* pMsg) {
  CreateToolTip();
  if (m_hToolTip) ::SendMessageA(m_hToolTip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(pMsg));
  // A double click counts as two clicks: the second press becomes a plain press.
  if (pMsg->message == WM_LBUTTONDBLCLK) pMsg->message = WM_LBUTTONDOWN;
  return CButton::PreTranslateMessage(pMsg);
}

void CImageButton::EndHover() {
  if (m_bHover) {
    m_bHover = FALSE;
    Invalidate();
  }
}

LRESULT CImageButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_GETDLGCODE: {
      LRESULT code = CButton::WindowProc(message, wParam, lParam);
      code &= ~(DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
      return code | (m_bIsDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    }
    case BM_SETSTYLE: {
      // The dialog manager moves the default-button look; remember it, stay owner-drawn.
      const DWORD type = static_cast<DWORD>(wParam) & kButtonTypeMask;
      m_bIsDefault = type == BS_DEFPUSHBUTTON;
      const WPARAM style = (wParam & ~static_cast<WPARAM>(kButtonTypeMask)) | BS_OWNERDRAW;
      return CButton::WindowProc(message, style, lParam);
    }
    case WM_MOUSEMOVE: {
      LRESULT r = CButton::WindowProc(message, wParam, lParam);
      POINT pt;
      ::GetCursorPos(&pt);
      HWND under = ::WindowFromPoint(pt);
      if ((wParam & MK_LBUTTON) && !m_bHover) return r;
      if (under == m_hWnd) {
        if (!m_bHover) {
          m_bHover = TRUE;
          Invalidate();
          TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, m_hWnd, 0};
          ::TrackMouseEvent(&tme);
        }
      } else {
        EndHover();
      }
      return r;
    }
    case WM_MOUSELEAVE:
    case WM_KILLFOCUS:
    case WM_CANCELMODE: {
      LRESULT r = CButton::WindowProc(message, wParam, lParam);
      EndHover();
      return r;
    }
    case WM_ACTIVATE: {
      LRESULT r = CButton::WindowProc(message, wParam, lParam);
      if (LOWORD(wParam) == WA_INACTIVE) EndHover();
      return r;
    }
    case WM_ENABLE: {
      LRESULT r = CButton::WindowProc(message, wParam, lParam);
      if (!wParam) {
        EndHover();
        // Disabling the button moves the keyboard focus to the next control in the tab
        // order (the parent when there is none), whichever control had it.
        if (HWND parent = ::GetParent(m_hWnd)) {
          HWND next = ::GetNextDlgTabItem(parent, m_hWnd, FALSE);
          ::SetFocus(next && next != m_hWnd ? next : parent);
        }
      }
      return r;
    }
    case WM_SYSCOLORCHANGE: {
      LRESULT r = CButton::WindowProc(message, wParam, lParam);
      ReadSystemColours();
      Invalidate();
      return r;
    }
    default: return CButton::WindowProc(message, wParam, lParam);
  }
}

BOOL CImageButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_CTLCOLORBTN) {
    // The parent never paints the button's background.
    if (pResult) *pResult = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    return TRUE;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    // Take the focus, then let the parent's handler do the work.
    ::SetFocus(m_hWnd);
    return FALSE;
  }
  return CButton::OnChildNotify(message, wParam, lParam, pResult);
}

void CImageButton::DrawItem(LPDRAWITEMSTRUCT dis) {
  HDC hdc = dis->hDC;
  const RECT rc = dis->rcItem;
  const BOOL pressed = (dis->itemState & ODS_SELECTED) != 0;
  const BOOL focused = (dis->itemState & ODS_FOCUS) != 0;
  const BOOL disabled = (dis->itemState & ODS_DISABLED) != 0;
  ::SetBkMode(hdc, TRANSPARENT);

  COLORREF back = m_crNormalBack;
  if (m_bHover || pressed) back = m_crHoverBack;
  else if (focused) back = m_crFocusBack;
  AfxFillSolidRect(hdc, rc, back);

  if (pressed) AfxDraw3dRect(hdc, rc, ::GetSysColor(COLOR_BTNSHADOW), ::GetSysColor(COLOR_BTNHIGHLIGHT));
  else if (m_bHover)
    AfxDraw3dRect(hdc, rc, ::GetSysColor(COLOR_BTNHIGHLIGHT), ::GetSysColor(COLOR_BTNSHADOW));

  if (m_hImage) DrawImage(hdc, rc, pressed, disabled);
}

void CImageButton::DrawImage(HDC hdc, const RECT& rcItem, BOOL bPressed, BOOL bDisabled) {
  vx::win::MemoryDC src(::CreateCompatibleDC(hdc));
  if (!src) return;
  const int w = m_nImageWidth, h = m_nImageHeight;
  int x = rcItem.left + (rcItem.right - rcItem.left - w) / 2;
  int y = rcItem.top + (rcItem.bottom - rcItem.top - h) / 2;
  if (bPressed) {
    x += kPressedOffset;
    y += kPressedOffset;
  }
  // Monochrome-to-colour copies take 1 bits as the background colour and 0 bits as the
  // text colour: white and black keep the mask a mask.
  const COLORREF oldBk = ::SetBkColor(hdc, RGB(255, 255, 255));
  const COLORREF oldText = ::SetTextColor(hdc, RGB(0, 0, 0));
  {
    vx::win::SelectedObject selected(src.get(), m_hMask.get());
    if (!bDisabled) {
      ::BitBlt(hdc, x, y, w, h, src.get(), 0, 0, SRCAND);
      ::SelectObject(src.get(), m_hImage.get());
      ::BitBlt(hdc, x, y, w, h, src.get(), 0, 0, SRCPAINT);
    } else {
      DrawDisabledImage(hdc, src.get(), x, y);
    }
  }
  ::SetBkColor(hdc, oldBk);
  ::SetTextColor(hdc, oldText);
}

void CImageButton::DrawDisabledImage(HDC hdc, HDC src, int x, int y) {
  // The glyph on white, then embossed in grey by the system. `src` holds the mask.
  const int w = m_nImageWidth, h = m_nImageHeight;
  vx::win::GdiObject<HBITMAP> glyph(::CreateCompatibleBitmap(hdc, w, h));
  vx::win::MemoryDC glyphDc(::CreateCompatibleDC(hdc));
  if (!glyph || !glyphDc) return;
  {
    vx::win::SelectedObject selected(glyphDc.get(), glyph.get());
    ::SetBkColor(glyphDc.get(), RGB(255, 255, 255));
    ::SetTextColor(glyphDc.get(), RGB(0, 0, 0));
    RECT all{0, 0, w, h};
    AfxFillSolidRect(glyphDc.get(), all, RGB(255, 255, 255));
    ::BitBlt(glyphDc.get(), 0, 0, w, h, src, 0, 0, SRCAND);
    ::SelectObject(src, m_hImage.get());
    ::BitBlt(glyphDc.get(), 0, 0, w, h, src, 0, 0, SRCPAINT);
  }
  ::DrawStateA(hdc, nullptr, nullptr, reinterpret_cast<LPARAM>(glyph.get()), 0, x, y, w, h,
               DST_BITMAP | DSS_DISABLED);
}
