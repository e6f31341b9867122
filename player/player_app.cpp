#include "player/player_app.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/file.h"
#include "common/file_exception.h"
#include "common/package_contract.h"
#include "common/swf_header.h"
#include "common/system_error.h"
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

// The archive entry `index` as text, at most `limit` bytes of it.
std::string ReadEntryText(vx::ZipReader& reader, int index, size_t limit) {
  std::string text;
  if (!reader.openEntry(index)) return text;
  char buf[4096];
  while (text.size() < limit) {
    size_t n = reader.readEntry(buf, sizeof(buf));
    text.append(buf, n);
    if (n < sizeof(buf)) break;
  }
  reader.closeEntry();
  return text.size() > limit ? text.substr(0, limit) : text;
}

// The name of the package's own folder, from what identifies the package: its title
// and the movie it starts with (the main movie, or a slideshow's first slide), read
// from the archive before anything is extracted. A damaged archive gives the title's
// folder; the extraction reports the damage.
std::string PackageFolder(HINSTANCE module, HRSRC resource, const std::string& title) {
  constexpr size_t kDescriptionLimit = 65536;
  HGLOBAL loaded = LoadResource(module, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  DWORD size = SizeofResource(module, resource);
  vx::ZipMemoryFile source(data, data ? size : 0);
  vx::ZipReader reader;
  std::string firstMovie;
  try {
    reader.open(source);
    reader.setPassword(vx::kPackagePassword);
    int description = -1;
    std::string firstSlide;
    vx::ZipEntryInfo info;
    for (int i = 0; i < reader.entryCount(); ++i) {
      if (!reader.entryInfo(i, info) || info.isDirectory()) continue;
      std::string name = vx::LastPathComponent(info.name());
      // Of two description files the later one is extracted over the first.
      if (vx::EqualsNoCase(name, vx::kDescriptionEntryName)) description = i;
      else if (firstSlide.empty() && vx::IsSlideName(name) &&
               !reader.targetPath(i, std::string(), false).empty())
        firstSlide = name;
    }
    std::string text =
        description >= 0 ? ReadEntryText(reader, description, kDescriptionLimit) : std::string();
    std::string type = vx::DescriptionValue(text, vx::kDescriptionSection, vx::kKeyType, vx::kTypeResource);
    firstMovie = vx::IsSlideshowType(type)
                     ? firstSlide
                     : vx::DescriptionValue(text, vx::kDescriptionSection, vx::kKeyMainMovie, "");
  } catch (const std::exception&) {
  }
  return vx::PackageFolderName(title, firstMovie);
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
  vx::File file;
  return file.open(path, vx::File::Mode::CreateWrite) && file.write(data, size) && file.close();
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
  // Quoted: a system folder whose path holds a blank would otherwise reach regsvr32 as
  // two arguments, and nothing would be registered.
  std::string parameters = "\"" + path + "\" /s";
  ShellExecuteA(nullptr, "run", "regsvr32", parameters.c_str(), nullptr, SW_HIDE);
}

bool CPlayerApp::CreateRunFolder(HRSRC resource) {
  char tempPath[MAX_PATH + 1] = {0};
  GetTempPathA(MAX_PATH, tempPath);
  std::string shared = std::string(tempPath) + "VX";
  CreateDirectoryA(shared.c_str(), nullptr);  // usually there already
  m_strSharedFolder = shared;
  // The package works in a folder of its own, the same on every run (so the control
  // finds what the movie saved before), and packages running side by side never empty
  // or overwrite each other's files.
  if (!m_runFolder.Claim(shared, PackageFolder(m_hInstance, resource, LoadString(IDS_TITLE)))) return false;
  m_strTempFolder = m_runFolder.path();
  return true;
}

namespace {

// Set when the process is about to end: a running sweep stops before its next folder.
std::atomic<bool> g_stopSweep{false};

DWORD WINAPI SweepThread(void* param) {
  std::unique_ptr<std::string> root(static_cast<std::string*>(param));
  try {
    CRunFolder::SweepStale(*root, &g_stopSweep);
  } catch (...) {
    // Out of memory, say: what is left goes at a later start.
  }
  return 0;
}

}  // namespace

void CPlayerApp::SweepLeftOverFolders() {
  if (m_bSwept || m_strSharedFolder.empty()) return;
  auto* root = new std::string(m_strSharedFolder);
  m_hSweepThread.reset(CreateThread(nullptr, 0, SweepThread, root, CREATE_SUSPENDED, nullptr));
  if (!m_hSweepThread) {
    delete root;  // ExitInstance sweeps instead
    return;
  }
  m_bSwept = true;
  SetThreadPriority(m_hSweepThread.get(), THREAD_PRIORITY_BELOW_NORMAL);
  ResumeThread(m_hSweepThread.get());
}

IClassFactory* CPlayerApp::CarriedFlashFactory() {
  if (!m_carriedControl.factory()) m_carriedControl.Load(m_strTempFolder, CLSID_ShockwaveFlash);
  return m_carriedControl.factory();
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
    std::vector<int> pending;
    std::vector<std::string> names(static_cast<size_t>(reader.entryCount()));
    for (int i = 0; i < reader.entryCount(); ++i) {
      if (!reader.entryInfo(i, info) || info.isDirectory()) continue;
      pending.push_back(i);
      names[static_cast<size_t>(i)] = vx::LastPathComponent(info.name());
    }
    // Several entries at once, on as many threads as there are processors; reports come
    // in archive order. The slide list holds the name each file is extracted under (the
    // entry's folder part, if any, is dropped by the extraction), and only when it was
    // extracted: a name the reader refuses (a device name such as com1.swf) never gets
    // there.
    size_t reported = 0;
    auto report = [&](int index, const std::string&, bool extracted) {
      ++reported;
      const std::string& name = names[static_cast<size_t>(index)];
      if (extracted && vx::IsSlideName(name)) m_slides.push_back(name);
    };
    while (!pending.empty()) {
      reported = 0;
      try {
        reader.extractEntries(pending, std::string(), false, kExtractBufferSize, 0, report);
        break;
      } catch (const vx::FileException&) {
        // An entry that cannot be written (say a second entry of one name after the
        // first was extracted read-only) is skipped; the rest of the package plays.
        // It is the first one not reported; the extraction goes on after it.
        pending.erase(pending.begin(),
                      pending.begin() + static_cast<std::ptrdiff_t>(std::min(reported + 1, pending.size())));
      }
    }
    reader.close();
  } catch (const vx::CZipException& e) {
    char text[512];
    if (!e.GetErrorMessage(text, sizeof(text)))
      lstrcpynA(text, "The package archive is damaged.", sizeof(text));
    AfxMessageBox(text, MB_OK | MB_ICONSTOP);
    return false;
  }
  return true;
}

