#include "framework/filedialog.h"

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

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const char* defExt, const char* fileName,
                         DWORD dwFlags, const char* filter, CWnd* pParentWnd)
    : m_bOpenFileDialog(bOpenFileDialog),
      m_strDefExt(defExt ? defExt : ""),
      m_strFilter(filter ? ConvertFilter(filter) : std::string()),
      m_hWndParent(pParentWnd ? pParentWnd->GetSafeHwnd() : nullptr) {
  if (fileName) {
    std::strncpy(m_szFileName, fileName, sizeof(m_szFileName) - 1);
  }
  m_ofn.lStructSize = sizeof(m_ofn);
  m_ofn.hInstance = AfxGetInstanceHandle();
  m_ofn.lpstrFile = m_szFileName;
  m_ofn.nMaxFile = sizeof(m_szFileName);
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
  const BOOL ok = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
  return ok ? IDOK : IDCANCEL;
}

POSITION CFileDialog::GetStartPosition() const {
  return m_szFileName[0] ? m_szFileName : nullptr;
}

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
  return NextPathInBuffer(m_szFileName, (m_ofn.Flags & OFN_ALLOWMULTISELECT) != 0, pos);
}

std::string CFileDialog::GetPathName() const {
  POSITION pos = GetStartPosition();
  return GetNextPathName(pos);
}
