// What passes between the packager and the player: the package password and the
// names and ids of a package's resources and archive entries, the description file's
// section, keys and values, and the fixed paths under the packager's installation
// folder. A package is a copy of the player stub whose resources the builder has
// replaced; nothing else passes from one program to the other.
#pragma once
#include <cstdint>
#include <string>

#include "common/file.h"

namespace vx {

// Both programs hold the archive password as this constant (10 characters).
inline constexpr const char kPackagePassword[] = "Rvd%q!KJEb";

// ---- Resources of a package -------------------------------------------------------
// Every resource the builder writes uses this language, the one the stub carries its
// own resources under, so that an update replaces the stub's entry instead of adding
// a second language beside it.
inline constexpr uint16_t kPackageLanguage = 1033;  // English (United States)

// The package archive, byte for byte as the ZIP writer left it.
inline constexpr const char kArchiveResourceType[] = "ZIP";
inline constexpr uint16_t kArchiveResourceId = 129;

// The Shockwave Flash 8 control file, only when "Auto install Flash 8 player" is ticked.
inline constexpr const char kFlashResourceType[] = "OCX";
inline constexpr uint16_t kFlashResourceId = 1091;

// The title: string 1 of string-table block 1 (which holds string ids 0 to 15).
inline constexpr uint16_t kStringTableType = 6;  // RT_STRING
inline constexpr uint16_t kTitleStringBlock = 1;
inline constexpr uint16_t kTitleStringId = 1;

// The stub's own icon, which the player window shows too (it loads group 128). The
// window's builds leave it alone; the command line replaces the group and its images
// when asked for an icon of the package's own (`build --icon`).
inline constexpr uint16_t kIconType = 3;  // RT_ICON
inline constexpr uint16_t kIconId = 1;
inline constexpr uint16_t kIconGroupType = 14;  // RT_GROUP_ICON
inline constexpr uint16_t kIconGroupId = 128;

// The version resource: the stub's own, unless the command line is given version
// information for the package (`build --version-info`).
inline constexpr uint16_t kVersionType = 16;  // RT_VERSION
inline constexpr uint16_t kVersionId = 1;

// ---- The package archive ----------------------------------------------------------
// The first entry of every package: the description file.
inline constexpr const char kDescriptionEntryName[] = "package.ini";

// ---- The description file ---------------------------------------------------------
inline constexpr const char kDescriptionSection[] = "SETTINGS";
inline constexpr const char kKeyFullScreen[] = "fullscreen";
inline constexpr const char kKeyMainMovie[] = "mainmovie";
inline constexpr const char kKeyType[] = "type";
inline constexpr const char kValueTrue[] = "true";
inline constexpr const char kValueFalse[] = "false";
inline constexpr const char kTypeResource[] = "resource";
inline constexpr const char kTypeSlideshow[] = "slideshow";

// The package type chosen in the main window: 0 and 1 are the indexes of its radio
// buttons and the values of m_nPackageType.
enum class PackageType : int {
  Resource = 0,   // a main movie plus any files ("Main SWF + Resources")
  Slideshow = 1,  // SWF movies played in list order ("SWFs Slideshow")
};

// ---- Limits of the main window's fields --------------------------------------------
inline constexpr size_t kMaxTitleLength = 50;
inline constexpr size_t kMaxMainMovieLength = 200;
// The title the stub carries as shipped.
inline constexpr const char kDefaultTitle[] = "Vellumix";

// ---- Paths under the packager's installation folder ---------------------------------
// Each is the installation folder (held without a trailing backslash) plus one of
// these tails; InstallPath() joins them with the platform's separator.
inline constexpr const char kStubTail[] = "\\Orrinet.exe";
inline constexpr const char kFlashControlTail[] = "\\Flash8.ocx";
inline constexpr const char kWorkFolderTail[] = "\\Temp";
inline constexpr const char kWorkDescriptionTail[] = "\\Temp\\package.ini";
inline constexpr const char kWorkArchiveTail[] = "\\Temp\\package.zip";
inline constexpr const char kWorkStubTail[] = "\\Temp\\Orrinet.exe";

// installDir + tail, with the tail's backslashes written as the platform's separator.
inline std::string InstallPath(const std::string& installDir, const char* tail) {
  std::string path = installDir;
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  for (const char* p = tail; *p; ++p) path += (*p == '\\') ? kPathSeparator : *p;
  return path;
}

}  // namespace vx
