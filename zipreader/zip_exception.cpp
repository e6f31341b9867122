// CZipException: cause codes and their message table.
#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "common/system_error.h"
#include "zipreader/zip_platform.h"
#include "zipreader/zip_reader.h"

namespace vx {
namespace {

// The texts of the errno values 1 to 30 that the table lists. The C library's own
// texts differ between systems; these are the ones this reader has always shown.
const char* ErrnoText(int e) {
  switch (e) {
    case 1: return "Not super-user";
    case 2: return "No such file or directory";
    case 4: return "Interrupted system call";
    case 5: return "I/O error";
    case 6: return "No such device or address";
    case 9: return "Bad file number";
    case 12: return "Not enough space";
    case 13: return "Permission denied";
    case 14: return "Bad address";
    case 17: return "File exists";
    case 18: return "Cross-device link";
    case 19: return "No such device";
    case 20: return "Not a directory";
    case 21: return "Is a directory";
    case 22: return "Invalid argument";
    case 23: return "File table overflow";
    case 24: return "Too many open files";
    case 27: return "File too large";
    case 28: return "No space left on device";
    case 29: return "Illegal seek";
    case 30: return "Read-only file system";
    default: return nullptr;
  }
}

// Causes with a fixed text.
const char* FixedText(int cause) {
  switch (cause) {
    case 101: return "Damaged or not a zip file";
    case 102: return "Crc mismatched";
    case 103: return "No disk-spanning callback functor set";
    case 104: return "Disk change aborted";
    case 105: return "Action aborted";
    case 106: return "Action aborted safely";
    case 107: return "The device selected for the disk spanning archive is non removable";
    case 108: return "Limit of the maximum volumes reached";
    case 109: return "The filename of the file being added to the archive is too long";
    case 110: return "Incorrect password set for the file being decrypted";
    case 111: return "During testing found the directory with the size greater than 0";
    case 112: return "Internal error";
    case 115: return "Cannot create the file for the specified platform";
    case 116:
      return "The central directory was not found in the archive (or you were trying to "
             "open not the last disk of a multi-disk archive)";
    case 500: return "Zlib Library error (end of stream)";
    case 503: return "Zlib library error (stream error)";
    case 504: return "Zlib library error (data error)";
    case 505: return "Not enough memory";
    case 506: return "Zlib library error (buffer error)";
    case 507: return "Zlib library error (version error)";
    default: return ErrnoText(cause);
  }
}

// The system's text: the last Windows error when the system has a text for it, else
// the errno text, else "Unknown error".
std::string SystemText(int errnoValue, unsigned long systemError) {
  if (systemError != 0) {
    const std::string text = SystemErrorText(systemError);
    // SystemErrorText names the bare code when the system has no text for it.
    if (text != "system error " + std::to_string(systemError)) return text;
  }
  if (const char* e = ErrnoText(errnoValue)) return e;
  return "Unknown error";
}

}  // namespace

CZipException::CZipException(int cause, const std::string& fileName)
    : m_iCause(cause),
      m_szFileName(fileName),
      m_nErrno(errno),
      m_nSystemError(zipplatform::LastSystemError()) {
  m_strWhat = message();
}

std::string CZipException::MessageFor(int cause, int errnoValue, unsigned long systemError) {
  if (const char* fixed = FixedText(cause)) return fixed;
  switch (cause) {
    case 113: return std::string("Error while removing a file (") + SystemText(errnoValue, systemError) + ")";
    case 114: return std::string("Error while renaming a file (") + SystemText(errnoValue, systemError) + ")";
    case 502:
      // The current errno names the cause; 502 itself and 0 count as 100.
      if (errnoValue != 502 && errnoValue != 0 && FixedText(errnoValue) != nullptr)
        return FixedText(errnoValue);
      return SystemText(errnoValue, systemError);
    default: return SystemText(errnoValue, systemError);
  }
}

std::string CZipException::message() const { return MessageFor(m_iCause, m_nErrno, m_nSystemError); }

bool CZipException::GetErrorMessage(char* buffer, unsigned size, unsigned* helpContext) const {
  if (helpContext != nullptr) *helpContext = 0;
  if (buffer == nullptr || size == 0) return false;
  std::string text = message();
  if (text.empty()) return false;
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return true;
}

const char* CZipException::what() const noexcept { return m_strWhat.c_str(); }

int CZipException::ZlibErrorToCause(int zlibResult) {
  switch (zlibResult) {
    case Z_STREAM_END: return 500;
    case Z_NEED_DICT: return 501;
    case Z_ERRNO: return 502;
    case Z_STREAM_ERROR: return 503;
    case Z_DATA_ERROR: return 504;
    case Z_MEM_ERROR: return 505;
    case Z_BUF_ERROR: return 506;
    case Z_VERSION_ERROR: return 507;
    default: return 100;
  }
}

}  // namespace vx
