#include "tests/gui/gui_driver.h"

#include <cstdarg>

#include "common/win32_text.h"

namespace vx::test::gui {

void Note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::printf("\n");
  std::fflush(stdout);
}

std::string Printf(const char* format, ...) {
  char text[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  return text;
}

// ---- Text helpers -----------------------------------------------------------------

std::string Utf8(const std::wstring& w) { return vx::win::Utf8(w); }
std::wstring Wide(const std::string& s) { return vx::win::WideFromCodePage(s, CP_ACP); }
std::wstring WideFromUtf8(const std::string& s) { return vx::win::Wide(s); }

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

// ---- Waiting ----------------------------------------------------------------------

bool WaitUntil(const std::function<bool()>& cond, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (cond()) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(50);
  }
}

void Settle(HWND main, DWORD ms) {
  Sleep(ms);
  DWORD_PTR r;
  SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r);
}

// ---- Memory inside the packager's process (list view and tooltip structures) --------

// ---- The packager ------------------------------------------------------------------

namespace {
struct FindData {
  DWORD pid;
  std::vector<HWND> found;
  const wchar_t* className;
};
}  // namespace

namespace {
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
}  // namespace

std::vector<HWND> TopWindows(DWORD pid, const wchar_t* className) {
  FindData d{pid, {}, className};
  EnumWindows(CollectWindows, reinterpret_cast<LPARAM>(&d));
  return d.found;
}

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

bool StartPackager(Packager& p, const std::string& installDir, const char* currentDir) {
  p.installDir = installDir;
  std::string cmd = "\"" + installDir + "\\Vellumix.exe\"";
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, currentDir, &si, &p.pi)) {
    Note("cannot start %s (error %lu)", cmd.c_str(), GetLastError());
    return false;
  }
  WaitForInputIdle(p.pi.hProcess, 20000);
  const bool shown = WaitUntil(
      [&] {
        for (HWND h : TopWindows(p.pi.dwProcessId, L"#32770"))
          if (IsWindowVisible(h) && GetDlgItem(h, 1002)) {
            p.main = h;
            return true;
          }
        return false;
      },
      30000);
  if (!shown) Note("the packager's window did not show");
  Sleep(300);
  return shown;
}

bool ClosePackager(Packager& p, DWORD timeoutMs) {
  PostMessageW(p.main, WM_CLOSE, 0, 0);
  return WaitForSingleObject(p.pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

void PostClick(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void SendClick(HWND button) {
  DWORD_PTR r;
  SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &r);
}

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

std::wstring NormalizeLines(std::wstring s) {
  s = Replace(s, L"\r\n", L"\n");
  return Replace(s, L"\r", L"\n");
}

void Answer(HWND box, int id) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
  WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000);
}

// ---- Common dialogs -------------------------------------------------------------------

namespace {
BOOL CALLBACK FindEditChild(HWND c, LPARAM lp) {
  wchar_t cls[32];
  GetClassNameW(c, cls, 32);
  if (lstrcmpiW(cls, L"Edit") == 0) {
    *reinterpret_cast<HWND*>(lp) = c;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

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

namespace {
BOOL CALLBACK DumpChild(HWND c, LPARAM) {
  wchar_t cls[64];
  GetClassNameW(c, cls, 64);
  Note("  id %#x class %s text '%s'", GetDlgCtrlID(c), Utf8(cls).c_str(), Utf8(Text(c)).c_str());
  return TRUE;
}
}  // namespace

bool FillFileDialog(HWND dlg, const std::wstring& text, DWORD waitMs) {
  HWND edit = FileNameEdit(dlg);
  if (!edit) {
    Note("the file dialog has no file-name box; its windows:");
    EnumChildWindows(dlg, DumpChild, 0);
    return false;
  }
  SetText(edit, text);
  PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDOK)));
  return WaitUntil([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); }, waitMs);
}

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
    for (const std::string& path : paths)
      text += L"\"" + Wide(path.substr(path.find_last_of('\\') + 1)) + L"\" ";
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
  const int n = static_cast<int>(
      SendMessageW(p.item(1002), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(block.address())));
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
  SendMessageW(p.item(1002), LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
               reinterpret_cast<LPARAM>(block.address()));
  item.state = LVIS_SELECTED;
  block.write(0, &item, sizeof(item));
  for (int r : rows)
    SendMessageW(p.item(1002), LVM_SETITEMSTATE, static_cast<WPARAM>(r),
                 reinterpret_cast<LPARAM>(block.address()));
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
  vx::win::UniqueHandle file(
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD done = 0;
  return file && WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &done, nullptr) &&
         done == data.size();
}

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
  {
    vx::win::UniqueFind find(FindFirstFileA((path + "\\*").c_str(), &fd));
    if (find) {
      do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        const std::string full = path + "\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
        else DeleteFileA(full.c_str());
      } while (FindNextFileA(find.get(), &fd));
    }
  }  // the search ends before its folder goes
  return RemoveDirectoryA(path.c_str()) != 0;
}

std::vector<std::string> FolderEntries(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  vx::win::UniqueFind find(FindFirstFileA((path + "\\*").c_str(), &fd));
  if (!find) return names;
  do {
    const std::string name = fd.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find.get(), &fd));
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

std::string RunAndCapture(const std::string& commandLine, DWORD* exitCode) {
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  HANDLE readHandle = nullptr, writeHandle = nullptr;
  CreatePipe(&readHandle, &writeHandle, &sa, 0);
  vx::win::UniqueHandle readEnd(readHandle), writeEnd(writeHandle);
  SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd.get();
  si.hStdError = writeEnd.get();
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::string cmd = commandLine;
  std::string out;
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    *exitCode = 999;
    return out;
  }
  vx::win::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  writeEnd.reset();  // the child holds the only writing end now: its exit ends the reads
  char buf[4096];
  DWORD n;
  while (ReadFile(readEnd.get(), buf, sizeof(buf), &n, nullptr) && n > 0) out.append(buf, n);
  WaitForSingleObject(process.get(), INFINITE);
  GetExitCodeProcess(process.get(), exitCode);
  return out;
}

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

namespace {
bool CopyInto(const std::string& from, const std::string& to) {
  if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
    Note("cannot copy %s to %s (error %lu)", from.c_str(), to.c_str(), GetLastError());
    return false;
  }
  return true;
}
}  // namespace

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

// ---- Adding many files at once ----------------------------------------------------

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
  PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDOK)));
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

}  // namespace vx::test::gui
