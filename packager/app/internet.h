// Reading a URL line by line through WinINet, for the update check.
//
//   UrlReader reader("Vellumix", url);      // the agent, the address
//   for (std::string line; reader.readLine(line);) ...
//
// Every failure of the network (no session, no connection, a read that fails) throws
// InternetError; an HTTP error status is not a failure: its page is read like any
// other response. The server is always asked: nothing comes from a cache.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <stdexcept>
#include <string>

#include "common/win32_handles.h"

class InternetError : public std::runtime_error {
 public:
  // `what` followed by " (WinINet error <code>)".
  InternetError(const std::string& what, DWORD code);
};

class UrlReader {
 public:
  // Opens `url` (ASCII) for reading; throws InternetError.
  UrlReader(const std::string& agent, const std::string& url);

  // The next line without its line ending; false at the end of the response.
  bool readLine(std::string& line);

 private:
  struct HandleTraits {  // a WinINet handle, closed with InternetCloseHandle
    using Handle = HINTERNET;
    static Handle invalid() { return nullptr; }
    static Handle also_invalid() { return nullptr; }
    static void close(Handle h) { ::InternetCloseHandle(h); }
  };
  using Handle = vx::win::Unique<HandleTraits>;

  bool fill();

  Handle m_session;
  Handle m_file;
  char m_buffer[4096];
  DWORD m_pos = 0;
  DWORD m_length = 0;
};
