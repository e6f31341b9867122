// Reading a URL through WinINet.
//
//   CInternetSession session;                 // agent: the application's name
//   std::unique_ptr<CInternetFile> file(session.OpenURL(url));
//   std::string line;
//   while (file->ReadString(line)) ...
//
// Every failure of the network (no session, no connection, a read that fails) throws
// CInternetException; an HTTP error status is not a failure: its page is read like
// any other response.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <stdexcept>
#include <string>

#include "common/win32_handles.h"

// A WinINet handle (session, opened URL), closed with InternetCloseHandle.
struct InternetHandleTraits {
  using Handle = HINTERNET;
  static Handle invalid() { return nullptr; }
  static Handle also_invalid() { return nullptr; }
  static void close(Handle h) { ::InternetCloseHandle(h); }
};
using UniqueInternetHandle = vx::win::Unique<InternetHandleTraits>;

class CInternetException : public std::runtime_error {
 public:
  CInternetException(const std::string& what, DWORD dwError);
  DWORD m_dwError;
};

class CInternetFile {
 public:
  ~CInternetFile();
  CInternetFile(const CInternetFile&) = delete;
  CInternetFile& operator=(const CInternetFile&) = delete;

  // The next line without its line ending; FALSE at the end of the response.
  BOOL ReadString(std::string& line);
  // Up to `count` bytes; 0 at the end.
  UINT Read(void* buffer, UINT count);
  void Close();

 private:
  friend class CInternetSession;
  explicit CInternetFile(UniqueInternetHandle hFile) : m_hFile(std::move(hFile)) {}
  bool Fill();
  UniqueInternetHandle m_hFile;
  char m_buf[4096];
  DWORD m_nPos = 0;
  DWORD m_nLen = 0;
};

class CInternetSession {
 public:
  // No agent: the application's name. Access type: the system's preconfigured proxy
  // settings. Throws CInternetException when the session cannot be opened.
  explicit CInternetSession(const char* agent = nullptr, DWORD_PTR dwContext = 1,
                            DWORD dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG,
                            const char* proxyName = nullptr, const char* proxyBypass = nullptr,
                            DWORD dwFlags = 0);
  ~CInternetSession();
  CInternetSession(const CInternetSession&) = delete;
  CInternetSession& operator=(const CInternetSession&) = delete;

  // Opens a URL for reading (ASCII transfer unless other flags are given); the caller
  // owns the result. Throws CInternetException.
  CInternetFile* OpenURL(const char* url, DWORD_PTR dwContext = 1,
                         DWORD dwFlags = INTERNET_FLAG_TRANSFER_ASCII, const char* headers = nullptr,
                         DWORD headersLength = 0);
  void Close();

 private:
  UniqueInternetHandle m_hSession;
  DWORD_PTR m_dwContext;
};
