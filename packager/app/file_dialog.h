// FileDialog: the system's open-file and save-file dialogs, as the packager uses them.
//
// Filters are written as pairs of "Name|pattern" joined by "|" and ended by "||", for
// example "Shockwave Flash Format (*.swf)|*.swf|All Files (*.*)|*.*||". A single
// selection comes back in a buffer of MAX_PATH (260) characters. A dialog with
// OFN_ALLOWMULTISELECT gets a buffer of kMultiSelectBufferSize characters on the heap,
// room for some thousands of names. A selection that still does not fit is refused:
// run returns false and bufferTooSmall() tells the caller, who should say so rather
// than treat it as a cancel. This covers both the dialog's own refusal
// (CommDlgExtendedError() is FNERR_BUFFERTOOSMALL) and a dialog that cuts the list at
// the end of the buffer and reports success. Paths are in the system's ANSI code page.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

class FileDialog {
 public:
  // Characters of the selection buffer of a multiple-selection dialog.
  static constexpr DWORD kMultiSelectBufferSize = 64 * 1024;

  // `flags` are OFN_* flags; OFN_EXPLORER is always added. `defaultExtension` may be null.
  FileDialog(bool open, const char* defaultExtension, DWORD flags, const char* filter, HWND owner);
  FileDialog(const FileDialog&) = delete;
  FileDialog& operator=(const FileDialog&) = delete;

  // True when the user chose; false when they cancelled or the selection did not fit
  // the buffer (see bufferTooSmall).
  bool run();
  // True when the last run was refused because the chosen names did not fit the
  // selection buffer; nothing was chosen then.
  bool bufferTooSmall() const { return m_bufferTooSmall; }
  // The chosen paths: one for a single selection, each of a multiple one.
  std::vector<std::string> paths() const;

  // One step through a selection buffer as the dialog fills it: `buffer` holds one full
  // path (single selection, or a multiple selection of one file), or the folder
  // followed by the names (multiple selection), each ended by NUL, with a second NUL at
  // the end. Start with `pos` = buffer (null when the buffer is empty); it is null after
  // the last path.
  static std::string NextPathInBuffer(const char* buffer, bool multiSelect, const char*& pos);
  // True when the first `size` characters of a selection buffer hold a whole selection
  // (see NextPathInBuffer): empty, or with two NULs in a row after its names. False for
  // a list that a dialog cut off at the end of the buffer.
  static bool SelectionEnded(const char* buffer, size_t size);
  // Converts a "Name|pattern|...||" filter to the dialog's NUL-separated form.
  static std::string ConvertFilter(const char* filter);

 private:
  bool m_open;
  std::string m_filter;
  OPENFILENAMEA m_ofn{};
  // The selection buffer: MAX_PATH characters, or kMultiSelectBufferSize for a
  // multiple selection (chosen by the constructor's flags), and two more NULs that the
  // dialog is not told of. m_ofn.lpstrFile points into it; it is never resized.
  std::vector<char> m_fileName;
  bool m_bufferTooSmall = false;
};
