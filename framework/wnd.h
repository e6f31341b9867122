// CWnd: our wrapper of a window handle and the root of the window classes.
//
// A CWnd is either "permanent" (created, attached or subclassed through it; looked up
// from its handle with FromHandlePermanent) or a temporary wrapper that FromHandle and
// GetDlgItem hand out for windows nobody owns.
//
// Message dispatch: the window procedure of every permanent window calls the virtual
// WindowProc. The default WindowProc calls OnWndMsg, a switch that routes the messages
// this layer knows to virtual On... handlers; a handler that is not overridden calls
// Default(), which passes the message on to the window's original procedure. Classes
// that need a message without a handler override WindowProc and fall back to the base.
//
// Child notifications (WM_COMMAND from a control, WM_NOTIFY, WM_DRAWITEM,
// WM_MEASUREITEM, WM_CTLCOLOR*, WM_HSCROLL/WM_VSCROLL, WM_DELETEITEM, WM_COMPAREITEM)
// are first offered to the child's own permanent CWnd through OnChildNotify
// ("reflection"), so an owner-drawn control can draw itself; when the child declines,
// the parent's handler runs.
//
// Exceptions thrown by a handler are caught at the window procedure (they never cross
// into the system's code) and reported through OnWndProcException.
//
// WM_SYSCOLORCHANGE, which Windows sends to top-level windows only, is passed on by a
// top-level window to all its descendants (controls draw with the system colours too).
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <stdexcept>
#include <string>

class COleControlSite;
class COleControlContainer;

// Exceptions raised by the framework itself (failed dispatch calls, window creation).
class CFrameworkException : public std::runtime_error {
 public:
  explicit CFrameworkException(const std::string& message, HRESULT hr = E_FAIL)
      : std::runtime_error(message), m_hResult(hr) {}
  HRESULT result() const { return m_hResult; }

 private:
  HRESULT m_hResult;
};

class CWnd {
 public:
  CWnd();
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  // Handle map.
  static CWnd* FromHandlePermanent(HWND hWnd);  // nullptr when not permanent
  static CWnd* FromHandle(HWND hWnd);           // permanent or a temporary wrapper
  BOOL Attach(HWND hWnd);                       // permanent, no subclassing
  HWND Detach();

  // Routes the window's messages through this object (WindowProc); the previous
  // procedure becomes the one Default()/DefWindowProc call.
  BOOL SubclassWindow(HWND hWnd);
  BOOL SubclassDlgItem(UINT nId, CWnd* pParent);

  // Creates a window of a registered class with this object as its permanent wrapper.
  // The class must use DefWindowProc-like default processing (any system class works).
  BOOL CreateEx(DWORD dwExStyle, const char* className, const char* windowName, DWORD dwStyle,
                const RECT& rect, CWnd* pParent, UINT nId);

  // ActiveX control hosting (activex.cpp): creates the control of class `clsid` as a
  // child window `nId` named `windowName` of pParent at `rect` (parent client
  // coordinates), in-place active, and attaches this object to the control's window.
  // Events of the control go to pParent->OnControlEvent. `eventsIid` names the
  // control's events dispinterface; when null it is taken from the control's class
  // information or its first connection point. With `pFactory` the control is made by
  // that class factory (a control loaded without registration) instead of by COM from
  // the registry. Returns FALSE when the control cannot be created.
  BOOL CreateControl(REFCLSID clsid, const char* windowName, DWORD dwStyle, const RECT& rect, CWnd* pParent,
                     UINT nId, const IID* eventsIid = nullptr, IClassFactory* pFactory = nullptr);
  COleControlSite* GetControlSite() const { return m_pCtrlSite; }

  // Calls a dispatch member of the hosted control (IDispatch::Invoke). wFlags is
  // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT; vtRet is the wanted
  // result type (VT_EMPTY for none) and pvRet receives it: VT_I4 -> long*,
  // VT_BOOL -> BOOL*, VT_BSTR -> std::string* (UTF-8). pbParamInfo is a zero-terminated
  // list of argument types (VT_I4, VT_BOOL, VT_BSTR: const char* UTF-8, VT_R8: double)
  // followed by the arguments in that order. Throws COleDispatchException on failure.
  void InvokeHelper(DISPID dwDispId, WORD wFlags, VARTYPE vtRet, void* pvRet, const VARTYPE* pbParamInfo,
                    ...);

