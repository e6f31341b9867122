// Worker threads. AfxBeginThread runs `pfnThreadProc(pParam)` on a new thread; the
// returned object describes it. An exception that leaves the procedure is reported
// like one in a window procedure (a message box with its text) and ends the thread
// with the exit code (UINT)-1; it never ends the process. With m_bAutoDelete (the default) the object deletes
// itself when the thread ends, so the caller may use it only while it knows the thread
// runs; start the thread suspended (CREATE_SUSPENDED), clear m_bAutoDelete and call
// ResumeThread to keep it, and delete it after waiting for m_hThread.
#pragma once
#include <windows.h>

typedef UINT (*AFX_THREADPROC)(LPVOID);

class CWinThread {
 public:
  ~CWinThread();
  HANDLE m_hThread = nullptr;
  DWORD m_nThreadID = 0;
  BOOL m_bAutoDelete = TRUE;

  DWORD ResumeThread();
  // The thread's exit code (STILL_ACTIVE while it runs).
  DWORD GetExitCode() const;

 private:
  friend CWinThread* AfxBeginThread(AFX_THREADPROC, LPVOID, int, UINT, DWORD, LPSECURITY_ATTRIBUTES);
  static unsigned __stdcall Start(void* self);
  AFX_THREADPROC m_pfnThreadProc = nullptr;
  LPVOID m_pThreadParams = nullptr;
};

// nPriority: THREAD_PRIORITY_*; nStackSize 0: the default; dwCreateFlags 0 or
// CREATE_SUSPENDED. nullptr when the thread cannot be created.
CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam,
                           int nPriority = THREAD_PRIORITY_NORMAL, UINT nStackSize = 0,
                           DWORD dwCreateFlags = 0, LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
