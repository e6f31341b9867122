#include "packager/app/update_check.h"

#include <shellapi.h>

#include <cstdio>
#include <vector>

#include "common/win32_text.h"
#include "framework/app.h"
#include "packager/app/internet.h"
#include "resource.h"

std::string JoinUrl(const std::string& base, const std::string& path) {
  std::string url = base;
  size_t start = 0;
  while (start < path.size() && path[start] == '/') ++start;
  if (url.empty() || url.back() != '/') url += '/';
  return url + path.substr(start);
}

std::string UpdateServerUrl() {
  char buf[1024];
  const DWORD n = ::GetEnvironmentVariableA(kUpdateUrlVariable, buf, sizeof(buf));
  std::string base = (n > 0 && n < sizeof(buf)) ? std::string(buf, n) : std::string(kUpdateServerUrl);
  if (base.back() != '/') base += '/';
  return base;
}

std::string ReadIniValue(const std::string& file, const std::string& section, const std::string& key) {
  char buf[300];
  ::GetPrivateProfileStringA(section.c_str(), key.c_str(), kIniLoadError, buf, sizeof(buf), file.c_str());
  return buf;
}

std::string ExpandUpdateLineBreaks(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 1 < value.size() && value[i + 1] == 'd') {
      out += "\n    ";
      ++i;
    } else {
      out += value[i];
    }
  }
  return out;
}

bool IsUpdateOffered(const std::string& currentVersion, const std::string& newVersion) {
  if (newVersion.empty() || newVersion == kIniLoadError) return false;
  return ::lstrcmpiA(currentVersion.c_str(), newVersion.c_str()) != 0;
}

std::string ReadFileVersion(const std::string& path) {
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &handle);
  if (size == 0) return std::string();
  std::vector<char> block(size);
  if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return std::string();
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  if (!::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &len) || !info ||
      len < sizeof(VS_FIXEDFILEINFO))
    return std::string();
  char text[64];
  std::snprintf(text, sizeof(text), "%d.%d.%d.%d", static_cast<int>(HIWORD(info->dwFileVersionMS)),
                static_cast<int>(LOWORD(info->dwFileVersionMS)),
                static_cast<int>(HIWORD(info->dwFileVersionLS)),
                static_cast<int>(LOWORD(info->dwFileVersionLS)));
  return text;
}

std::string FormatUpdateOffer(const std::string& format, const std::string& currentVersion,
                              const std::string& newVersion, const std::string& fixed,
                              const std::string& whatsNew) {
  // The format is our own string table's; the values are only ever arguments.
  const int n = std::snprintf(nullptr, 0, format.c_str(), currentVersion.c_str(), newVersion.c_str(),
                              fixed.c_str(), whatsNew.c_str());
  if (n < 0) return format;
  std::vector<char> buf(static_cast<size_t>(n) + 1);
  std::snprintf(buf.data(), buf.size(), format.c_str(), currentVersion.c_str(), newVersion.c_str(),
                fixed.c_str(), whatsNew.c_str());
  return std::string(buf.data(), static_cast<size_t>(n));
}

void CheckForUpdate(const std::string& installDir, HWND window) {
  ::Sleep(kUpdateCheckDelayMs);
  const std::string currentVersion = ReadFileVersion(installDir + "\\Vellumix.exe");
  if (currentVersion.empty()) return;

  const std::string base = UpdateServerUrl();
  const std::string localCopy = installDir + "\\Temp\\update.ini";
  try {
    const vx::win::App* app = vx::win::App::Current();
    UrlReader remote(vx::win::Utf8ToAnsi(app ? app->m_name : std::string()),
                     JoinUrl(base, kUpdateDescriptionPath));
    if (FILE* local = std::fopen(localCopy.c_str(), "wt")) {
      std::string line;
      bool ok = true;
      try {
        while (ok && remote.readLine(line))
          ok = std::fputs(line.c_str(), local) >= 0 && std::fputc('\n', local) != EOF;
      } catch (...) {
        std::fclose(local);
        throw;
      }
      if (std::fclose(local) != 0) ok = false;
      if (!ok) return;  // a full disk: the check ends quietly
    }
  } catch (const InternetError&) {
    return;
  }

  using vx::win::LoadText;
  const std::string section = LoadText(IDS_UPDATE_SECTION);
  const std::string newVersion = ReadIniValue(localCopy, section, "Version");
  const std::string whatsNew = ExpandUpdateLineBreaks(ReadIniValue(localCopy, section, "Whatsnew"));
  const std::string fixed = ExpandUpdateLineBreaks(ReadIniValue(localCopy, section, "Fixed"));
  if (!IsUpdateOffered(currentVersion, newVersion)) return;

  const std::string offer =
      FormatUpdateOffer(LoadText(IDS_UPDATE_OFFER), currentVersion, newVersion, fixed, whatsNew);
  const std::string found = LoadText(IDS_UPDATE_FOUND);
  auto owner = [window] { return ::IsWindow(window) ? window : nullptr; };
  if (::MessageBoxA(owner(), offer.c_str(), found.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  const std::string instructions = LoadText(IDS_UPDATE_INSTRUCTIONS);
  const std::string notice = LoadText(IDS_UPDATE_NOTICE);
  ::MessageBoxA(owner(), instructions.c_str(), notice.c_str(), MB_OK | MB_ICONINFORMATION);
  ::ShellExecuteA(nullptr, "open", JoinUrl(base, kUpdaterPath).c_str(), nullptr, nullptr, SW_SHOW);
}
