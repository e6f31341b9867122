// The library of gui_driver (and of bench/gui's driver): starting and closing the real
// Vellumix.exe, working its window, its message boxes and the common dialogs through
// window messages, reading its list view and tooltips from inside its process, and the
// files a scenario needs. Each scenario lives in a file of its own under scenarios/
// (declared in scenarios/scenarios.h); gui_driver_main.cpp runs one as a GoogleTest.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/win32_handles.h"

namespace vx::test::gui {

// Prints one line of progress.
void Note(const char* format, ...) __attribute__((format(printf, 1, 2)));
// printf-style formatting, for the messages of failed assertions.
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// ---- Text helpers -----------------------------------------------------------------

// (common/win32_text.h under the driver's short names: the window holds ANSI text.)
std::string Utf8(const std::wstring& w);
std::wstring Wide(const std::string& s);  // from the ANSI code page
std::wstring WideFromUtf8(const std::string& s);
std::wstring Text(HWND h);
void SetText(HWND h, const std::wstring& text);
std::wstring Replace(std::wstring s, const std::wstring& from, const std::wstring& to);
// printf-style "%s" substitution on wide strings (the string table's formats).
std::wstring FormatS(const std::wstring& format, const std::vector<std::wstring>& args);

// ---- The string table of Vellumix.exe, read from the file itself --------------------

class StringTable {
 public:
  StringTable(const std::string& exe, WORD language)
      : m_module(LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)), m_language(language) {}
  bool ok() const { return m_module.valid(); }
  std::wstring get(UINT id) const {
    HRSRC res =
        FindResourceExW(m_module.get(), MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1), m_language);
    if (!res) return L"<missing>";
    const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(m_module.get(), res)));
    const DWORD size = SizeofResource(m_module.get(), res) / 2;
    DWORD pos = 0;
    for (UINT i = 0; i < id % 16 && pos < size; ++i) pos += 1 + p[pos];
    if (pos >= size) return L"<missing>";
    return std::wstring(reinterpret_cast<const wchar_t*>(p + pos + 1), p[pos]);
  }

 private:
  vx::win::UniqueModule m_module;
  WORD m_language;
};

// ---- Waiting ----------------------------------------------------------------------

bool WaitUntil(const std::function<bool()>& cond, DWORD timeoutMs);
// Lets the packager's thread finish what was sent or posted to it.
void Settle(HWND main, DWORD ms = 300);

// ---- Memory inside the packager's process (list view and tooltip structures) --------

class RemoteBlock {
 public:
  RemoteBlock(HANDLE process, size_t size) : m_process(process), m_size(size) {
    m_address = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBlock() {
    if (m_address) VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE);
  }
  char* address() const { return static_cast<char*>(m_address); }
  bool write(size_t offset, const void* data, size_t len) {
    SIZE_T done = 0;
    return WriteProcessMemory(m_process, address() + offset, data, len, &done) && done == len;
  }
  bool read(size_t offset, void* data, size_t len) {
    SIZE_T done = 0;
    return ReadProcessMemory(m_process, address() + offset, data, len, &done) && done == len;
  }

 private:
  HANDLE m_process;
  size_t m_size;
  void* m_address;
};

// ---- The packager ------------------------------------------------------------------

struct Packager {
  PROCESS_INFORMATION pi{};
  HWND main = nullptr;
  std::string installDir;

  ~Packager() {
    if (pi.hProcess) {
      if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 99);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
  }
  HWND item(int id) const { return GetDlgItem(main, id); }
  bool running() const { return WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }
};

std::vector<HWND> TopWindows(DWORD pid, const wchar_t* className);
// A visible dialog of the packager other than its main window (a message box or a
// common dialog), or null.
HWND FindPopup(const Packager& p);
HWND WaitPopup(const Packager& p, DWORD timeoutMs);
bool StartPackager(Packager& p, const std::string& installDir, const char* currentDir = nullptr);
bool ClosePackager(Packager& p, DWORD timeoutMs = 15000);
// A click that may open a modal window: posted, so the driver does not wait for it.
void PostClick(HWND button);
// A click whose handler returns at once: sent, so it has run when this returns.
void SendClick(HWND button);
// Message box parts: the text (static 0xFFFF), its buttons.
std::wstring MessageText(HWND box);
// Message boxes break lines in their own way; compare texts with CR LF and CR as LF.
std::wstring NormalizeLines(std::wstring s);
void Answer(HWND box, int id);

// ---- Common dialogs -------------------------------------------------------------------

// The file-name box: the edit inside combo box cmb13 (Wine nests it in a ComboBoxEx),
// or the plain edit edt1.
HWND FileNameEdit(HWND dlg);
// Types `text` into the dialog's file-name box and presses its OK button; true when
// the dialog then went away (false: it stayed, for example after navigating).
bool FillFileDialog(HWND dlg, const std::wstring& text, DWORD waitMs = 5000);
// Opens the Add dialog and chooses `paths` (full paths), which must share one folder.
bool AddFiles(Packager& p, const std::vector<std::string>& paths);

// ---- The list view -------------------------------------------------------------------

int RowCount(const Packager& p);
std::wstring Cell(const Packager& p, int row, int col);
std::vector<std::wstring> Column(const Packager& p, int col);
void Select(const Packager& p, const std::vector<int>& rows);
std::wstring HeaderText(const Packager& p, int col);
// The tooltip text of an image button, read from the tooltip control that serves it.
std::wstring ToolTipOf(const Packager& p, HWND button);

// ---- Files ---------------------------------------------------------------------------

bool WriteFileBytes(const std::string& path, const std::string& data);
// An uncompressed movie of width x height pixels: the header, the frame-size
// rectangle (5 bits of field width, then four fields in twips), frame rate and count,
// and an End tag.
std::string MakeSwf(int width, int height);
bool RemoveTree(const std::string& path);
std::vector<std::string> FolderEntries(const std::string& path);
bool IsFolder(const std::string& path);
uint64_t FileSizeOf(const std::string& path);
// Runs a console program and returns what it printed.
std::string RunAndCapture(const std::string& commandLine, DWORD* exitCode);
// The size text the packager shows (an independent statement of its rule).
std::wstring ExpectedSizeText(uint64_t size);
struct Setup {
  std::string binDir, workDir, installDir, dataDir;
  std::string exe() const { return installDir + "\\Vellumix.exe"; }
};

// withStub: 1 the stub is needed, 0 it is left out, -1 copied when the build has it.
bool Prepare(Setup& s, const std::string& binDir, const std::string& workDir, int withStub);

// ---- Adding many files at once ----------------------------------------------------

// Opens the Add dialog on `folder` and types the quoted `names` into its file-name box,
// ready for OK; null when the dialog did not open.
HWND PrepareAddDialog(Packager& p, const std::string& folder, const std::vector<std::string>& names);
void PressOk(HWND dlg);
// `count` names of `length` characters (before the suffix), numbered so that each is
// told apart by its first characters.
std::vector<std::string> LongNames(int count, size_t length, const char* suffix);

}  // namespace vx::test::gui