BOOL CPlayerApp::InitInstance() {
  AfxEnableControlContainer();
  Enable3dControls();
  vx::SetSwfMessageHandler(ShowSwfMessage);

  InstallFlashControlIfNeeded();

  HRSRC resource =
      FindResourceA(m_hInstance, MAKEINTRESOURCEA(vx::kArchiveResourceId), vx::kArchiveResourceType);
  if (!resource) {
    DWORD error = GetLastError();
    AfxMessageBox(vx::SystemErrorText(error).c_str(), MB_OK);
    return FALSE;
  }
  if (!CreateRunFolder(resource)) {
    AfxMessageBox("Cannot create a temporary folder for the package's files.", MB_OK | MB_ICONSTOP);
    return FALSE;
  }
  if (!SetCurrentDirectoryA(m_strTempFolder.c_str())) {
    // Extracting into whatever folder happens to be current would be unsafe.
    AfxMessageBox(vx::SystemErrorText(GetLastError()).c_str(), MB_OK | MB_ICONSTOP);
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
  if (m_hSweepThread) {
    // Deleting a folder's files is never cut short; the sweep stops before the next.
    g_stopSweep = true;
    WaitForSingleObject(m_hSweepThread.get(), INFINITE);
    m_hSweepThread.reset();
  } else if (!m_bSwept && !m_strSharedFolder.empty()) {
    // No movie was played (the package ended at once, or could not play): the
    // left-overs go now.
    m_bSwept = true;
    CRunFolder::SweepStale(m_strSharedFolder);
  }
  // The window and its control are gone: a carried control's file can go too.
  m_carriedControl.Unload();
  if (!m_strTempFolder.empty()) {
    // Leave the folder first: a current directory cannot be removed.
    char tempPath[MAX_PATH + 1] = {0};
    GetTempPathA(MAX_PATH, tempPath);
    SetCurrentDirectoryA(tempPath);
    m_runFolder.Release();
    m_strTempFolder.clear();
  }
  return CWinApp::ExitInstance();
}
