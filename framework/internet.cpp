#include "framework/internet.h"

#include <string>
#include <utility>

#include "framework/app.h"

namespace {

std::string ErrorText(const char* what, DWORD error) {
  return std::string(what) + " (WinINet error " + std::to_string(error) + ")";
}

}  // namespace

CInternetException::CInternetException(const std::string& what, DWORD dwError)
    : std::runtime_error(ErrorText(what.c_str(), dwError)), m_dwError(dwError) {}

CInternetFile::~CInternetFile() { Close(); }

void CInternetFile::Close() { m_hFile.reset(); }

bool CInternetFile::Fill() {
  if (!m_hFile) return false;
  DWORD got = 0;
  if (!::InternetReadFile(m_hFile.get(), m_buf, sizeof(m_buf), &got))
    throw CInternetException("Reading from the server failed", ::GetLastError());
  m_nPos = 0;
  m_nLen = got;
  return got > 0;
}

BOOL CInternetFile::ReadString(std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    if (m_nPos == m_nLen && !Fill()) return any ? TRUE : FALSE;
    any = true;
    const char c = m_buf[m_nPos++];
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return TRUE;
    }
    line += c;
  }
}

UINT CInternetFile::Read(void* buffer, UINT count) {
  char* out = static_cast<char*>(buffer);
  UINT done = 0;
  while (done < count) {
    if (m_nPos == m_nLen && !Fill()) break;
    const DWORD n = (m_nLen - m_nPos) < (count - done) ? (m_nLen - m_nPos) : (count - done);
    memcpy(out + done, m_buf + m_nPos, n);
    m_nPos += n;
    done += n;
  }
  return done;
}

CInternetSession::CInternetSession(const char* agent, DWORD_PTR dwContext, DWORD dwAccessType,
                                   const char* proxyName, const char* proxyBypass, DWORD dwFlags)
    : m_dwContext(dwContext) {
  std::string name;
  if (agent) {
    name = agent;
  } else if (AfxGetApp()) {
    name = AfxGetApp()->m_strAppName;
  }
  m_hSession.reset(::InternetOpenA(name.c_str(), dwAccessType, proxyName, proxyBypass, dwFlags));
  if (!m_hSession) throw CInternetException("The internet session could not be opened", ::GetLastError());
}

CInternetSession::~CInternetSession() { Close(); }

void CInternetSession::Close() { m_hSession.reset(); }

CInternetFile* CInternetSession::OpenURL(const char* url, DWORD_PTR dwContext, DWORD dwFlags,
                                         const char* headers, DWORD headersLength) {
  if (!m_hSession) throw CInternetException("The internet session is closed", ERROR_INVALID_HANDLE);
  // Always ask the server: an update description must not come from a cache.
  UniqueInternetHandle file(::InternetOpenUrlA(m_hSession.get(), url, headers, headers ? headersLength : 0,
                                               dwFlags | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                               dwContext ? dwContext : m_dwContext));
  if (!file)
    throw CInternetException(std::string("The address could not be opened: ") + url, ::GetLastError());
  return new CInternetFile(std::move(file));
}
