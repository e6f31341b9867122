// CDialog: a dialog window made from a dialog template resource, run modally.
//
// DoModal creates the dialog from its template (as a modeless window, its owner
// disabled) and runs a modal loop of its own: every message is first offered to
// PreTranslateMessage of the window it is for and of its permanent parents (the
// dialog's own filter offers keyboard messages to a UI-active hosted ActiveX control,
// then runs keyboard navigation with IsDialogMessage), and only then translated and
// dispatched. EndDialog ends the loop; DoModal then destroys the window,
// re-enables the owner and returns the result.
//
// An exception out of OnInitDialog ends the dialog: it is reported (OnWndProcException)
// and DoModal returns -1.
#pragma once
#include "framework/wnd.h"

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT nIdTemplate, CWnd* pParent = nullptr);
  ~CDialog() override;

  // Runs the dialog; the value passed to EndDialog, or -1 when it could not be created.
  virtual INT_PTR DoModal();
  // Creates the dialog modeless (no loop); TRUE on success.
  BOOL Create(UINT nIdTemplate, CWnd* pParent = nullptr);
  void EndDialog(int nResult);

  virtual BOOL OnInitDialog();
  // IDOK / IDCANCEL from the dialog's buttons, Enter and Esc: end with that result.
  virtual void OnOK();
  virtual void OnCancel();

  BOOL PreTranslateMessage(MSG* pMsg) override;

 protected:
  UINT m_nIdTemplate;
  CWnd* m_pParentWnd;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  bool m_bModalRunning = false;
  bool m_bEndModal = false;
  int m_nModalResult = -1;
  bool m_bInitFailed = false;
  static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
};
