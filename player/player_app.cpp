#include "player/player_app.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

#include "common/empty_folder.h"
#include "common/file_exception.h"
#include "common/package_contract.h"
#include "common/random.h"
#include "common/swf_header.h"
#include "player/playback_rules.h"
#include "player/player_dlg.h"
#include "player/shockwave_flash.h"
#include "resources/player/resource.h"
#include "zipreader/zip_reader.h"

namespace {

constexpr long kRequiredMajorVersion = 8;
constexpr unsigned kExtractBufferSize = 65536;

std::string Trim(const std::string& s) {
  const char* blanks = " \t\r\n";
  size_t first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  size_t last = s.find_last_not_of(blanks);
  return s.substr(first, last - first + 1);
}

void ShowSwfMessage(const char* text) { AfxMessageBox(text); }

// The system's text for an error code, as FormatMessage gives it.
std::string SystemMessage(DWORD error) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                 nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                 reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = text ? text : "";
  if (text) LocalFree(text);
  return result;
}

}  // namespace

CPlayerApp::CPlayerApp() = default;

bool CPlayerApp::WriteResourceToFile(UINT id, const char* type, const char* path) {
  HMODULE module = AfxGetInstanceHandle();
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (!found) return false;
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  DWORD size = SizeofResource(module, found);
  if (!data) return false;
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, data, size, &written, nullptr);
  CloseHandle(file);
  return ok && written == size;
}

void CPlayerApp::InstallFlashControlIfNeeded() {
  long version = 0;
  long major = CShockwaveFlash::ProbeInstalledVersion(&version) ? (version >> 16) : 0;
  if (major == kRequiredMajorVersion) return;
  if (!FindResourceA(m_hInstance, MAKEINTRESOURCEA(vx::kFlashResourceId), vx::kFlashResourceType)) return;
  char systemDir[MAX_PATH + 1] = {0};
  GetSystemDirectoryA(systemDir, MAX_PATH);
  std::string path = Trim(systemDir) + "\\flash8.ocx";
  WriteResourceToFile(vx::kFlashResourceId, vx::kFlashResourceType, path.c_str());
  std::string parameters = path + " /s";
  ShellExecuteA(nullptr, "run", "regsvr32", parameters.c_str(), nullptr, SW_HIDE);
}

bool CPlayerApp::CreateRunFolder() {
  char tempPath[MAX_PATH + 1] = {0};
  GetTempPathA(MAX_PATH, tempPath);
  std::string shared = std::string(tempPath) + "VX";
  CreateDirectoryA(shared.c_str(), nullptr);  // usually there already
  // Each run works in a folder of its own, so packages running side by side never
  // empty or overwrite each other's files.
  for (int attempt = 0; attempt < 16; ++attempt) {
    uint32_t random = 0;
    if (!vx::SystemRandomBytes(&random, sizeof(random))) random = GetTickCount() + attempt;
    std::string folder = shared + "\\" + vx::RunFolderName(GetCurrentProcessId(), random);
    if (CreateDirectoryA(folder.c_str(), nullptr)) {
      m_strTempFolder = folder;
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  return false;
}

bool CPlayerApp::ExtractPackage(HRSRC resource) {
  HGLOBAL loaded = LoadResource(m_hInstance, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  DWORD size = SizeofResource(m_hInstance, resource);
  // The archive is read in place from the mapped executable; the reader neither
  // frees nor writes the block.
  vx::ZipMemoryFile source(data, data ? size : 0);
  vx::ZipReader reader;
  try {
    reader.open(source);
    reader.setPassword(vx::kPackagePassword);
    int files = 0;
    vx::ZipEntryInfo info;
    for (int i = 0; i < reader.entryCount(); ++i) {
      if (reader.entryInfo(i, info) && !info.isDirectory()) ++files;
    }
    if (files < 2) return false;
    std::vector<int> fileEntries;
    for (int i = 0; i < reader.entryCount(); ++i) {
      if (!reader.entryInfo(i, info) || info.isDirectory()) continue;
      // The slide list holds the name the file is extracted under (the entry's folder
      // part, if any, is dropped by the extraction).
      std::string name = vx::LastPathComponent(info.name());
      if (vx::IsSlideName(name)) m_slides.push_back(name);
      fileEntries.push_back(i);
    }
    // Several entries at once, on as many threads as there are processors.
    reader.extractEntries(fileEntries, std::string(), false, kExtractBufferSize, 0,
                          [](int, const std::string&, bool) {});
    reader.close();
  } catch (const vx::CZipException& e) {
    char text[512];
    if (!e.GetErrorMessage(text, sizeof(text))) lstrcpynA(text, "The package archive is damaged.", sizeof(text));
    AfxMessageBox(text, MB_OK | MB_ICONSTOP);
    return false;
  } catch (const vx::FileException& e) {
    std::string text = std::string(e.what()) + (e.fileName().empty() ? "" : "\n" + e.fileName());
    AfxMessageBox(text.c_str(), MB_OK | MB_ICONSTOP);
    return false;
  }
  return true;
}

BOOL CPlayerApp::InitInstance() {
  AfxEnableControlContainer();
  Enable3dControls();
  vx::SetSwfMessageHandler(ShowSwfMessage);

  InstallFlashControlIfNeeded();

  if (!CreateRunFolder()) {
    AfxMessageBox("Cannot create a temporary folder for the package's files.", MB_OK | MB_ICONSTOP);
    return FALSE;
  }
  HRSRC resource = FindResourceA(m_hInstance, MAKEINTRESOURCEA(vx::kArchiveResourceId), vx::kArchiveResourceType);
  if (!resource) {
    DWORD error = GetLastError();
    AfxMessageBox(SystemMessage(error).c_str(), MB_OK);
    return FALSE;
  }
  if (!SetCurrentDirectoryA(m_strTempFolder.c_str())) {
    // Extracting into whatever folder happens to be current would be unsafe.
    AfxMessageBox(SystemMessage(GetLastError()).c_str(), MB_OK | MB_ICONSTOP);
    return FALSE;
  }
  if (!ExtractPackage(resource)) return FALSE;

  CPlayerDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}

int CPlayerApp::ExitInstance() {
  if (!m_strTempFolder.empty()) {
    // Leave the folder first: a current directory cannot be removed.
    char tempPath[MAX_PATH + 1] = {0};
    GetTempPathA(MAX_PATH, tempPath);
    SetCurrentDirectoryA(tempPath);
    vx::EmptyFolder(m_strTempFolder);
    RemoveDirectoryA(m_strTempFolder.c_str());
  }
  return CWinApp::ExitInstance();
}
