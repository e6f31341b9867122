#include "framework/filedialog.h"

#include <cderr.h>

#include <algorithm>
#include <cstring>

#include "framework/app.h"
#include "framework/wnd.h"

std::string CFileDialog::ConvertFilter(const char* filter) {
  std::string out = filter ? filter : "";
  for (char& c : out)
    if (c == '|') c = '\0';
  // The dialog reads up to two NULs in a row; the "||" ending gives them, an unended
  // filter gets them here.
  out.push_back('\0');
  out.push_back('\0');
  return out;
}

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const char* defExt, const char* fileName, DWORD dwFlags,
                         const char* filter, CWnd* pParentWnd)
    : m_bOpenFileDialog(bOpenFileDialog),
      m_strDefExt(defExt ? defExt : ""),
      m_strFilter(filter ? ConvertFilter(filter) : std::string()),
      // Two NULs beyond what the dialog may fill end any walk over the buffer.
      m_fileName(((dwFlags & OFN_ALLOWMULTISELECT) ? kMultiSelectBufferSize : MAX_PATH) + 2, '\0'),
      m_hWndParent(pParentWnd ? pParentWnd->GetSafeHwnd() : nullptr) {
  if (fileName) {
    std::strncpy(m_fileName.data(), fileName, m_fileName.size() - 1);
  }
  m_ofn.lStructSize = sizeof(m_ofn);
  m_ofn.hInstance = AfxGetInstanceHandle();
  m_ofn.lpstrFile = m_fileName.data();
  m_ofn.nMaxFile = static_cast<DWORD>(m_fileName.size() - 2);
  m_ofn.lpstrDefExt = defExt ? m_strDefExt.c_str() : nullptr;
  m_ofn.lpstrFilter = filter ? m_strFilter.c_str() : nullptr;
  m_ofn.Flags = dwFlags | OFN_EXPLORER;
}

INT_PTR CFileDialog::DoModal() {
  if (!m_ofn.hwndOwner) {
    HWND owner = m_hWndParent;
    if (!owner && AfxGetApp() && AfxGetApp()->m_pMainWnd) owner = AfxGetApp()->m_pMainWnd->GetSafeHwnd();
    m_ofn.hwndOwner = owner;
  }
  m_bBufferTooSmall = false;
  const BOOL ok = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
  if (ok && (m_ofn.Flags & OFN_ALLOWMULTISELECT) && !SelectionEnded(m_fileName.data(), m_ofn.nMaxFile)) {
    // Some dialogs (Wine's among them) cut a selection that does not fit and report
    // success; the list then lacks its closing NULs and its last name may be cut.
    // Taking part of the choice would be worse than refusing it.
    m_bBufferTooSmall = true;
  } else if (!ok) {
    m_bBufferTooSmall = ::CommDlgExtendedError() == FNERR_BUFFERTOOSMALL;
  }
  if (m_bBufferTooSmall) {
    // A refused selection leaves the size it needed in the buffer's first bytes; clear
    // the buffer so that no walk over it takes them for a path.
    std::fill(m_fileName.begin(), m_fileName.end(), '\0');
    return IDCANCEL;
  }
  return ok ? IDOK : IDCANCEL;
}

bool CFileDialog::SelectionEnded(const char* buffer, size_t size) {
  // One path ended by a NUL (the rest of the buffer is still zero), or a folder and
  // names each ended by a NUL with one more after the last: either way two NULs in a
  // row. A cut list fills the buffer to its end without them.
  if (size == 0 || buffer[0] == '\0') return true;
  for (size_t i = 1; i < size; ++i)
    if (buffer[i - 1] == '\0' && buffer[i] == '\0') return true;
  return false;
}

POSITION CFileDialog::GetStartPosition() const { return m_fileName[0] ? m_fileName.data() : nullptr; }

std::string CFileDialog::NextPathInBuffer(const char* buffer, bool multi, POSITION& pos) {
  if (!pos) return std::string();
  const char* first = buffer;
  const char* afterFirst = first + std::strlen(first) + 1;
  if (!multi || (pos == first && *afterFirst == '\0')) {
    pos = nullptr;
    return first;
  }
  if (pos == first) pos = afterFirst;
  std::string folder = first;
  std::string name = pos;
  const char* next = pos + name.size() + 1;
  pos = *next ? next : nullptr;
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder + name;
}

std::string CFileDialog::GetNextPathName(POSITION& pos) const {
  return NextPathInBuffer(m_fileName.data(), (m_ofn.Flags & OFN_ALLOWMULTISELECT) != 0, pos);
}

std::string CFileDialog::GetPathName() const {
  POSITION pos = GetStartPosition();
  return GetNextPathName(pos);
}
