// gui_driver: works the real Vellumix.exe as a user would, through window messages and
// the common dialogs, and checks what the window shows. Runs under Wine on a private
// X server (testing/wine-harness.sh); one scenario per run:
//
//   gui_driver captions   BIN_DIR WORK_DIR en|zh
//   gui_driver list       BIN_DIR WORK_DIR
//   gui_driver many       BIN_DIR WORK_DIR
//   gui_driver mouse      BIN_DIR WORK_DIR
//   gui_driver build      BIN_DIR WORK_DIR
//   gui_driver failure    BIN_DIR WORK_DIR
//   gui_driver update     BIN_DIR WORK_DIR offer|none VERSION FIXED WHATSNEW [en|zh]
//   gui_driver early-close BIN_DIR WORK_DIR
//   gui_driver workfolder BIN_DIR WORK_DIR
//   gui_driver screenshot BIN_DIR WORK_DIR OUTPUT.bmp
//   gui_driver responsiveness BIN_DIR WORK_DIR MEGABYTES   (benchmark: prints the worst
//                                                           answer time during a build)
//   gui_driver addmany    BIN_DIR WORK_DIR COUNT   (benchmark: one Add of COUNT movies)
//
// BIN_DIR holds Vellumix.exe, Orrinet.exe and vellumix-cli.exe. WORK_DIR is emptied
// and receives a private installation folder (a copy of the two programs, so that the
// work folder "Temp" belongs to this run) and the files the scenario adds. Exit code 0
// when every check held; each failed check prints one "FAIL" line.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

#define CHECK(cond, ...)                                                   \
  do {                                                                     \
    if (!(cond)) {                                                         \
      ++g_failures;                                                        \
      std::printf("FAIL %s:%d: %s: ", __FILE__, __LINE__, #cond);          \
      std::printf(__VA_ARGS__);                                            \
      std::printf("\n");                                                   \
      std::fflush(stdout);                                                 \
    }                                                                      \
  } while (0)

void Note(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::printf("\n");
  std::fflush(stdout);
}

// ---- Text helpers -----------------------------------------------------------------

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

std::wstring Wide(const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::wstring WideFromUtf8(const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::wstring Text(HWND h) {
  wchar_t buf[4096];
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &n))
    return L"<no answer>";
  return std::wstring(buf, n);
}

void SetText(HWND h, const std::wstring& text) {
  SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring Replace(std::wstring s, const std::wstring& from, const std::wstring& to) {
  for (size_t pos = 0; (pos = s.find(from, pos)) != std::wstring::npos; pos += to.size())
    s.replace(pos, from.size(), to);
  return s;
}

// printf-style "%s" substitution on wide strings (the string table's formats).
std::wstring FormatS(const std::wstring& format, const std::vector<std::wstring>& args) {
  std::wstring out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == L'%' && i + 1 < format.size() && format[i + 1] == L's' && next < args.size()) {
      out += args[next++];
      ++i;
    } else if (format[i] == L'%' && i + 1 < format.size() && format[i + 1] == L'%') {
      out += L'%';
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

// ---- The string table of Vellumix.exe, read from the file itself --------------------

class StringTable {
 public:
  StringTable(const std::string& exe, WORD language) : m_language(language) {
    m_module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  ~StringTable() {
    if (m_module) FreeLibrary(m_module);
  }
  bool ok() const { return m_module != nullptr; }
  std::wstring get(UINT id) const {
    HRSRC res = FindResourceExW(m_module, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1), m_language);
    if (!res) return L"<missing>";
    const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(m_module, res)));
    const DWORD size = SizeofResource(m_module, res) / 2;
    DWORD pos = 0;
    for (UINT i = 0; i < id % 16 && pos < size; ++i) pos += 1 + p[pos];
    if (pos >= size) return L"<missing>";
    return std::wstring(reinterpret_cast<const wchar_t*>(p + pos + 1), p[pos]);
  }

 private:
  HMODULE m_module = nullptr;
  WORD m_language;
};

// ---- Waiting ----------------------------------------------------------------------

bool WaitUntil(const std::function<bool()>& cond, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (cond()) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(50);
  }
}

// Lets the packager's thread finish what was sent or posted to it.
void Settle(HWND main, DWORD ms = 300) {
  Sleep(ms);
  DWORD_PTR r;
  SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r);
}

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

struct FindData {
  DWORD pid;
  std::vector<HWND> found;
  const wchar_t* className;
};

BOOL CALLBACK CollectWindows(HWND h, LPARAM lp) {
  FindData* d = reinterpret_cast<FindData*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid != d->pid) return TRUE;
  wchar_t cls[64];
  GetClassNameW(h, cls, 64);
  if (d->className && lstrcmpiW(cls, d->className) != 0) return TRUE;
  d->found.push_back(h);
  return TRUE;
}

std::vector<HWND> TopWindows(DWORD pid, const wchar_t* className) {
  FindData d{pid, {}, className};
  EnumWindows(CollectWindows, reinterpret_cast<LPARAM>(&d));
  return d.found;
}

// A visible dialog of the packager other than its main window (a message box or a
// common dialog), or null.
HWND FindPopup(const Packager& p) {
  for (HWND h : TopWindows(p.pi.dwProcessId, L"#32770"))
    if (h != p.main && IsWindowVisible(h)) return h;
  return nullptr;
}

HWND WaitPopup(const Packager& p, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindPopup(p)) != nullptr; }, timeoutMs);
  if (found) Sleep(200);  // let it finish its initialisation
  return found;
}

bool StartPackager(Packager& p, const std::string& installDir, const char* currentDir = nullptr) {
  p.installDir = installDir;
  std::string cmd = "\"" + installDir + "\\Vellumix.exe\"";
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, currentDir, &si, &p.pi)) {
    Note("cannot start %s (error %lu)", cmd.c_str(), GetLastError());
    return false;
  }
  WaitForInputIdle(p.pi.hProcess, 20000);
  const bool shown = WaitUntil([&] {
    for (HWND h : TopWindows(p.pi.dwProcessId, L"#32770"))
      if (IsWindowVisible(h) && GetDlgItem(h, 1002)) { p.main = h; return true; }
    return false;
  }, 30000);
  if (!shown) Note("the packager's window did not show");
  Sleep(300);
  return shown;
}

bool ClosePackager(Packager& p, DWORD timeoutMs = 15000) {
  PostMessageW(p.main, WM_CLOSE, 0, 0);
  return WaitForSingleObject(p.pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

// A click that may open a modal window: posted, so the driver does not wait for it.
void PostClick(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }
// A click whose handler returns at once: sent, so it has run when this returns.
void SendClick(HWND button) {
  DWORD_PTR r;
  SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &r);
}

// Message box parts: the text (static 0xFFFF), its buttons.
std::wstring MessageText(HWND box) {
  HWND text = GetDlgItem(box, 0xFFFF);
  if (text) return Text(text);
  // Otherwise the longest static text.
  std::wstring best;
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[32];
    GetClassNameW(c, cls, 32);
    if (lstrcmpiW(cls, L"Static") == 0) {
      std::wstring t = Text(c);
      if (t.size() > best.size()) best = t;
    }
  }
  return best;
}

// Message boxes break lines in their own way; compare texts with CR LF and CR as LF.
std::wstring NormalizeLines(std::wstring s) {
  s = Replace(s, L"\r\n", L"\n");
  return Replace(s, L"\r", L"\n");
}

void Answer(HWND box, int id) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
  WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000);
}

// ---- Common dialogs -------------------------------------------------------------------

BOOL CALLBACK FindEditChild(HWND c, LPARAM lp) {
  wchar_t cls[32];
  GetClassNameW(c, cls, 32);
  if (lstrcmpiW(cls, L"Edit") == 0) {
    *reinterpret_cast<HWND*>(lp) = c;
    return FALSE;
  }
  return TRUE;
}

