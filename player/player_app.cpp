#include "player/player_app.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <system_error>

#include <pthread.h>

#include "common/file.h"
#include "common/file_exception.h"
#include "common/package_contract.h"
#include "common/package_description.h"
#include "common/swf_header.h"
#include "common/system_error.h"
#include "common/win32_text.h"
#include "player/playback_rules.h"
#include "player/player_dlg.h"
#include "player/resource_file.h"
#include "player/shockwave_flash.h"
#include "resources/player/resource.h"
#include "zipreader/zip_reader.h"

namespace {

constexpr long kRequiredMajorVersion = 8;
constexpr unsigned kExtractBufferSize = 65536;
// How long the end of the player waits for a sweep to finish, and then for one it
// asked to stop. Its own folder is free by then, so the wait never holds up the next
// start of the package; it only bounds a sweep that a slow disk keeps busy.
constexpr DWORD kSweepFinishMs = 10000;
constexpr DWORD kSweepStopMs = 1000;

std::string Trim(const std::string& s) {
  const char* blanks = " \t\r\n";
  size_t first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  size_t last = s.find_last_not_of(blanks);
  return s.substr(first, last - first + 1);
}

void ShowSwfMessage(const char* text) { vx::win::MessageBoxUtf8(text); }

// The archive entry `index` as bytes, at most `limit` of them.
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
    std::string text = description >= 0
                           ? vx::DescriptionFileText(ReadEntryText(reader, description, kDescriptionLimit))
                           : std::string();
    std::string type = vx::DescriptionValue(text, vx::kDescriptionSection, vx::kKeyType, vx::kTypeResource);
    firstMovie = vx::IsSlideshowType(type)
                     ? firstSlide
                     : vx::DescriptionValue(text, vx::kDescriptionSection, vx::kKeyMainMovie, "");
  } catch (const std::exception&) {
  }
  return vx::PackageFolderName(title, firstMovie);
}

}  // namespace

std::string CPlayerApp::Title() const {
  // The builder writes the title as UTF-16; read as such, every character survives.
  const wchar_t* text = nullptr;
  const int n = ::LoadStringW(m_instance, IDS_TITLE, reinterpret_cast<wchar_t*>(&text), 0);
  return n > 0 && text ? vx::win::Utf8(text, static_cast<size_t>(n)) : std::string();
}

void CPlayerApp::InstallFlashControlIfNeeded() {
  long version = 0;
  long major = CShockwaveFlash::ProbeInstalledVersion(&version) ? (version >> 16) : 0;
  if (major == kRequiredMajorVersion) return;
  if (!FindResourceA(m_instance, MAKEINTRESOURCEA(vx::kFlashResourceId), vx::kFlashResourceType)) return;
  wchar_t systemDir[MAX_PATH + 1] = {0};
  const UINT n = GetSystemDirectoryW(systemDir, MAX_PATH);
  const std::string path = Trim(vx::win::Utf8(systemDir, n <= MAX_PATH ? n : 0)) + "\\flash8.ocx";
  WriteResourceToFile(m_instance, vx::kFlashResourceId, vx::kFlashResourceType, path);
  // A path with a blank would reach regsvr32 as two arguments: such a one is quoted.
  const std::string file = path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
  const std::wstring parameters = vx::win::Wide(file + " /s");
  ShellExecuteW(nullptr, L"run", L"regsvr32", parameters.c_str(), nullptr, SW_HIDE);
}

bool CPlayerApp::CreateRunFolder(HRSRC resource) {
  const std::string shared = vx::TempFolder() + "VX";
  vx::CreateFolder(shared);  // usually there already
  m_sharedFolder = shared;
  // The package works in a folder of its own, the same on every run (so the control
  // finds what the movie saved before), and packages running side by side never empty
  // or overwrite each other's files.
  if (!m_runFolder.Claim(shared, PackageFolder(m_instance, resource, Title()))) return false;
  m_tempFolder = m_runFolder.path();
  return true;
}

