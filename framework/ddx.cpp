#include "framework/ddx.h"

#include <cstdio>
#include <vector>

#include "framework/app.h"

CDataExchange::CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

HWND CDataExchange::PrepareCtrl(int nId) {
  m_hWndLastControl = ::GetDlgItem(m_pDlgWnd->GetSafeHwnd(), nId);
  m_bEditLastControl = false;
  return m_hWndLastControl;
}

HWND CDataExchange::PrepareEditCtrl(int nId) {
  HWND h = PrepareCtrl(nId);
  m_bEditLastControl = true;
  return h;
}

void CDataExchange::Fail() {
  m_bFailed = true;
  if (!m_bSaveAndValidate || !m_hWndLastControl) return;
  ::SetFocus(m_hWndLastControl);
  if (m_bEditLastControl) ::SendMessageA(m_hWndLastControl, EM_SETSEL, 0, -1);
}

void DDX_Text(CDataExchange* pDX, int nId, std::string& value) {
  HWND h = pDX->PrepareEditCtrl(nId);
  if (!h) return;
  if (pDX->m_bSaveAndValidate) {
    const int len = ::GetWindowTextLengthA(h);
    std::vector<char> buf(static_cast<size_t>(len) + 1);
    const int n = ::GetWindowTextA(h, buf.data(), len + 1);
    value.assign(buf.data(), n > 0 ? static_cast<size_t>(n) : 0);
  } else {
    ::SetWindowTextA(h, value.c_str());
  }
}

void DDV_MaxChars(CDataExchange* pDX, const std::string& value, int nChars) {
  if (pDX->m_bSaveAndValidate) {
    if (value.size() > static_cast<size_t>(nChars)) {
      char text[80];
      std::snprintf(text, sizeof(text), "Enter no more than %d characters.", nChars);
      AfxMessageBox(text, MB_ICONEXCLAMATION);
      pDX->Fail();
    }
  } else {
    // Applies to the edit box that DDX_Text exchanged just before.
    if (HWND h = pDX->LastControl()) ::SendMessageA(h, EM_LIMITTEXT, static_cast<WPARAM>(nChars), 0);
  }
}

void DDX_Check(CDataExchange* pDX, int nId, BOOL& value) {
  HWND h = pDX->PrepareCtrl(nId);
  if (!h) return;
  if (pDX->m_bSaveAndValidate) {
    value = static_cast<BOOL>(::SendMessageA(h, BM_GETCHECK, 0, 0));
  } else {
    ::SendMessageA(h, BM_SETCHECK, static_cast<WPARAM>(value), 0);
  }
}

void DDX_Radio(CDataExchange* pDX, int nId, int& value) {
  HWND first = pDX->PrepareCtrl(nId);
  if (!first) return;
  if (pDX->m_bSaveAndValidate) value = -1;
  int index = 0;
  for (HWND h = first; h; h = ::GetWindow(h, GW_HWNDNEXT), ++index) {
    if (h != first && (::GetWindowLongA(h, GWL_STYLE) & WS_GROUP)) break;
    if (pDX->m_bSaveAndValidate) {
      if (value < 0 && ::SendMessageA(h, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
    } else {
      ::SendMessageA(h, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  }
}

BOOL CDataDialog::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return dx.m_bFailed ? FALSE : TRUE;
}

BOOL CDataDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  UpdateData(FALSE);
  return TRUE;
}

void CDataDialog::DoDataExchange(CDataExchange*) {}
