// A file-system failure that the code raising it does not handle itself: a movie that
// cannot be opened, an output file that cannot be created. Carries the path and the
// system's error number (errno, or GetLastError on Windows).
#pragma once
#include <stdexcept>
#include <string>

namespace vx {

class FileException : public std::runtime_error {
 public:
  FileException(const std::string& path, const std::string& message, int systemError = 0)
      : std::runtime_error(message), m_strFileName(path), m_nSystemError(systemError) {}

  const std::string& fileName() const { return m_strFileName; }
  int systemError() const { return m_nSystemError; }

 private:
  std::string m_strFileName;
  int m_nSystemError;
};

}  // namespace vx
