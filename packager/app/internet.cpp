#include "packager/app/internet.h"

InternetError::InternetError(const std::string& what, DWORD code)
    : std::runtime_error(what + " (WinINet error " + std::to_string(code) + ")") {}

UrlReader::UrlReader(const std::string& agent, const std::string& url) {
  m_session.reset(::InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!m_session) throw InternetError("The internet session could not be opened", ::GetLastError());
  // Always ask the server: an update description must not come from a cache.
  m_file.reset(::InternetOpenUrlA(
      m_session.get(), url.c_str(), nullptr, 0,
      INTERNET_FLAG_TRANSFER_ASCII | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 1));
  if (!m_file) throw InternetError("The address could not be opened: " + url, ::GetLastError());
}

bool UrlReader::fill() {
  DWORD got = 0;
  if (!::InternetReadFile(m_file.get(), m_buffer, sizeof(m_buffer), &got))
    throw InternetError("Reading from the server failed", ::GetLastError());
  m_pos = 0;
  m_length = got;
  return got > 0;
}

bool UrlReader::readLine(std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    if (m_pos == m_length && !fill()) return any;
    any = true;
    const char c = m_buffer[m_pos++];
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    line += c;
  }
}