void CPlayerApp::SweepLeftOverFolders() {
  if (m_swept || m_sharedFolder.empty()) return;
  try {
    m_sweep = std::thread([root = m_sharedFolder, this] {
      try {
        CRunFolder::SweepStale(root, &m_stopSweep);
      } catch (...) {
        // Out of memory, say: what is left goes at a later start.
      }
    });
  } catch (const std::system_error&) {
    return;  // ExitInstance sweeps instead
  }
  m_swept = true;
  SetThreadPriority(SweepThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

HANDLE CPlayerApp::SweepThread() {
  // The MinGW-w64 posix thread model gives each std::thread a winpthreads thread,
  // whose Win32 handle this is (owned by the std::thread).
  return pthread_gethandle(m_sweep.native_handle());
}

IClassFactory* CPlayerApp::CarriedFlashFactory() {
  if (!m_carriedControl.factory()) m_carriedControl.Load(m_runFolder.ownFolder(), CLSID_ShockwaveFlash);
  return m_carriedControl.factory();
}

bool CPlayerApp::ExtractPackage(HRSRC resource) {
  HGLOBAL loaded = LoadResource(m_instance, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  DWORD size = SizeofResource(m_instance, resource);
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
    vx::win::MessageBoxUtf8(text, MB_OK | MB_ICONSTOP);
    return false;
  }
  return true;
}

void CPlayerApp::Run() {
  vx::win::UseOle();
  vx::SetSwfMessageHandler(ShowSwfMessage);

  InstallFlashControlIfNeeded();

  HRSRC resource =
      FindResourceA(m_instance, MAKEINTRESOURCEA(vx::kArchiveResourceId), vx::kArchiveResourceType);
  if (!resource) {
    DWORD error = GetLastError();
    vx::win::MessageBoxUtf8(vx::SystemErrorText(error), MB_OK);
    return;
  }
  if (!CreateRunFolder(resource)) {
    vx::win::MessageBoxUtf8("Cannot create a temporary folder for the package's files.", MB_OK | MB_ICONSTOP);
    return;
  }
  if (!SetCurrentDirectoryW(vx::win::Wide(m_tempFolder).c_str())) {
    // Extracting into whatever folder happens to be current would be unsafe.
    vx::win::MessageBoxUtf8(vx::SystemErrorText(GetLastError()), MB_OK | MB_ICONSTOP);
    return;
  }
  if (!ExtractPackage(resource)) return;

  const CPlayerDlg::Package package{Title(), m_tempFolder, m_slides, [this] { return CarriedFlashFactory(); },
                                    [this] { SweepLeftOverFolders(); }};
  CPlayerDlg dlg(package);
  m_mainWindow = &dlg;
  dlg.doModal();
  m_mainWindow = nullptr;
}

int CPlayerApp::ExitInstance() {
  // The window and its control are gone: a carried control's file can go too. The
  // package's own folder goes first of all, so that a start of the same package that
  // follows at once finds it free (and with it what the movie saved).
  m_carriedControl.Unload();
  if (!m_tempFolder.empty()) {
    // Leave the folder first: a current directory cannot be removed.
    SetCurrentDirectoryW(vx::win::Wide(vx::TempFolder()).c_str());
    m_runFolder.Release();
    m_tempFolder.clear();
  }
  if (m_sweep.joinable()) {
    // A sweep still running (it runs below normal priority while the movie plays) gets
    // a while at normal priority to finish; then it is asked to stop before its next
    // file. A file system that keeps it in one call does not keep the player
    // either: what is left goes at a later start.
    SetThreadPriority(SweepThread(), THREAD_PRIORITY_NORMAL);
    if (WaitForSingleObject(SweepThread(), kSweepFinishMs) == WAIT_TIMEOUT) {
      m_stopSweep = true;
      if (WaitForSingleObject(SweepThread(), kSweepStopMs) == WAIT_TIMEOUT) {
        m_sweep.detach();  // the process ends without waiting for it
        return 0;
      }
    }
    m_sweep.join();
  } else if (!m_swept && !m_sharedFolder.empty()) {
    // No movie was played (the package ended at once, or could not play): the
    // left-overs go now.
    m_swept = true;
    CRunFolder::SweepStale(m_sharedFolder);
  }
  return 0;
}
