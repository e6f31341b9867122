// The system's open-file and save-file dialogs.
//
// Filters are written the framework's way: pairs of "Name|pattern" joined by "|" and
// ended by "||", for example "Shockwave Flash Format (*.swf)|*.swf|All Files (*.*)|*.*||".
// The selection comes back in a buffer of MAX_PATH (260) characters; a multiple
// selection that does not fit is refused by the dialog (DoModal returns IDCANCEL and
// CommDlgExtendedError() is FNERR_BUFFERTOOSMALL).
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <string>

class CWnd;

// Position in a multiple selection (see GetStartPosition).
using POSITION = const char*;

class CFileDialog {
 public:
  // dwFlags are OFN_* flags; OFN_EXPLORER is always added.
  CFileDialog(BOOL bOpenFileDialog, const char* defExt = nullptr, const char* fileName = nullptr,
              DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* filter = nullptr,
              CWnd* pParentWnd = nullptr);
  CFileDialog(const CFileDialog&) = delete;
  CFileDialog& operator=(const CFileDialog&) = delete;

  // IDOK or IDCANCEL.
  INT_PTR DoModal();

  // The chosen file's full path (single selection), or the first of several.
  std::string GetPathName() const;
  // Walks a multiple selection: GetStartPosition, then GetNextPathName until the
  // position is null. A single selection gives its one path.
  POSITION GetStartPosition() const;
  std::string GetNextPathName(POSITION& pos) const;

  // One step through a selection buffer as the dialog fills it: `buffer` holds one full
  // path (single selection, or a multiple selection of one file), or the folder
  // followed by the names (multiple selection), each ended by NUL, with a second NUL at
  // the end. Start with pos = buffer (null when the buffer is empty).
  static std::string NextPathInBuffer(const char* buffer, bool multiSelect, POSITION& pos);

  // Converts a "Name|pattern|...||" filter to the dialog's NUL-separated form.
  static std::string ConvertFilter(const char* filter);

  OPENFILENAMEA m_ofn{};

 private:
  BOOL m_bOpenFileDialog;
  std::string m_strDefExt;
  std::string m_strFilter;
  char m_szFileName[MAX_PATH] = {};
  HWND m_hWndParent;
};
