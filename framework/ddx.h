// Dialog data exchange: copies values between a dialog's controls and its member
// fields in either direction. A dialog derived from CDataDialog lists its fields in
// DoDataExchange; UpdateData(TRUE) takes the controls' values into the fields (a
// "take-over"), UpdateData(FALSE) shows the fields in the controls.
#pragma once
#include <string>

#include "framework/dialog.h"

class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate);

  BOOL m_bSaveAndValidate;  // TRUE: controls -> fields; FALSE: fields -> controls
  CWnd* m_pDlgWnd;
  // A validation failed during this exchange (the user has been told).
  bool m_bFailed = false;

  // The control `nId` of the dialog, remembered as the one a failure points at.
  HWND PrepareCtrl(int nId);
  HWND PrepareEditCtrl(int nId);
  // Marks the exchange as failed and puts the focus on the last prepared control.
  void Fail();
  HWND LastControl() const { return m_hWndLastControl; }

 private:
  HWND m_hWndLastControl = nullptr;
  bool m_bEditLastControl = false;
};

// Edit box text.
void DDX_Text(CDataExchange* pDX, int nId, std::string& value);
// Length limit of the edit box just exchanged: on show, the box accepts at most nChars
// characters (EM_LIMITTEXT); on take-over, a longer value is reported to the user
// ("Enter no more than N characters.") and the exchange fails. The value itself has
// already been taken over.
void DDV_MaxChars(CDataExchange* pDX, const std::string& value, int nChars);
// Check box state: FALSE (clear), TRUE (ticked); an indeterminate state reads as 2.
void DDX_Check(CDataExchange* pDX, int nId, BOOL& value);
// Radio group starting at `nId` (the button with WS_GROUP), ending before the next
// control with WS_GROUP: the index of the checked button, -1 when none is.
void DDX_Radio(CDataExchange* pDX, int nId, int& value);

// A dialog with data exchange.
class CDataDialog : public CDialog {
 public:
  using CDialog::CDialog;
  // FALSE when a validation failed (the values were taken over all the same).
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
  // Shows the fields in the controls (UpdateData(FALSE)), then returns TRUE.
  BOOL OnInitDialog() override;

 protected:
  virtual void DoDataExchange(CDataExchange* pDX);
};
