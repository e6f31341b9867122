#include "packager/app/image_button.h"

#include <commctrl.h>

#include <utility>

namespace {

// The button type is kept in the low five style bits.
constexpr DWORD kButtonTypeMask = 0x1F;

// Fills `rc` with a solid colour.
void FillSolidRect(HDC hdc, const RECT& rc, COLORREF colour) {
  const COLORREF old = ::SetBkColor(hdc, colour);
  ::ExtTextOutA(hdc, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
  ::SetBkColor(hdc, old);
}

// A one-pixel frame inside `rc`: top and left edges in one colour, bottom and right
// edges in the other.
void Draw3dRect(HDC hdc, const RECT& rc, COLORREF topLeft, COLORREF bottomRight) {
  const LONG x = rc.left, y = rc.top, cx = rc.right - rc.left, cy = rc.bottom - rc.top;
  if (cx <= 0 || cy <= 0) return;
  FillSolidRect(hdc, RECT{x, y, x + cx - 1, y + 1}, topLeft);            // top
  FillSolidRect(hdc, RECT{x, y, x + 1, y + cy - 1}, topLeft);            // left
  FillSolidRect(hdc, RECT{x + cx - 1, y, x + cx, y + cy}, bottomRight);  // right
  FillSolidRect(hdc, RECT{x, y + cy - 1, x + cx, y + cy}, bottomRight);  // bottom
}

}  // namespace

CImageButton::CImageButton() { ReadSystemColours(); }

CImageButton::~CImageButton() {
  if (m_toolTip) ::DestroyWindow(m_toolTip);
}

bool CImageButton::AttachToDlgItem(HWND dialog, int id) {
  if (!attach(dialog, id)) return false;
  // A button created as the dialog's default push button keeps that role: the dialog
  // manager moves the default look with BM_SETSTYLE, which WindowProc answers.
  m_isDefault = (style() & kButtonTypeMask) == BS_DEFPUSHBUTTON;
  modifyStyle(kButtonTypeMask, BS_OWNERDRAW, SWP_FRAMECHANGED);
  return true;
}

void CImageButton::ReadSystemColours() {
  m_hoverBack = ::GetSysColor(COLOR_BTNFACE);
  m_focusBack = ::GetSysColor(COLOR_BTNFACE);
  m_normalBack = ::GetSysColor(COLOR_BTNFACE);
}

void CImageButton::ReleaseImage() {
  m_image.reset();
  m_mask.reset();
  m_imageWidth = m_imageHeight = 0;
}

int CImageButton::SetImage(UINT bitmapId, COLORREF transparent) {
  HBITMAP image = static_cast<HBITMAP>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(bitmapId),
                                                    IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  return SetBitmap(image, transparent);
}

int CImageButton::SetBitmap(HBITMAP bitmap, COLORREF transparent) {
  ReleaseImage();
  if (!bitmap) {
    if (m_hwnd) invalidate();
    return 0;
  }
  vx::win::GdiObject<HBITMAP> image(bitmap);  // the button's from here on, kept or not
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
    ::SetBkColor(imageDc.get(), transparent);
    ::BitBlt(maskDc.get(), 0, 0, w, h, imageDc.get(), 0, 0, SRCCOPY);
    ::SetTextColor(imageDc.get(), RGB(255, 255, 255));
    ::SetBkColor(imageDc.get(), RGB(0, 0, 0));
    ::BitBlt(imageDc.get(), 0, 0, w, h, maskDc.get(), 0, 0, SRCAND);
  }

  m_image = std::move(image);
  m_mask = std::move(mask);
  m_imageWidth = w;
  m_imageHeight = h;
  if (m_hwnd) invalidate();
  return 0;
}

void CImageButton::CreateToolTip() {
  if (m_toolTip || !m_hwnd) return;
  m_toolTip = ::CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, m_hwnd, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  if (!m_toolTip) return;
  ::SendMessageA(m_toolTip, TTM_ACTIVATE, FALSE, 0);
  ::SendMessageA(m_toolTip, TTM_SETMAXTIPWIDTH, 0, kToolTipMaxWidth);
}