// The file-name box: the edit inside combo box cmb13 (Wine nests it in a ComboBoxEx),
// or the plain edit edt1.
HWND FileNameEdit(HWND dlg) {
  HWND combo = GetDlgItem(dlg, 0x47C);
  if (combo) {
    wchar_t cls[32];
    GetClassNameW(combo, cls, 32);
    if (lstrcmpiW(cls, L"Edit") == 0) return combo;
    HWND edit = nullptr;
    EnumChildWindows(combo, FindEditChild, reinterpret_cast<LPARAM>(&edit));
    if (edit) return edit;
  }
  return GetDlgItem(dlg, 0x480);
}

BOOL CALLBACK DumpChild(HWND c, LPARAM) {
  wchar_t cls[64];
  GetClassNameW(c, cls, 64);
  Note("  id %#x class %s text '%s'", GetDlgCtrlID(c), Utf8(cls).c_str(), Utf8(Text(c)).c_str());
  return TRUE;
}

// Types `text` into the dialog's file-name box and presses its OK button; true when
// the dialog then went away (false: it stayed, for example after navigating).
bool FillFileDialog(HWND dlg, const std::wstring& text, DWORD waitMs = 5000) {
  HWND edit = FileNameEdit(dlg);
  if (!edit) {
    Note("the file dialog has no file-name box; its windows:");
    EnumChildWindows(dlg, DumpChild, 0);
    return false;
  }
  SetText(edit, text);
  PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDOK)));
  return WaitUntil([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }, waitMs);
}

// Opens the Add dialog and chooses `paths` (full paths), which must share one folder.
bool AddFiles(Packager& p, const std::vector<std::string>& paths) {
  PostClick(p.item(1003));
  HWND dlg = WaitPopup(p, 10000);
  if (!dlg) {
    Note("the Add dialog did not open");
    return false;
  }
  std::wstring text;
  if (paths.size() == 1) {
    text = Wide(paths[0]);
  } else {
    const std::string folder = paths[0].substr(0, paths[0].find_last_of('\\'));
    FillFileDialog(dlg, Wide(folder), 1000);  // navigates; the dialog stays
    for (const std::string& path : paths) text += L"\"" + Wide(path.substr(path.find_last_of('\\') + 1)) + L"\" ";
  }
  const bool closed = FillFileDialog(dlg, text);
  Settle(p.main);
  return closed;
}

// ---- The list view -------------------------------------------------------------------

int RowCount(const Packager& p) {
  return static_cast<int>(SendMessageW(p.item(1002), LVM_GETITEMCOUNT, 0, 0));
}

std::wstring Cell(const Packager& p, int row, int col) {
  RemoteBlock block(p.pi.hProcess, sizeof(LVITEMW) + 2048);
  LVITEMW item{};
  item.iSubItem = col;
  item.cchTextMax = 1000;
  item.pszText = reinterpret_cast<wchar_t*>(block.address() + sizeof(LVITEMW));
  block.write(0, &item, sizeof(item));
  const int n = static_cast<int>(SendMessageW(p.item(1002), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(block.address())));
  std::vector<wchar_t> text(1001, 0);
  block.read(sizeof(LVITEMW), text.data(), 1000 * sizeof(wchar_t));
  return std::wstring(text.data(), n > 0 ? static_cast<size_t>(n) : 0);
}

std::vector<std::wstring> Column(const Packager& p, int col) {
  std::vector<std::wstring> out;
  for (int i = 0, n = RowCount(p); i < n; ++i) out.push_back(Cell(p, i, col));
  return out;
}

void Select(const Packager& p, const std::vector<int>& rows) {
  RemoteBlock block(p.pi.hProcess, sizeof(LVITEMW));
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED;
  item.state = 0;
  block.write(0, &item, sizeof(item));
  SendMessageW(p.item(1002), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(block.address()));
  item.state = LVIS_SELECTED;
  block.write(0, &item, sizeof(item));
  for (int r : rows)
    SendMessageW(p.item(1002), LVM_SETITEMSTATE, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(block.address()));
}

std::wstring HeaderText(const Packager& p, int col) {
  RemoteBlock block(p.pi.hProcess, sizeof(LVCOLUMNW) + 512);
  LVCOLUMNW c{};
  c.mask = LVCF_TEXT;
  c.cchTextMax = 200;
  c.pszText = reinterpret_cast<wchar_t*>(block.address() + sizeof(LVCOLUMNW));
  block.write(0, &c, sizeof(c));
  SendMessageW(p.item(1002), LVM_GETCOLUMNW, col, reinterpret_cast<LPARAM>(block.address()));
  std::vector<wchar_t> text(201, 0);
  block.read(sizeof(LVCOLUMNW), text.data(), 200 * sizeof(wchar_t));
  return text.data();
}

// The tooltip text of an image button, read from the tooltip control that serves it.
std::wstring ToolTipOf(const Packager& p, HWND button) {
  for (HWND tip : TopWindows(p.pi.dwProcessId, L"tooltips_class32")) {
    if (SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0) < 1) continue;
    RemoteBlock block(p.pi.hProcess, sizeof(TTTOOLINFOW) + 2048);
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof(ti);
    ti.lpszText = reinterpret_cast<wchar_t*>(block.address() + sizeof(TTTOOLINFOW));
    block.write(0, &ti, sizeof(ti));
    if (!SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(block.address()))) continue;
    block.read(0, &ti, sizeof(ti));
    if (ti.hwnd != button) continue;
    std::vector<wchar_t> text(1001, 0);
    block.read(sizeof(TTTOOLINFOW), text.data(), 1000 * sizeof(wchar_t));
    return text.data();
  }
  return L"<no tooltip>";
}

// ---- Files ---------------------------------------------------------------------------

bool WriteFileBytes(const std::string& path, const std::string& data) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  const bool ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &done, nullptr) && done == data.size();
  CloseHandle(h);
  return ok;
}

// An uncompressed movie of width x height pixels: the header, the frame-size
// rectangle (5 bits of field width, then four fields in twips), frame rate and count,
// and an End tag.
std::string MakeSwf(int width, int height) {
  const int nbits = 16;
  const uint32_t fields[4] = {0, static_cast<uint32_t>(width * 20), 0, static_cast<uint32_t>(height * 20)};
  std::vector<int> bits;
  for (int i = 4; i >= 0; --i) bits.push_back((nbits >> i) & 1);
  for (uint32_t f : fields)
    for (int i = nbits - 1; i >= 0; --i) bits.push_back((f >> i) & 1);
  std::string body;
  for (size_t i = 0; i < bits.size(); i += 8) {
    int byte = 0;
    for (size_t j = 0; j < 8; ++j) byte = (byte << 1) | (i + j < bits.size() ? bits[i + j] : 0);
    body += static_cast<char>(byte);
  }
  body += std::string("\x00\x0C\x01\x00", 4);  // 12 frames per second, 1 frame
  body += std::string("\x00\x00", 2);          // End
  std::string swf = "FWS";
  swf += static_cast<char>(7);
  const uint32_t length = static_cast<uint32_t>(8 + body.size());
  for (int i = 0; i < 4; ++i) swf += static_cast<char>((length >> (8 * i)) & 0xFF);
  return swf + body;
}

bool RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      const std::string full = path + "\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
      else DeleteFileA(full.c_str());
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  return RemoveDirectoryA(path.c_str()) != 0;
}

std::vector<std::string> FolderEntries(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = fd.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return names;
}

bool IsFolder(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

uint64_t FileSizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) return 0;
  return (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

// Runs a console program and returns what it printed.
std::string RunAndCapture(const std::string& commandLine, DWORD* exitCode) {
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  CreatePipe(&readEnd, &writeEnd, &sa, 0);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::string cmd = commandLine;
  std::string out;
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
    *exitCode = 999;
    return out;
  }
  CloseHandle(writeEnd);
  char buf[4096];
  DWORD n;
  while (ReadFile(readEnd, buf, sizeof(buf), &n, nullptr) && n > 0) out.append(buf, n);
  CloseHandle(readEnd);
  WaitForSingleObject(pi.hProcess, INFINITE);
  GetExitCodeProcess(pi.hProcess, exitCode);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return out;
}

