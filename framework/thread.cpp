#include "framework/thread.h"

#include <process.h>

#include "framework/app.h"

CWinThread::~CWinThread() {
  if (m_hThread) ::CloseHandle(m_hThread);
}

DWORD CWinThread::ResumeThread() { return ::ResumeThread(m_hThread); }

DWORD CWinThread::GetExitCode() const {
  DWORD code = 0;
  ::GetExitCodeThread(m_hThread, &code);
  return code;
}

unsigned __stdcall CWinThread::Start(void* self) {
  CWinThread* thread = static_cast<CWinThread*>(self);
  UINT code = static_cast<UINT>(-1);
  try {
    code = thread->m_pfnThreadProc(thread->m_pThreadParams);
  } catch (...) {
    AfxReportCurrentException();
  }
  if (thread->m_bAutoDelete) delete thread;
  return code;
}

CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority, UINT nStackSize,
                           DWORD dwCreateFlags, LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
  CWinThread* thread = new CWinThread;
  thread->m_pfnThreadProc = pfnThreadProc;
  thread->m_pThreadParams = pParam;
  // Always start suspended, so that the priority is set before the procedure runs and
  // the object is complete before an auto-deleting thread can delete it.
  unsigned id = 0;
  HANDLE h = reinterpret_cast<HANDLE>(
      _beginthreadex(lpSecurityAttrs, nStackSize, &CWinThread::Start, thread, CREATE_SUSPENDED, &id));
  if (!h) {
    delete thread;
    return nullptr;
  }
  thread->m_hThread = h;
  thread->m_nThreadID = id;
  ::SetThreadPriority(h, nPriority);
  if (!(dwCreateFlags & CREATE_SUSPENDED)) ::ResumeThread(h);
  return thread;
}