void CImageButton::SetTip(const char* text) {
  if (!text || !m_hwnd) return;
  CreateToolTip();
  if (!m_toolTip) return;
  TOOLINFOA ti{};
  ti.cbSize = sizeof(ti);
  ti.hwnd = m_hwnd;
  ti.uId = kToolId;
  ti.hinst = ::GetModuleHandleA(nullptr);
  ti.lpszText = const_cast<char*>(text);
  if (::SendMessageA(m_toolTip, TTM_GETTOOLCOUNT, 0, 0) == 0) {
    ::GetClientRect(m_hwnd, &ti.rect);
    ::SendMessageA(m_toolTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  }
  ::SendMessageA(m_toolTip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
  ::SendMessageA(m_toolTip, TTM_ACTIVATE, TRUE, 0);
}

void CImageButton::EndHover() {
  if (m_hover) {
    m_hover = false;
    invalidate();
  }
}

LRESULT CImageButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) {
    CreateToolTip();
    const DWORD pos = ::GetMessagePos();
    MSG msg{m_hwnd,
            message,
            wParam,
            lParam,
            static_cast<DWORD>(::GetMessageTime()),
            POINT{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))}};
    if (m_toolTip) ::SendMessageA(m_toolTip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
  }
  switch (message) {
    // A double click counts as two clicks: the second press is a plain press.
    case WM_LBUTTONDBLCLK: return callDefault(WM_LBUTTONDOWN, wParam, lParam);
    case WM_GETDLGCODE: {
      LRESULT code = callDefault(message, wParam, lParam);
      code &= ~(DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
      return code | (m_isDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    }
    case BM_SETSTYLE: {
      // The dialog manager moves the default-button look; remember it, stay owner-drawn.
      const DWORD type = static_cast<DWORD>(wParam) & kButtonTypeMask;
      m_isDefault = type == BS_DEFPUSHBUTTON;
      const WPARAM style = (wParam & ~static_cast<WPARAM>(kButtonTypeMask)) | BS_OWNERDRAW;
      return callDefault(message, style, lParam);
    }
    case WM_MOUSEMOVE: {
      LRESULT r = callDefault(message, wParam, lParam);
      POINT pt;
      ::GetCursorPos(&pt);
      HWND under = ::WindowFromPoint(pt);
      if ((wParam & MK_LBUTTON) && !m_hover) return r;
      if (under == m_hwnd) {
        if (!m_hover) {
          m_hover = true;
          invalidate();
          TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, m_hwnd, 0};
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
      LRESULT r = callDefault(message, wParam, lParam);
      EndHover();
      return r;
    }
    case WM_ACTIVATE: {
      LRESULT r = callDefault(message, wParam, lParam);
      if (LOWORD(wParam) == WA_INACTIVE) EndHover();
      return r;
    }
    case WM_ENABLE: {
      LRESULT r = callDefault(message, wParam, lParam);
      if (!wParam) {
        EndHover();
        // Disabling the button moves the keyboard focus to the next control in the tab
        // order (the parent when there is none), whichever control had it.
        if (HWND parent = ::GetParent(m_hwnd)) {
          HWND next = ::GetNextDlgTabItem(parent, m_hwnd, FALSE);
          ::SetFocus(next && next != m_hwnd ? next : parent);
        }
      }
      return r;
    }
    case WM_SYSCOLORCHANGE: {
      LRESULT r = callDefault(message, wParam, lParam);
      ReadSystemColours();
      invalidate();
      return r;
    }
    default: return callDefault(message, wParam, lParam);
  }
}

bool CImageButton::OnParentMessage(UINT message, LPARAM lParam, LRESULT& result) {
  if (!m_hwnd) return false;
  if (message == WM_DRAWITEM) {
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item.CtlType != ODT_BUTTON || item.hwndItem != m_hwnd) return false;
    DrawItem(item);
    result = TRUE;
    return true;
  }
  if (message != WM_CTLCOLORBTN || reinterpret_cast<HWND>(lParam) != m_hwnd) return false;
  result = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
  return true;
}

void CImageButton::DrawItem(const DRAWITEMSTRUCT& item) {
  HDC hdc = item.hDC;
  const RECT rc = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool focused = (item.itemState & ODS_FOCUS) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  ::SetBkMode(hdc, TRANSPARENT);

  COLORREF back = m_normalBack;
  if (m_hover || pressed) back = m_hoverBack;
  else if (focused) back = m_focusBack;
  FillSolidRect(hdc, rc, back);

  if (pressed) Draw3dRect(hdc, rc, ::GetSysColor(COLOR_BTNSHADOW), ::GetSysColor(COLOR_BTNHIGHLIGHT));
  else if (m_hover) Draw3dRect(hdc, rc, ::GetSysColor(COLOR_BTNHIGHLIGHT), ::GetSysColor(COLOR_BTNSHADOW));

  if (m_image) DrawImage(hdc, rc, pressed, disabled);
}

void CImageButton::DrawImage(HDC hdc, const RECT& itemRect, bool pressed, bool disabled) {
  vx::win::MemoryDC src(::CreateCompatibleDC(hdc));
  if (!src) return;
  const int w = m_imageWidth, h = m_imageHeight;
  int x = itemRect.left + (itemRect.right - itemRect.left - w) / 2;
  int y = itemRect.top + (itemRect.bottom - itemRect.top - h) / 2;
  if (pressed) {
    x += kPressedOffset;
    y += kPressedOffset;
  }
  // Monochrome-to-colour copies take 1 bits as the background colour and 0 bits as the
  // text colour: white and black keep the mask a mask.
  const COLORREF oldBk = ::SetBkColor(hdc, RGB(255, 255, 255));
  const COLORREF oldText = ::SetTextColor(hdc, RGB(0, 0, 0));
  {
    vx::win::SelectedObject selected(src.get(), m_mask.get());
    if (!disabled) {
      ::BitBlt(hdc, x, y, w, h, src.get(), 0, 0, SRCAND);
      ::SelectObject(src.get(), m_image.get());
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
  const int w = m_imageWidth, h = m_imageHeight;
  vx::win::GdiObject<HBITMAP> glyph(::CreateCompatibleBitmap(hdc, w, h));
  vx::win::MemoryDC glyphDc(::CreateCompatibleDC(hdc));
  if (!glyph || !glyphDc) return;
  {
    vx::win::SelectedObject selected(glyphDc.get(), glyph.get());
    ::SetBkColor(glyphDc.get(), RGB(255, 255, 255));
    ::SetTextColor(glyphDc.get(), RGB(0, 0, 0));
    RECT all{0, 0, w, h};
    FillSolidRect(glyphDc.get(), all, RGB(255, 255, 255));
    ::BitBlt(glyphDc.get(), 0, 0, w, h, src, 0, 0, SRCAND);
    ::SelectObject(src, m_image.get());
    ::BitBlt(glyphDc.get(), 0, 0, w, h, src, 0, 0, SRCPAINT);
  }
  ::DrawStateA(hdc, nullptr, nullptr, reinterpret_cast<LPARAM>(glyph.get()), 0, x, y, w, h,
               DST_BITMAP | DSS_DISABLED);
}