// The size text the packager shows (an independent statement of its rule).
std::wstring ExpectedSizeText(uint64_t size) {
  double value = static_cast<double>(static_cast<uint32_t>(size));
  const wchar_t* units[] = {L"B", L"KB", L"MB", L"GB", L"TB"};
  int unit = 0;
  while (value > 1024 && unit < 4) {
    value /= 1024;
    ++unit;
  }
  wchar_t text[64];
  swprintf(text, 64, unit <= 1 ? L"%.0f %ls" : L"%.2f %ls", value, units[unit]);
  return text;
}

struct Setup {
  std::string binDir, workDir, installDir, dataDir;
  std::string exe() const { return installDir + "\\Vellumix.exe"; }
};

bool CopyInto(const std::string& from, const std::string& to) {
  if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
    Note("cannot copy %s to %s (error %lu)", from.c_str(), to.c_str(), GetLastError());
    return false;
  }
  return true;
}

// withStub: 1 the stub is needed, 0 it is left out, -1 copied when the build has it.
bool Prepare(Setup& s, const std::string& binDir, const std::string& workDir, int withStub) {
  s.binDir = binDir;
  s.workDir = workDir;
  s.installDir = workDir + "\\install";
  s.dataDir = workDir + "\\data";
  RemoveTree(workDir);
  CreateDirectoryA(workDir.c_str(), nullptr);
  CreateDirectoryA(s.installDir.c_str(), nullptr);
  CreateDirectoryA(s.dataDir.c_str(), nullptr);
  bool ok = CopyInto(binDir + "\\Vellumix.exe", s.exe());
  const std::string stub = binDir + "\\Orrinet.exe";
  if (withStub > 0 || (withStub < 0 && GetFileAttributesA(stub.c_str()) != INVALID_FILE_ATTRIBUTES))
    ok = CopyInto(stub, s.installDir + "\\Orrinet.exe") && ok;
  return ok;
}

// ---- Scenarios -------------------------------------------------------------------------

