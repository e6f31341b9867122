#include "packager/app/file_dialog.h"

#include <cderr.h>

#include <algorithm>
#include <cstring>

std::string FileDialog::ConvertFilter(const char* filter) {
  std::string out = filter ? filter : "";
  std::replace(out.begin(), out.end(), '|', '\0');
  // The dialog reads up to two NULs in a row; the "||" ending gives them, an unended
  // filter gets them here.
  out.append(2, '\0');
  return out;
}

FileDialog::FileDialog(bool open, const char* defaultExtension, DWORD flags, const char* filter, HWND owner)
    : m_open(open),
      m_filter(ConvertFilter(filter)),
      // Two NULs beyond what the dialog may fill end any walk over the buffer.
      m_fileName(((flags & OFN_ALLOWMULTISELECT) ? kMultiSelectBufferSize : MAX_PATH) + 2, '\0') {
  m_ofn.lStructSize = sizeof(m_ofn);
  m_ofn.hwndOwner = owner;
  m_ofn.hInstance = ::GetModuleHandleA(nullptr);
  m_ofn.lpstrFile = m_fileName.data();
  m_ofn.nMaxFile = static_cast<DWORD>(m_fileName.size() - 2);
  m_ofn.lpstrDefExt = defaultExtension;
  m_ofn.lpstrFilter = m_filter.c_str();
  m_ofn.Flags = flags | OFN_EXPLORER;
}

bool FileDialog::run() {
  const BOOL ok = m_open ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
  if (ok && (m_ofn.Flags & OFN_ALLOWMULTISELECT)) {
    // Some dialogs (Wine's among them) cut a selection that does not fit and report
    // success; the list then lacks its closing NULs and its last name may be cut.
    // Taking part of the choice would be worse than refusing it.
    m_bufferTooSmall = !SelectionEnded(m_fileName.data(), m_ofn.nMaxFile);
  } else {
    m_bufferTooSmall = !ok && ::CommDlgExtendedError() == FNERR_BUFFERTOOSMALL;
  }
  if (m_bufferTooSmall) {
    // A refused selection leaves the size it needed in the buffer's first bytes; clear
    // the buffer so that no walk over it takes them for a path.
    std::fill(m_fileName.begin(), m_fileName.end(), '\0');
    return false;
  }
  return ok != FALSE;
}

bool FileDialog::SelectionEnded(const char* buffer, size_t size) {
  // One path ended by a NUL (the rest of the buffer is still zero), or a folder and
  // names each ended by a NUL with one more after the last: either way two NULs in a
  // row. A cut list fills the buffer to its end without them.
  if (size == 0 || buffer[0] == '\0') return true;
  for (size_t i = 1; i < size; ++i)
    if (buffer[i - 1] == '\0' && buffer[i] == '\0') return true;
  return false;
}

std::string FileDialog::NextPathInBuffer(const char* buffer, bool multiSelect, const char*& pos) {
  if (!pos) return std::string();
  const char* first = buffer;
  const char* afterFirst = first + std::strlen(first) + 1;
  if (!multiSelect || (pos == first && *afterFirst == '\0')) {
    pos = nullptr;
    return first;
  }
  if (pos == first) pos = afterFirst;
  std::string folder = first;
  const std::string name = pos;
  const char* next = pos + name.size() + 1;
  pos = *next ? next : nullptr;
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder + name;
}

std::vector<std::string> FileDialog::paths() const {
  std::vector<std::string> out;
  const bool multiSelect = (m_ofn.Flags & OFN_ALLOWMULTISELECT) != 0;
  for (const char* pos = m_fileName[0] ? m_fileName.data() : nullptr; pos;)
    out.push_back(NextPathInBuffer(m_fileName.data(), multiSelect, pos));
  return out;
}
