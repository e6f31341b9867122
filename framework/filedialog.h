// The system's open-file and save-file dialogs.
//
// Filters are written the framework's way: pairs of "Name|pattern" joined by "|" and
// ended by "||", for example "Shockwave Flash Format (*.swf)|*.swf|All Files (*.*)|*.*||".
// A single selection comes back in a buffer of MAX_PATH (260) characters. A dialog with
// OFN_ALLOWMULTISELECT gets a buffer of kMultiSelectBufferSize characters on the heap,
// room for some thousands of names. A selection that still does not fit is refused:
// DoModal returns IDCANCEL and BufferTooSmall() tells the caller, who should say so
// rather than treat it as a cancel. This covers both the dialog's own refusal
// (CommDlgExtendedError() is FNERR_BUFFERTOOSMALL) and a dialog that cuts the list at
// the end of the buffer and reports success.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

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

  // Characters of the selection buffer of a multiple-selection dialog.
  static constexpr DWORD kMultiSelectBufferSize = 64 * 1024;

  // IDOK or IDCANCEL. IDCANCEL also when the selection did not fit the buffer (see
  // BufferTooSmall).
  INT_PTR DoModal();
  // True when the last DoModal was refused because the chosen names did not fit the
  // selection buffer (FNERR_BUFFERTOOSMALL); nothing was chosen then.
  bool BufferTooSmall() const { return m_bBufferTooSmall; }

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

  // True when the first `size` characters of a selection buffer hold a whole selection
  // (see NextPathInBuffer): empty, or with two NULs in a row after its names. False for
  // a list that a dialog cut off at the end of the buffer.
  static bool SelectionEnded(const char* buffer, size_t size);

  // Converts a "Name|pattern|...||" filter to the dialog's NUL-separated form.
  static std::string ConvertFilter(const char* filter);

  OPENFILENAMEA m_ofn{};

 private:
  BOOL m_bOpenFileDialog;
  std::string m_strDefExt;
  std::string m_strFilter;
  // The selection buffer: MAX_PATH characters, or kMultiSelectBufferSize for a
  // multiple selection (chosen by the constructor's flags), and two more NULs that the
  // dialog is not told of. m_ofn.lpstrFile points into it; it is never resized.
  std::vector<char> m_fileName;
  HWND m_hWndParent;
  bool m_bBufferTooSmall = false;
};