// Captions, headings and tooltips against the string table of the language the
// window should have picked.
int Captions(const Setup& s, const std::string& language) {
  const WORD lang = language == "zh" ? MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)
                                     : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  StringTable table(s.exe(), lang);
  StringTable english(s.exe(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  CHECK(table.ok(), "cannot read %s", s.exe().c_str());
  if (language == "zh") {
    // The Chinese table really is another text, so a match below means it was chosen.
    CHECK(table.get(1) != english.get(1), "the Chinese table repeats the English one");
    CHECK(table.get(1039) == L"VELLUMIXCHS", "section name %s", Utf8(table.get(1039)).c_str());
  }
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;

  CHECK(Text(p.main) == L"Vellumix 2.0 - ", "caption '%s'", Utf8(Text(p.main)).c_str());
  const struct { int ctrl; UINT str; } captions[] = {
      {1020, 122}, {1019, 123}, {1017, 124}, {1018, 1019}, {1001, 1020}, {1021, 1021}, {1023, 1},
      {1022, 2},   {1007, 3},   {1005, 4},   {1, 6},       {2, 7},       {1042, 1040}};
  for (const auto& c : captions) {
    const std::wstring shown = Text(p.item(c.ctrl));
    const std::wstring expected = table.get(c.str);
    CHECK(shown == expected, "control %d shows '%s', string %u is '%s'", c.ctrl, Utf8(shown).c_str(), c.str,
          Utf8(expected).c_str());
  }
  for (int col = 1; col <= 5; ++col) {
    const std::wstring shown = HeaderText(p, col);
    CHECK(shown == table.get(102 + col), "heading %d '%s'", col, Utf8(shown).c_str());
  }
  CHECK(HeaderText(p, 0).empty(), "column 0 has a heading");
  const struct { int ctrl; UINT str; } tips[] = {{1003, 1037}, {1004, 1038}, {1006, 1035}, {1008, 1036}};
  for (const auto& t : tips) {
    const std::wstring shown = ToolTipOf(p, p.item(t.ctrl));
    CHECK(shown == table.get(t.str), "tooltip of %d '%s'", t.ctrl, Utf8(shown).c_str());
  }
  // Initial state: "Main SWF + Resources", the default title, options clear, the move
  // buttons disabled, the image buttons owner-drawn, the headings bold.
  CHECK(SendMessageW(p.item(1017), BM_GETCHECK, 0, 0) == BST_CHECKED, "resource type not selected");
  CHECK(SendMessageW(p.item(1018), BM_GETCHECK, 0, 0) == BST_UNCHECKED, "slideshow selected");
  CHECK(Text(p.item(1011)) == table.get(110), "title '%s'", Utf8(Text(p.item(1011))).c_str());
  CHECK(SendMessageW(p.item(1007), BM_GETCHECK, 0, 0) == BST_UNCHECKED, "full screen ticked");
  CHECK(SendMessageW(p.item(1005), BM_GETCHECK, 0, 0) == BST_UNCHECKED, "auto install ticked");
  CHECK(!IsWindowEnabled(p.item(1006)) && !IsWindowEnabled(p.item(1008)), "move buttons enabled");
  CHECK(IsWindowEnabled(p.item(1003)) && IsWindowEnabled(p.item(1004)), "add/remove disabled");
  for (int id : {1003, 1004, 1006, 1008})
    CHECK((GetWindowLongW(p.item(id), GWL_STYLE) & 0x1F) == BS_OWNERDRAW, "button %d not owner-drawn", id);
  CHECK((GetWindowLongW(p.item(1), GWL_STYLE) & 0x1F) == BS_DEFPUSHBUTTON, "Package It! not the default button");
  CHECK(GetWindowLongW(p.main, GWL_EXSTYLE) & WS_EX_APPWINDOW, "not on the task bar");
  const DWORD lvStyle = static_cast<DWORD>(SendMessageW(p.item(1002), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  CHECK(lvStyle == LVS_EX_FULLROWSELECT, "list extended style %08lx", lvStyle);
  CHECK((SendMessageW(p.item(1000), EM_GETLIMITTEXT, 0, 0)) == 200, "main movie limit");
  CHECK((SendMessageW(p.item(1011), EM_GETLIMITTEXT, 0, 0)) == 50, "title limit");
  // The system menu's About item opens the About box.
  PostMessageW(p.main, WM_SYSCOMMAND, 0x10, 0);
  HWND about = WaitPopup(p, 10000);
  CHECK(about != nullptr, "no About box");
  if (about) {
    CHECK(Text(about) == L"About Vellumix", "About caption '%s'", Utf8(Text(about)).c_str());
    bool versionLine = false;
    for (HWND c = GetWindow(about, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
      if (Text(c) == L"Vellumix Version 2.0") versionLine = true;
    CHECK(versionLine, "no version line in the About box");
    Answer(about, IDOK);
  }
  CHECK(ClosePackager(p), "the packager did not close");
  return g_failures ? 1 : 0;
}

// ---- Mouse ------------------------------------------------------------------------------

void MouseTo(int x, int y) {
  SetCursorPos(x, y);
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = (x * 65535) / (GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = (y * 65535) / (GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in, sizeof(in));
}

void MouseButton(bool down) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendInput(1, &in, sizeof(in));
}

COLORREF ScreenPixel(int x, int y) {
  HDC screen = GetDC(nullptr);
  const COLORREF c = GetPixel(screen, x, y);
  ReleaseDC(nullptr, screen);
  return c;
}

// Hover border, pressed border, no hover on a disabled button, and a double click that
// counts as two clicks, with real mouse input.
int Mouse(const Setup& s) {
  const std::string d = s.dataDir;
  for (int i = 1; i <= 3; ++i)
    CHECK(WriteFileBytes(d + "\\s" + std::to_string(i) + ".swf", MakeSwf(100, 100)), "write");
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;
  SetForegroundWindow(p.main);
  const COLORREF face = GetSysColor(COLOR_BTNFACE), light = GetSysColor(COLOR_BTNHIGHLIGHT),
                 shadow = GetSysColor(COLOR_BTNSHADOW);
  RECT add;
  GetWindowRect(p.item(1003), &add);
  MouseTo(add.left - 40, add.top + 40);
  Sleep(500);
  CHECK(ScreenPixel(add.left, add.top) == face, "border before hover %06lx", ScreenPixel(add.left, add.top));
  MouseTo((add.left + add.right) / 2, (add.top + add.bottom) / 2);
  Sleep(500);
  CHECK(ScreenPixel(add.left, add.top) == light, "no raised border on hover: %06lx", ScreenPixel(add.left, add.top));
  CHECK(ScreenPixel(add.right - 1, add.bottom - 1) == shadow, "raised border bottom %06lx",
        ScreenPixel(add.right - 1, add.bottom - 1));
  MouseTo(add.left - 40, add.top + 40);
  Sleep(500);
  CHECK(ScreenPixel(add.left, add.top) == face, "border stayed after leaving: %06lx", ScreenPixel(add.left, add.top));

  // A disabled button (Move up, in "Main SWF + Resources") takes no hover.
  RECT up;
  GetWindowRect(p.item(1006), &up);
  MouseTo((up.left + up.right) / 2, (up.top + up.bottom) / 2);
  Sleep(500);
  CHECK(ScreenPixel(up.left, up.top) == face, "a disabled button shows a border: %06lx", ScreenPixel(up.left, up.top));

  // Pressed: sunken border. (Move the pointer off before releasing: no click.)
  RECT remove;
  GetWindowRect(p.item(1004), &remove);
  MouseTo((remove.left + remove.right) / 2, (remove.top + remove.bottom) / 2);
  Sleep(300);
  MouseButton(true);
  Sleep(500);
  CHECK(ScreenPixel(remove.left, remove.top) == shadow, "no sunken border when pressed: %06lx",
        ScreenPixel(remove.left, remove.top));
  MouseTo(add.left - 40, add.top + 60);
  Sleep(200);
  MouseButton(false);
  Sleep(300);

  // Slideshow with three movies, row 1 selected: one click on Move down swaps rows 1
  // and 2 (the selection stays on row 1). A double click then swaps them twice: its
  // first press is a click like the one before, so a second swap back means its second
  // press counted as a click too (without it the rows would stay swapped back once).
  SendClick(p.item(1018));
  std::vector<std::string> movies;
  for (int i = 1; i <= 3; ++i) movies.push_back(d + "\\s" + std::to_string(i) + ".swf");
  CHECK(AddFiles(p, movies), "add");
  const std::vector<std::wstring> names = Column(p, 1);
  CHECK(names.size() == 3, "%u rows", static_cast<unsigned>(names.size()));
  Select(p, {0});
  RECT down;
  GetWindowRect(p.item(1008), &down);
  MouseTo((down.left + down.right) / 2, (down.top + down.bottom) / 2);
  Sleep(300);
  MouseButton(true);
  MouseButton(false);
  Settle(p.main, 600);
  std::vector<std::wstring> once = names;
  if (once.size() == 3) std::swap(once[0], once[1]);
  CHECK(Column(p, 1) == once, "one click did not move the row once");
  Sleep(800);  // the next press starts a new click sequence
  MouseButton(true);
  MouseButton(false);
  MouseButton(true);
  MouseButton(false);
  Settle(p.main, 600);
  const std::vector<std::wstring> after = Column(p, 1);
  CHECK(after == once, "a double click did not count as two clicks: %s %s %s", after.size() > 0 ? Utf8(after[0]).c_str() : "",
        after.size() > 1 ? Utf8(after[1]).c_str() : "", after.size() > 2 ? Utf8(after[2]).c_str() : "");
  MouseTo(add.left - 40, add.top + 40);
  CHECK(ClosePackager(p), "the packager did not close");
  return g_failures ? 1 : 0;
}

// Waits for a message box of the packager and checks it: text, the caption "Vellumix",
// owned by the main window; then answers OK.
void ExpectBox(const Packager& p, const std::wstring& text, const char* what) {
  HWND box = WaitPopup(p, 10000);
  CHECK(box != nullptr, "no box: %s", what);
  if (!box) return;
  CHECK(NormalizeLines(MessageText(box)) == NormalizeLines(text), "%s: '%s', expected '%s'", what,
        Utf8(MessageText(box)).c_str(), Utf8(text).c_str());
  CHECK(Text(box) == L"Vellumix", "%s: caption '%s'", what, Utf8(Text(box)).c_str());
  CHECK(GetWindow(box, GW_OWNER) == p.main, "%s: not owned by the main window", what);
  Answer(box, IDOK);
}

int List(const Setup& s) {
  // Files: clip.swf in one folder and CLIP.SWF in another, a 550 x 400 movie, a file
  // named Package.INI, README without a dot in a folder without one, a file of
  // 1,048,577 bytes, a movie with an empty body, and five movies for the remove and
  // move cases.
  const std::string a = s.dataDir + "\\one", b = s.dataDir + "\\two", plain = s.dataDir + "\\noext";
  for (const std::string& d : {a, b, plain}) CreateDirectoryA(d.c_str(), nullptr);
  CHECK(WriteFileBytes(a + "\\clip.swf", MakeSwf(550, 400)), "write");
  CHECK(WriteFileBytes(b + "\\CLIP.SWF", MakeSwf(320, 240)), "write");
  CHECK(WriteFileBytes(b + "\\Package.INI", "[SETTINGS]\r\nmainmovie=CLIP.SWF"), "write");
  CHECK(WriteFileBytes(plain + "\\README", "read me\n"), "write");
  CHECK(WriteFileBytes(a + "\\big.bin", std::string(1048577, 'x')), "write");
  CHECK(WriteFileBytes(a + "\\empty.swf", std::string("FWS\x07\x04\x00\x00\x00", 8)), "write");
  CHECK(WriteFileBytes(a + "\\m1.swf", MakeSwf(10, 10)), "write");
  for (int i = 1; i <= 5; ++i)
    CHECK(WriteFileBytes(b + "\\m" + std::to_string(i) + ".swf", MakeSwf(100 * i, 50 * i)), "write");
  StringTable table(s.exe(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));

  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;

  // A second file of one name, whatever its letter case, and a file named like the
  // package's description are refused, named in one box; the same file again: silently
  // one row.
  CHECK(AddFiles(p, {a + "\\clip.swf"}), "add");
  CHECK(AddFiles(p, {b + "\\CLIP.SWF", b + "\\Package.INI"}), "add");
  ExpectBox(p, FormatS(table.get(1047), {Wide(b + "\\CLIP.SWF\n" + b + "\\Package.INI")}), "names taken");
  CHECK(AddFiles(p, {a + "\\clip.swf"}), "add");
  Settle(p.main);
  CHECK(FindPopup(p) == nullptr, "a box for a file listed already");
  CHECK(RowCount(p) == 1, "%d rows after adding clip.swf, CLIP.SWF, Package.INI and clip.swf again", RowCount(p));
  CHECK(Cell(p, 0, 5) == Wide(a + "\\clip.swf"), "path '%s'", Utf8(Cell(p, 0, 5)).c_str());
  CHECK(Cell(p, 0, 2) == L"SWF", "type '%s'", Utf8(Cell(p, 0, 2)).c_str());
  CHECK(Cell(p, 0, 3) == L"550 * 400", "dimension '%s'", Utf8(Cell(p, 0, 3)).c_str());

  // README: Type is the whole path in upper case; big.bin: 1.00 MB, no dimension.
  CHECK(plain.find('.') == std::string::npos, "the fixture folder holds a dot: %s", plain.c_str());
  CHECK(AddFiles(p, {plain + "\\README"}), "add");
  std::wstring upper = Wide(plain + "\\README");
  CharUpperW(&upper[0]);
  CHECK(Cell(p, 1, 2) == upper, "type of README '%s'", Utf8(Cell(p, 1, 2)).c_str());
  CHECK(Cell(p, 1, 3).empty(), "README has a dimension");
  CHECK(AddFiles(p, {a + "\\big.bin"}), "add");
  CHECK(Cell(p, 2, 4) == L"1.00 MB", "size '%s'", Utf8(Cell(p, 2, 4)).c_str());
  CHECK(Cell(p, 2, 2) == L"BIN", "type '%s'", Utf8(Cell(p, 2, 2)).c_str());
  // A movie whose header leaves no body: the reader's "Failed to locate" in a box.
  CHECK(AddFiles(p, {a + "\\empty.swf"}), "add");
  ExpectBox(p, L"Failed to locate", "empty movie");
  CHECK(RowCount(p) == 4 && Cell(p, 3, 3) == L"0 * 0", "empty movie: %d rows, dimension '%s'", RowCount(p),
        Utf8(Cell(p, 3, 3)).c_str());

  // A main movie whose name a row holds: Browse refuses it and the box keeps its text.
  PostClick(p.item(1001));
  HWND browse = WaitPopup(p, 10000);
  CHECK(browse != nullptr, "Browse opened no dialog");
  if (browse) CHECK(FillFileDialog(browse, Wide(b + "\\CLIP.SWF")), "the Browse dialog stayed");
  ExpectBox(p, FormatS(table.get(1048), {Wide(b + "\\CLIP.SWF")}), "main movie name taken");
  CHECK(Text(p.item(1000)).empty(), "main movie box '%s'", Utf8(Text(p.item(1000))).c_str());
  // Typed into the box instead: Package It! refuses it before asking for the output.
  SetText(p.item(1000), Wide(b + "\\CLIP.SWF"));
  PostClick(p.item(IDOK));
  ExpectBox(p, FormatS(table.get(1048), {Wide(b + "\\CLIP.SWF")}), "typed main movie name taken");
  Settle(p.main);
  CHECK(FindPopup(p) == nullptr, "Package It! went on after the refusal");
  // A row of the main movie's name, as the box shows it now, is refused as well.
  SetText(p.item(1000), Wide(a + "\\m1.swf"));
  CHECK(AddFiles(p, {b + "\\m1.swf"}), "add");
  ExpectBox(p, FormatS(table.get(1047), {Wide(b + "\\m1.swf")}), "main movie's name taken");
  CHECK(RowCount(p) == 4, "%d rows", RowCount(p));

  // A radio click empties the list and sets the enabled states.
  SendClick(p.item(1018));
  Settle(p.main);
  CHECK(RowCount(p) == 0, "slideshow click left %d rows", RowCount(p));
  CHECK(!IsWindowEnabled(p.item(1000)) && !IsWindowEnabled(p.item(1001)), "main movie box enabled in slideshow");
  CHECK(IsWindowEnabled(p.item(1006)) && IsWindowEnabled(p.item(1008)), "move buttons disabled in slideshow");
  CHECK(Text(p.item(1000)) == Wide(a + "\\m1.swf"), "main movie box lost its text");

  // Five movies at once through the multiple selection.
  std::vector<std::string> five;
  for (int i = 1; i <= 5; ++i) five.push_back(b + "\\m" + std::to_string(i) + ".swf");
  CHECK(AddFiles(p, five), "add five");
  CHECK(RowCount(p) == 5, "%d rows after adding five", RowCount(p));
  std::vector<std::wstring> names = Column(p, 1);
  std::vector<std::wstring> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  CHECK(sorted == (std::vector<std::wstring>{L"m1.swf", L"m2.swf", L"m3.swf", L"m4.swf", L"m5.swf"}), "five names");

  // Move up on the first row and Move down on the last change nothing.
  Select(p, {0});
  SendClick(p.item(1006));
  CHECK(Column(p, 1) == names, "move up on the first row changed the list");
  Select(p, {4});
  SendClick(p.item(1008));
  CHECK(Column(p, 1) == names, "move down on the last row changed the list");
  // Move down on row 1 swaps rows 1 and 2; numbers stay, the selection stays on row 1.
  Select(p, {1});
  SendClick(p.item(1008));
  std::vector<std::wstring> moved = names;
  std::swap(moved[1], moved[2]);
  CHECK(Column(p, 1) == moved, "move down did not swap rows 2 and 3");
  CHECK(Column(p, 5)[1] == Wide(b + "\\" + Utf8(moved[1])), "path did not move with the name");
  CHECK(Column(p, 0) == (std::vector<std::wstring>{L"1", L"2", L"3", L"4", L"5"}), "numbers moved");
  SendClick(p.item(1008));
  CHECK(Column(p, 1) == names, "a second press did not move the two files back");
  // Nothing selected: Move down changes nothing.
  Select(p, {});
  SendClick(p.item(1008));
  CHECK(Column(p, 1) == names, "move down without a selection changed the list");

  // Remove rows 2 and 4 of 5: the rest is numbered 1, 2, 3.
  Select(p, {1, 3});
  SendClick(p.item(1004));
  CHECK(RowCount(p) == 3, "%d rows after removing two of five", RowCount(p));
  CHECK(Column(p, 0) == (std::vector<std::wstring>{L"1", L"2", L"3"}), "numbers after remove");
  CHECK(Column(p, 1) == (std::vector<std::wstring>{names[0], names[2], names[4]}), "wrong rows removed");

  // Back to "Main SWF + Resources": empty list, states reversed; clicking it again
  // while it is selected empties the list again.
  SendClick(p.item(1017));
  Settle(p.main);
  CHECK(RowCount(p) == 0, "resource click left rows");
  CHECK(IsWindowEnabled(p.item(1000)) && IsWindowEnabled(p.item(1001)), "main movie box disabled");
  CHECK(!IsWindowEnabled(p.item(1006)) && !IsWindowEnabled(p.item(1008)), "move buttons enabled");
  CHECK(AddFiles(p, {plain + "\\README"}), "add");
  CHECK(RowCount(p) == 1, "README not added");
  SendClick(p.item(1017));
  Settle(p.main);
  CHECK(RowCount(p) == 0, "a click on the selected radio button kept the rows");

  // A movie that cannot be read ends the add without a row.
  const std::string missing = a + "\\gone.swf";
  CHECK(WriteFileBytes(missing, MakeSwf(10, 10)), "write");
  PostClick(p.item(1003));
  if (HWND dlg = WaitPopup(p, 10000)) {
    SetText(FileNameEdit(dlg), Wide(missing));
    DeleteFileA(missing.c_str());
    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    WaitUntil([&] { return !IsWindow(dlg); }, 5000);
    // The dialog itself may refuse a missing file; either way no row appears.
    if (HWND box = WaitPopup(p, 3000)) Answer(box, IDOK);
  }
  Settle(p.main);
  CHECK(RowCount(p) == 0, "a missing movie was listed");

  CHECK(ClosePackager(p), "the packager did not close");
  return g_failures ? 1 : 0;
}

// ---- Many files at once ------------------------------------------------------------

// Opens the Add dialog on `folder` and types the quoted `names` into its file-name box,
// ready for OK; null when the dialog did not open.
HWND PrepareAddDialog(Packager& p, const std::string& folder, const std::vector<std::string>& names) {
  PostClick(p.item(1003));
  HWND dlg = WaitPopup(p, 10000);
  if (!dlg) {
    Note("the Add dialog did not open");
    return nullptr;
  }
  FillFileDialog(dlg, Wide(folder), 1000);  // navigates; the dialog stays
  std::wstring text;
  for (const std::string& name : names) text += L"\"" + Wide(name) + L"\" ";
  HWND edit = FileNameEdit(dlg);
  if (!edit) return nullptr;
  SetText(edit, text);
  return dlg;
}

void PressOk(HWND dlg) {
  PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDOK)));
}

// `count` names of `length` characters (before the suffix), numbered so that each is
// told apart by its first characters.
std::vector<std::string> LongNames(int count, size_t length, const char* suffix) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    char number[16];
    std::snprintf(number, sizeof(number), "f%03d-", i);
    std::string name = number;
    while (name.size() < length) name += "long-resource-name-";
    name.resize(length);
    names.push_back(name + suffix);
  }
  return names;
}