  // Message handling.
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Default processing of the message being handled now.
  LRESULT Default();
  // Offers `pMsg` to PreTranslateMessage of the window it is for and of each permanent
  // parent up to and including hWndStop; TRUE when one of them consumed it.
  static BOOL WalkPreTranslateTree(HWND hWndStop, MSG* pMsg);

  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  // Reflected notification from the parent; return TRUE and set *pResult to handle it.
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  // An event of a hosted ActiveX control nCtrlId (see CreateControl). Arguments are in
  // pParams->rgvarg in reverse order (EventArgString helps). TRUE when handled.
  virtual BOOL OnControlEvent(UINT nCtrlId, DISPID dispId, DISPPARAMS* pParams);
  // A handler threw. The default shows the exception's text in a message box.
  virtual void OnWndProcException(UINT message, const std::exception& e);

  virtual void OnPaint();
  virtual void OnTimer(UINT_PTR nIdEvent);
  virtual HCURSOR OnQueryDragIcon();
  virtual void OnSysCommand(UINT nId, LPARAM lParam);
  // Runs after the window's last message (WM_NCDESTROY), when it is detached.
  virtual void PostNcDestroy();

  // Thin helpers around the window functions.
  CWnd* GetDlgItem(int nId) const;
  CWnd* GetParent() const;
  int GetDlgCtrlID() const;
  void SetWindowText(const char* text);
  std::string GetWindowText() const;
  void SetDlgItemText(int nId, const char* text);
  std::string GetDlgItemText(int nId) const;
  BOOL ShowWindow(int nCmdShow);
  BOOL EnableWindow(BOOL bEnable = TRUE);
  BOOL IsWindowEnabled() const;
  BOOL IsWindowVisible() const;
  BOOL IsIconic() const;
  // On a hosted ActiveX control this also moves the control (SetObjectRects).
  BOOL SetWindowPos(HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
  void GetClientRect(RECT* rect) const;
  void GetWindowRect(RECT* rect) const;
  void Invalidate(BOOL bErase = TRUE);
  void UpdateWindow();
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  // Sends the message to every child window, their children included.
  void SendMessageToDescendants(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  UINT_PTR SetTimer(UINT_PTR nIdEvent, UINT nElapse);
  BOOL KillTimer(UINT_PTR nIdEvent);
  // Adds and removes style bits (GWL_STYLE); nFlags, when not 0, are passed to
  // SetWindowPos together with SWP_NOSIZE|SWP_NOMOVE|SWP_NOZORDER|SWP_NOACTIVATE.
  BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
  DWORD GetStyle() const;
  HICON SetIcon(HICON hIcon, BOOL bBigIcon);
  CWnd* SetFocus();
  virtual BOOL DestroyWindow();

 protected:
  // The procedure that receives the messages this object does not handle.
  WNDPROC m_pfnSuper = nullptr;
  // The message being handled now (for Default()).
  MSG m_currentMsg{};
  // Set on a window attached to a hosted control / on a window hosting controls.
  COleControlSite* m_pCtrlSite = nullptr;
  COleControlContainer* m_pCtrlCont = nullptr;

  // The switch behind WindowProc. TRUE when a handler took the message (*pResult set).
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  // Offers a notification to the child's OnChildNotify; TRUE when the child took it.
  static BOOL ReflectChildNotify(HWND hWndChild, UINT message, WPARAM wParam, LPARAM lParam,
                                 LRESULT* pResult);

  static LRESULT CALLBACK StandardWndProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT DispatchToWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  friend class COleControlSite;
  friend class COleControlContainer;
};

// Argument `index` (0 = first in declaration order) of an event as UTF-8 text; empty
// when it is missing or not a string.
std::string EventArgString(const DISPPARAMS* pParams, unsigned index);
