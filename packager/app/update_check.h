// The update check: once per start, on a worker thread of its own, the packager reads
// the update description "downloads/update.ini" from the update server into its work
// folder and, when the version there differs from its own file version, offers the
// updater "downloads/VellumixUpdate.exe", which the browser downloads.
#pragma once
#include <windows.h>

#include <string>

// The update server's root. The environment variable VELLUMIX_UPDATE_URL, when set and
// not empty, replaces it (tests, and anyone who hosts their own server).
inline constexpr const char kUpdateServerUrl[] = "http://www.vellumix.com/";
inline constexpr const char kUpdateUrlVariable[] = "VELLUMIX_UPDATE_URL";
inline constexpr const char kUpdateDescriptionPath[] = "downloads/update.ini";
inline constexpr const char kUpdaterPath[] = "downloads/VellumixUpdate.exe";
// What ReadIniValue returns for a missing file, section or key.
inline constexpr const char kIniLoadError[] = "INI_LOADERROR";
// The check waits this long after the main window has opened.
inline constexpr DWORD kUpdateCheckDelayMs = 3000;

// The base URL in effect, always ending with "/".
std::string UpdateServerUrl();
// `base` + `path` with exactly one "/" between them.
std::string JoinUrl(const std::string& base, const std::string& path);

// The value of `key` in `section` of the INI file `file`, at most 299 characters, or
// "INI_LOADERROR" when the file, the section or the key is missing.
std::string ReadIniValue(const std::string& file, const std::string& section, const std::string& key);

// Every "%d" of a "Whatsnew" or "Fixed" value becomes a line break and four blanks.
std::string ExpandUpdateLineBreaks(const std::string& value);

// Whether a description's version makes an offer: it differs from the current
// version without regard to case, and it is a version at all (a copy without the
// section or the key, such as an error page, reads as "INI_LOADERROR" and makes none;
// neither does an empty value).
bool IsUpdateOffered(const std::string& currentVersion, const std::string& newVersion);

// The file version of the executable at `path` as "a.b.c.d"; empty when it has none.
std::string ReadFileVersion(const std::string& path);

// The offer's text: `format` (string 1034) with current version, new version, "Fixed"
// and "Whatsnew" for its four "%s", in this order.
std::string FormatUpdateOffer(const std::string& format, const std::string& currentVersion,
                              const std::string& newVersion, const std::string& fixed,
                              const std::string& whatsNew);

// The check itself, run on a worker thread of its own: it waits kUpdateCheckDelayMs,
// then compares the version of `installDir`\Vellumix.exe with the server's and offers
// the updater in message boxes owned by `window` (while it exists). It ends quietly
// when the version cannot be read, the network fails or the disk is full.
void CheckForUpdate(const std::string& installDir, HWND window);