// One Add of 40 files whose names add up to far more than MAX_PATH characters lists
// them all in the order chosen; a selection too long even for the large buffer is
// refused with a warning owned by the window and changes nothing.
int Many(const Setup& s) {
  StringTable table(s.exe(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  const std::string folder = s.dataDir + "\\many";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::vector<std::string> names = LongNames(40, 48, ".xml");
  for (size_t i = 0; i < names.size(); i += 8) names[i].replace(names[i].size() - 4, 4, ".swf");
  size_t total = folder.size();
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string data = names[i].back() == 'f' ? MakeSwf(100 + static_cast<int>(i), 60) : std::string(i + 1, 'x');
    CHECK(WriteFileBytes(folder + "\\" + names[i], data), "write %s", names[i].c_str());
    total += names[i].size() + 1;
  }
  CHECK(total > 4 * MAX_PATH, "the names take only %u characters", static_cast<unsigned>(total));
  // Chosen in reverse order of their names: the rows follow the order of the choice.
  std::reverse(names.begin(), names.end());

  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;
  HWND dlg = PrepareAddDialog(p, folder, names);
  CHECK(dlg != nullptr, "no Add dialog");
  if (!dlg) return 1;
  PressOk(dlg);
  CHECK(WaitUntil([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }, 10000), "the Add dialog stayed");
  Settle(p.main);
  CHECK(FindPopup(p) == nullptr, "a box after adding 40 files: '%s'",
        FindPopup(p) ? Utf8(MessageText(FindPopup(p))).c_str() : "");
  CHECK(RowCount(p) == 40, "%d rows after adding 40 files", RowCount(p));
  const std::vector<std::wstring> numbers = Column(p, 0), shown = Column(p, 1), paths = Column(p, 5),
                                  dims = Column(p, 3);
  for (size_t i = 0; i < names.size() && i < shown.size(); ++i) {
    CHECK(shown[i] == Wide(names[i]), "row %u shows '%s', chosen '%s'", static_cast<unsigned>(i),
          Utf8(shown[i]).c_str(), names[i].c_str());
    CHECK(paths[i] == Wide(folder + "\\" + names[i]), "row %u path '%s'", static_cast<unsigned>(i),
          Utf8(paths[i]).c_str());
    CHECK(numbers[i] == std::to_wstring(i + 1), "row %u numbered '%s'", static_cast<unsigned>(i),
          Utf8(numbers[i]).c_str());
    CHECK(dims[i].empty() == (names[i].back() != 'f'), "row %u dimension '%s'", static_cast<unsigned>(i),
          Utf8(dims[i]).c_str());
  }

  // Far more than the large buffer holds: 380 names of 180 characters (about 69,000).
  const std::string big = s.dataDir + "\\big";
  CreateDirectoryA(big.c_str(), nullptr);
  const std::vector<std::string> bigNames = LongNames(380, 180, ".txt");
  for (const std::string& name : bigNames) WriteFileBytes(big + "\\" + name, "b");
  dlg = PrepareAddDialog(p, big, bigNames);
  CHECK(dlg != nullptr, "no Add dialog for the long selection");
  if (dlg) {
    PressOk(dlg);
    HWND box = nullptr;
    WaitUntil([&] {
      box = FindPopup(p);
      return box && box != dlg;
    }, 15000);
    CHECK(box && box != dlg, "no warning after a selection too long for the buffer");
    if (box && box != dlg) {
      Sleep(200);
      CHECK(NormalizeLines(MessageText(box)) == NormalizeLines(table.get(1046)), "warning '%s'",
            Utf8(MessageText(box)).c_str());
      CHECK(Text(box) == L"Vellumix", "warning caption '%s'", Utf8(Text(box)).c_str());
      CHECK(GetWindow(box, GW_OWNER) == p.main, "warning not owned by the main window");
      Answer(box, IDOK);
    }
    Settle(p.main);
    CHECK(FindPopup(p) == nullptr, "a box left after the warning");
    CHECK(RowCount(p) == 40, "%d rows after the refused selection", RowCount(p));
  }
  // The window goes on as before: one more file is the 41st row.
  const std::string extra = s.dataDir + "\\extra.bin";
  CHECK(WriteFileBytes(extra, "e"), "write");
  CHECK(AddFiles(p, {extra}), "add");
  CHECK(RowCount(p) == 41 && Cell(p, 40, 5) == Wide(extra), "%d rows after adding one more", RowCount(p));
  CHECK(ClosePackager(p), "the packager did not close");
  return g_failures ? 1 : 0;
}

// Benchmark: one Add of `count` movies; the time from OK in the dialog to the last row.
int AddBench(const Setup& s, int count) {
  const std::string folder = s.dataDir + "\\bench";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::vector<std::string> names = LongNames(count, 24, ".swf");
  for (size_t i = 0; i < names.size(); ++i) WriteFileBytes(folder + "\\" + names[i], MakeSwf(320 + static_cast<int>(i), 240));
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;
  HWND dlg = PrepareAddDialog(p, folder, names);
  if (!dlg) return 1;
  Sleep(300);
  const auto start = std::chrono::steady_clock::now();
  PressOk(dlg);
  // The dialog goes first; the list answers once the window's thread is back from
  // adding the rows.
  auto since = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  while ((IsWindow(dlg) && IsWindowVisible(dlg)) && since() < 60) Sleep(5);  // asks nothing of the window
  const double dialogSeconds = since();
  const bool all = WaitUntil([&] { return RowCount(p) >= count; }, 60000);
  const double seconds = since();
  std::printf("addmany\tfiles=%d\trows=%d\tseconds=%.2f\tdialog_seconds=%.2f\n", count, RowCount(p), seconds,
              dialogSeconds);
  ClosePackager(p);
  return all ? 0 : 1;
}

// Package It! without a main movie, then a full build through the save dialog, read
// back with vellumix-cli inspect.
int Build(const Setup& s) {
  const std::string movie = s.dataDir + "\\intro.swf";
  CHECK(WriteFileBytes(movie, MakeSwf(550, 400)), "write");
  CHECK(WriteFileBytes(s.dataDir + "\\data.xml", "<data>42</data>\n"), "write");
  // Enough incompressible bytes that the build lasts a moment.
  std::string noise(24 << 20, '\0');
  uint32_t x = 12345;
  for (char& c : noise) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  CHECK(WriteFileBytes(s.dataDir + "\\song.mp3", noise), "write");
  const std::string output = s.workDir + "\\show.exe";

  StringTable table(s.exe(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;

  // No main movie: the validation box, OK only, owned by the window.
  PostClick(p.item(IDOK));
  HWND box = WaitPopup(p, 10000);
  CHECK(box != nullptr, "no box for a missing main movie");
  if (box) {
    CHECK(MessageText(box) == table.get(113), "text '%s'", Utf8(MessageText(box)).c_str());
    CHECK(Text(box) == table.get(114), "caption '%s'", Utf8(Text(box)).c_str());
    CHECK(GetWindow(box, GW_OWNER) == p.main, "not owned by the main window");
    CHECK(GetDlgItem(box, IDOK) || GetDlgItem(box, IDCANCEL), "no OK button");
    CHECK(!GetDlgItem(box, IDYES) && !GetDlgItem(box, IDNO), "more buttons than OK");
    Answer(box, IDOK);
  }

  // Main movie through Browse, title, full screen, two rows.
  PostClick(p.item(1001));
  HWND dlg = WaitPopup(p, 10000);
  CHECK(dlg != nullptr, "Browse opened no dialog");
  if (dlg) CHECK(FillFileDialog(dlg, Wide(movie)), "the Browse dialog stayed");
  Settle(p.main);
  CHECK(Text(p.item(1000)) == Wide(movie), "main movie box '%s'", Utf8(Text(p.item(1000))).c_str());
  CHECK(RowCount(p) == 0, "Browse added a row");
  // The main movie is refused as a row (the list is left as it was).
  CHECK(AddFiles(p, {movie}), "add");
  CHECK(RowCount(p) == 0, "the main movie was listed");
  SetText(p.item(1011), L"Driver Title");
  SendClick(p.item(1007));
  CHECK(AddFiles(p, {s.dataDir + "\\data.xml"}), "add");
  CHECK(AddFiles(p, {s.dataDir + "\\song.mp3"}), "add");

  PostClick(p.item(IDOK));
  dlg = WaitPopup(p, 10000);
  CHECK(dlg != nullptr, "Package It! opened no save dialog");
  if (!dlg) return 1;
  CHECK(FillFileDialog(dlg, Wide(output)), "the save dialog stayed");

  // While the build runs: Package It! disabled, the window answers, the hint shows the
  // progress; closing asks to wait and keeps the window.
  bool sawDisabled = false, sawProgress = false, answered = true;
  const std::wstring hint = Text(p.item(1042));
  HWND result = nullptr;
  WaitUntil([&] {
    if (!IsWindowEnabled(p.item(IDOK))) sawDisabled = true;
    if (Text(p.item(1042)) != table.get(1040)) sawProgress = true;
    DWORD_PTR r;
    if (!SendMessageTimeoutW(p.main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r)) answered = false;
    return (result = FindPopup(p)) != nullptr;
  }, 120000);
  CHECK(sawDisabled, "Package It! was never disabled during the build");
  CHECK(sawProgress || hint != table.get(1040), "the hint line never showed the progress");
  CHECK(answered, "the window did not answer during the build");
  CHECK(result != nullptr, "no result box");
  if (!result) return 1;
  Sleep(300);
  const std::wstring expected =
      FormatS(table.get(102), {ExpectedSizeText(FileSizeOf(s.installDir + "\\Temp\\Orrinet.exe"))});
  CHECK(NormalizeLines(MessageText(result)) == NormalizeLines(expected), "result text '%s' expected '%s'",
        Utf8(MessageText(result)).c_str(), Utf8(expected).c_str());
  CHECK(Text(result) == L"Vellumix", "result caption '%s'", Utf8(Text(result)).c_str());
  CHECK(GetWindow(result, GW_OWNER) == p.main, "result box not owned by the main window");
  CHECK(GetDlgItem(result, IDYES) && GetDlgItem(result, IDNO) && GetDlgItem(result, IDCANCEL), "not Yes/No/Cancel");
  Answer(result, IDCANCEL);
  Settle(p.main);
  CHECK(IsWindowEnabled(p.item(IDOK)), "Package It! still disabled after the build");
  CHECK(Text(p.item(1042)) == table.get(1040), "hint '%s' after the build", Utf8(Text(p.item(1042))).c_str());
  CHECK(FindPopup(p) == nullptr, "another box after the result box");
  CHECK(FileSizeOf(output) == FileSizeOf(s.installDir + "\\Temp\\Orrinet.exe"), "output differs from the work copy");

  // Read the package back.
  DWORD code = 0;
  const std::string inspect = RunAndCapture("\"" + s.binDir + "\\vellumix-cli.exe\" inspect \"" + output + "\"", &code);
  std::printf("%s", inspect.c_str());
  CHECK(code == 0, "inspect exit code %lu", code);
  auto has = [&](const std::string& line) { return inspect.find(line + "\n") != std::string::npos ||
                                                   inspect.find(line + "\r\n") != std::string::npos; };
  CHECK(has("title\tDriver Title"), "title not in the package");
  CHECK(has("flash-control\tno"), "flash control");
  CHECK(has("description\t[SETTINGS]"), "description");
  CHECK(has("description\tfullscreen=true"), "full screen not packaged");
  CHECK(has("description\tmainmovie=intro.swf"), "main movie");
  CHECK(has("description\ttype=resource"), "type");
  const size_t e1 = inspect.find("entry\tpackage.ini\t"), e2 = inspect.find("entry\tintro.swf\t"),
               e3 = inspect.find("entry\tdata.xml\t"), e4 = inspect.find("entry\tsong.mp3\t");
  CHECK(e1 != std::string::npos && e2 != std::string::npos && e3 != std::string::npos && e4 != std::string::npos,
        "entries missing");
  CHECK(e1 < e2 && e2 < e3 && e3 < e4, "entries out of order");
  CHECK(inspect.find("damaged") == std::string::npos, "a damaged entry");

  // Closing while a build runs: the window says so and stays.
  const std::string second = s.workDir + "\\again.exe";
  PostClick(p.item(IDOK));
  dlg = WaitPopup(p, 10000);
  CHECK(dlg != nullptr, "no save dialog for the second build");
  if (dlg) {
    FillFileDialog(dlg, Wide(second));
    PostMessageW(p.main, WM_CLOSE, 0, 0);
    HWND busy = WaitPopup(p, 10000);
    CHECK(busy != nullptr, "no box at all after closing during a build");
    // The build may already have ended (then the result box is shown instead).
    if (busy && NormalizeLines(MessageText(busy)) == NormalizeLines(table.get(1045))) {
      CHECK(p.running() && IsWindow(p.main), "the window went away during a build");
      Answer(busy, IDOK);
      busy = WaitPopup(p, 120000);
    }
    CHECK(busy && MessageText(busy).find(L"File Size") != std::wstring::npos, "no result box after the second build");
    if (busy) Answer(busy, IDCANCEL);
    CHECK(p.running(), "the packager ended although the close was refused");
  }
  CHECK(ClosePackager(p), "the packager did not close");
  return g_failures ? 1 : 0;
}

// A build that fails: the stub is missing from the installation folder.
int Failure(const Setup& s) {
  const std::string movie = s.dataDir + "\\intro.swf";
  CHECK(WriteFileBytes(movie, MakeSwf(550, 400)), "write");
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;
  SetText(p.item(1000), Wide(movie));
  PostClick(p.item(IDOK));
  HWND dlg = WaitPopup(p, 10000);
  CHECK(dlg != nullptr, "no save dialog");
  if (!dlg) return 1;
  const std::string output = s.workDir + "\\never.exe";
  CHECK(FillFileDialog(dlg, Wide(output)), "the save dialog stayed");
  HWND box = WaitPopup(p, 60000);
  CHECK(box != nullptr, "no failure box");
  if (box) {
    // The failure's own text alone on the first line; the stub that could not be read
    // and the system's reason below it.
    const std::wstring text = NormalizeLines(MessageText(box));
    const std::wstring head = L"Failed to copying file to temp folder\n\n" + Wide(s.installDir + "\\Orrinet.exe") + L"\n";
    CHECK(text.compare(0, head.size(), head) == 0 && text.size() > head.size() &&
              text.find(L'\n', head.size()) == std::wstring::npos,
          "failure text '%s'", Utf8(text).c_str());
    CHECK(Text(box) == L"Vellumix", "caption '%s'", Utf8(Text(box)).c_str());
    CHECK(GetWindow(box, GW_OWNER) == p.main, "failure box not owned by the main window");
    CHECK(!GetDlgItem(box, IDYES), "failure box has Yes");
    Answer(box, IDOK);
  }
  Sleep(1500);
  HWND after = FindPopup(p);
  CHECK(after == nullptr, "a box after the failure: '%s'", after ? Utf8(MessageText(after)).c_str() : "");
  CHECK(IsWindowEnabled(p.item(IDOK)), "Package It! disabled after a failure");
  CHECK(GetFileAttributesA(output.c_str()) == INVALID_FILE_ATTRIBUTES, "a failed build wrote the output");
  CHECK(ClosePackager(p), "the packager did not close");
  return g_failures ? 1 : 0;
}

// The update check against the server named by VELLUMIX_UPDATE_URL.
int Update(const Setup& s, const std::string& expect, const std::string& version, const std::string& fixed,
           const std::string& whatsnew, const std::string& language) {
  StringTable table(s.exe(), language == "zh" ? MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)
                                              : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;
  // The check starts three seconds after the window and then downloads; a box that
  // has not come after twelve will not come.
  HWND box = WaitPopup(p, expect == "offer" ? 20000 : 12000);
  if (expect == "offer") {
    CHECK(box != nullptr, "no offer");
    if (!box) return 1;
    auto expand = [](const std::string& v) { return Replace(WideFromUtf8(v), L"%d", L"\n    "); };
    const std::wstring expected =
        FormatS(table.get(1034), {L"2.1.216.1", WideFromUtf8(version), expand(fixed), expand(whatsnew)});
    CHECK(NormalizeLines(MessageText(box)) == NormalizeLines(expected), "offer '%s' expected '%s'",
          Utf8(MessageText(box)).c_str(), Utf8(expected).c_str());
    CHECK(Text(box) == table.get(1031), "offer caption '%s'", Utf8(Text(box)).c_str());
    CHECK(GetWindow(box, GW_OWNER) == p.main, "offer not owned by the main window");
    CHECK(GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO), "offer without Yes and No");
    Answer(box, IDNO);
    Sleep(1000);
    CHECK(FindPopup(p) == nullptr, "a box after No");
  } else {
    CHECK(box == nullptr, "unexpected box '%s'", box ? Utf8(MessageText(box)).c_str() : "");
  }
  // The window works as usual.
  SendClick(p.item(1018));
  CHECK(SendMessageW(p.item(1018), BM_GETCHECK, 0, 0) == BST_CHECKED, "the window does not answer");
  CHECK(ClosePackager(p), "the packager did not close");
  return g_failures ? 1 : 0;
}

// Closed within three seconds of the start: the update check never goes online (the
// calling script looks at the server's log).
int EarlyClose(const Setup& s) {
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;
  Sleep(500);
  CHECK(ClosePackager(p, 2000), "the packager did not close at once");
  Sleep(4000);
  return g_failures ? 1 : 0;
}

// The work folder exists while the packager runs and is empty after it has closed;
// the installation folder is the executable's whatever the current folder.
int WorkFolder(const Setup& s) {
  const std::string temp = s.installDir + "\\Temp";
  Packager p;
  if (!StartPackager(p, s.installDir, "C:\\")) return 1;
  CHECK(IsFolder(temp), "no work folder while running");
  // Leftovers as a build or an earlier run would leave them, nested.
  CreateDirectoryA((temp + "\\nested").c_str(), nullptr);
  CreateDirectoryA((temp + "\\nested\\deeper").c_str(), nullptr);
  CHECK(WriteFileBytes(temp + "\\left.txt", "x"), "write");
  CHECK(WriteFileBytes(temp + "\\nested\\deeper\\more.bin", "yy"), "write");
  CHECK(ClosePackager(p), "the packager did not close");
  CHECK(IsFolder(temp), "the work folder itself was removed");
  const std::vector<std::string> left = FolderEntries(temp);
  CHECK(left.empty(), "%u entries left in the work folder (first: %s)", static_cast<unsigned>(left.size()),
        left.empty() ? "" : left[0].c_str());
  return g_failures ? 1 : 0;
}

bool SaveWindowBitmap(HWND window, const std::string& path) {
  RECT rc;
  GetWindowRect(window, &rc);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((w * 3 + 3) & ~3), imageSize = stride * h;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
  fh.bfSize = fh.bfOffBits + imageSize;
  std::string data(reinterpret_cast<const char*>(&fh), sizeof(fh));
  data.append(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof(bi.bmiHeader));
  data.append(static_cast<const char*>(bits), imageSize);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return WriteFileBytes(path, data);
}

int Screenshot(const Setup& s, const std::string& output) {
  CHECK(WriteFileBytes(s.dataDir + "\\intro.swf", MakeSwf(550, 400)), "write");
  CHECK(WriteFileBytes(s.dataDir + "\\menu.swf", MakeSwf(320, 240)), "write");
  CHECK(WriteFileBytes(s.dataDir + "\\data.xml", std::string(2300, ' ')), "write");
  CHECK(WriteFileBytes(s.dataDir + "\\song.mp3", std::string(1572864, 'x')), "write");
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;
  SetWindowPos(p.main, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);
  SetText(p.item(1000), Wide(s.dataDir + "\\intro.swf"));
  CHECK(AddFiles(p, {s.dataDir + "\\menu.swf", s.dataDir + "\\data.xml", s.dataDir + "\\song.mp3"}), "add");
  Select(p, {1});
  Settle(p.main, 800);
  CHECK(SaveWindowBitmap(p.main, output), "cannot save %s", output.c_str());
  CHECK(ClosePackager(p), "the packager did not close");
  return g_failures ? 1 : 0;
}

// Benchmark: during a build of `megabytes` of incompressible input, how long the
// window takes at worst to answer a message.
int Responsiveness(const Setup& s, int megabytes) {
  const std::string movie = s.dataDir + "\\intro.swf";
  WriteFileBytes(movie, MakeSwf(550, 400));
  std::string noise(static_cast<size_t>(megabytes) << 20, '\0');
  uint32_t x = 99;
  for (char& c : noise) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  WriteFileBytes(s.dataDir + "\\corpus.bin", noise);
  noise.clear();
  Packager p;
  if (!StartPackager(p, s.installDir)) return 1;
  SetText(p.item(1000), Wide(movie));
  AddFiles(p, {s.dataDir + "\\corpus.bin"});
  PostClick(p.item(IDOK));
  HWND dlg = WaitPopup(p, 10000);
  if (!dlg) return 1;
  FillFileDialog(dlg, Wide(s.workDir + "\\bench.exe"));
  double worst = 0;
  int samples = 0;
  const auto start = std::chrono::steady_clock::now();
  HWND result = nullptr;
  while (!(result = FindPopup(p))) {
    const auto t0 = std::chrono::steady_clock::now();
    DWORD_PTR r;
    SendMessageTimeoutW(p.main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    worst = std::max(worst, ms);
    ++samples;
    Sleep(20);
    if (std::chrono::steady_clock::now() - start > std::chrono::minutes(5)) break;
  }
  const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("responsiveness\tbuild_seconds=%.2f\tsamples=%d\tworst_ms=%.1f\n", total, samples, worst);
  if (result) Answer(result, IDCANCEL);
  ClosePackager(p);
  return result ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: gui_driver SCENARIO BIN_DIR WORK_DIR [ARGS...]\n");
    return 2;
  }
  const std::string scenario = argv[1];
  Setup s;
  const int stub = scenario == "failure" ? 0 : (scenario == "build" || scenario == "responsiveness") ? 1 : -1;
  if (!Prepare(s, argv[2], argv[3], stub)) return 1;
  int rc = 2;
  if (scenario == "captions" && argc >= 5) rc = Captions(s, argv[4]);
  else if (scenario == "list") rc = List(s);
  else if (scenario == "many") rc = Many(s);
  else if (scenario == "mouse") rc = Mouse(s);
  else if (scenario == "build") rc = Build(s);
  else if (scenario == "failure") rc = Failure(s);
  else if (scenario == "update" && argc >= 8)
    rc = Update(s, argv[4], argv[5], argv[6], argv[7], argc >= 9 ? argv[8] : "en");
  else if (scenario == "early-close") rc = EarlyClose(s);
  else if (scenario == "workfolder") rc = WorkFolder(s);
  else if (scenario == "screenshot" && argc >= 5) rc = Screenshot(s, argv[4]);
  else if (scenario == "responsiveness" && argc >= 5) rc = Responsiveness(s, std::atoi(argv[4]));
  else if (scenario == "addmany" && argc >= 5) rc = AddBench(s, std::atoi(argv[4]));
  else std::fprintf(stderr, "gui_driver: unknown scenario or missing arguments: %s\n", scenario.c_str());
  std::printf("%s: %s (%d failed checks)\n", scenario.c_str(), rc == 0 ? "passed" : "FAILED", g_failures);
  return rc;
}
