#include "framework/dialog.h"

#include "framework/activex.h"
#include "framework/app.h"

void AfxHookWindowCreate(CWnd* pWnd);
void AfxUnhookWindowCreate();

CDialog::CDialog(UINT nIdTemplate, CWnd* pParent) : m_nIdTemplate(nIdTemplate), m_pParentWnd(pParent) {}

CDialog::~CDialog() {
  if (m_hWnd && IsWindow(m_hWnd)) DestroyWindow();
}

// Every message reaches the dialog through its subclassed window procedure, so the
// dialog procedure itself handles nothing (except when the creation hook missed the
// window, then it attaches the object on WM_INITDIALOG).
INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == WM_INITDIALOG && !FromHandlePermanent(hWnd)) {
      auto* dlg = reinterpret_cast<CDialog*>(lParam);
      if (dlg && dlg->SubclassWindow(hWnd)) return dlg->DispatchToWindowProc(message, wParam, lParam);
    }
  } catch (...) {
    AfxReportCurrentException();
  }
  return FALSE;
}

BOOL CDialog::Create(UINT nIdTemplate, CWnd* pParent) {
  m_nIdTemplate = nIdTemplate;
  m_pParentWnd = pParent;
  m_bEndModal = false;
  m_bInitFailed = false;
  HWND owner = pParent ? pParent->GetSafeHwnd() : nullptr;
  AfxHookWindowCreate(this);
  HWND h = CreateDialogParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(nIdTemplate), owner, DialogProc,
                              reinterpret_cast<LPARAM>(this));
  AfxUnhookWindowCreate();
  if (!h || !IsWindow(h)) {
    if (m_hWnd && !IsWindow(m_hWnd)) Detach();
    return FALSE;
  }
  return TRUE;
}

INT_PTR CDialog::DoModal() {
  m_nModalResult = -1;
  HWND owner = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : nullptr;
  bool ownerDisabled = false;
  if (!Create(m_nIdTemplate, m_pParentWnd)) {
    // Failed to create, or ended during initialisation (the window is gone already).
    return m_bEndModal ? m_nModalResult : -1;
  }
  if (owner && ::IsWindowEnabled(owner)) {
    ::EnableWindow(owner, FALSE);
    ownerDisabled = true;
  }
  if (!m_bEndModal && !(GetStyle() & WS_VISIBLE)) ShowWindow(SW_SHOWNORMAL);

  m_bModalRunning = true;
  MSG msg;
  while (!m_bEndModal) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // WM_QUIT: end the dialog and leave the quit for the outer loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (!WalkPreTranslateTree(m_hWnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  m_bModalRunning = false;

  if (ownerDisabled) ::EnableWindow(owner, TRUE);
  if (owner && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(owner);
  if (m_hWnd) DestroyWindow();
  return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
  m_nModalResult = nResult;
  m_bEndModal = true;
  if (m_bModalRunning) {
    // Wake the loop in case the queue is empty.
    if (m_hWnd) PostMessage(WM_NULL);
  } else if (m_hWnd) {
    ShowWindow(SW_HIDE);
  }
}

BOOL CDialog::OnInitDialog() { return TRUE; }
void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (HIWORD(wParam) == BN_CLICKED || lParam == 0) {
    switch (LOWORD(wParam)) {
      case IDOK: OnOK(); return TRUE;
      case IDCANCEL: OnCancel(); return TRUE;
      default: break;
    }
  }
  return CWnd::OnCommand(wParam, lParam);
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    BOOL focus = TRUE;
    try {
      focus = OnInitDialog();
    } catch (const std::exception& e) {
      OnWndProcException(message, e);
      m_bInitFailed = true;
      if (!m_bEndModal) EndDialog(-1);
    }
    // Ended during initialisation: the window goes before it is ever shown.
    if (m_bEndModal && m_hWnd) {
      ::DestroyWindow(m_hWnd);
      return FALSE;
    }
    return focus;
  }
  return CWnd::DefWindowProc(message, wParam, lParam);
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
  if (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST && m_hWnd &&
      (pMsg->hwnd == m_hWnd || ::IsChild(m_hWnd, pMsg->hwnd))) {
    // A hosted ActiveX control that is UI active sees its keys first, as its
    // accelerators (IOleInPlaceActiveObject::TranslateAccelerator).
    if (m_pCtrlCont && m_pCtrlCont->PreTranslateMessage(pMsg)) return TRUE;
    // Then keyboard navigation (Tab, Enter, Esc, mnemonics) for the dialog and its
    // controls. It asks the focus window first (WM_GETDLGCODE): keys that a control
    // wants, all of them for a control answering DLGC_WANTALLKEYS, go to that control.
    return ::IsDialogMessageA(m_hWnd, pMsg);
  }
  return FALSE;
}
