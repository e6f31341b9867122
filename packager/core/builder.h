// The package builder: turns a snapshot of the main window's content into a package,
// a copy of the player stub whose resources carry the archive, the optional Flash
// control and the title. It knows no window: the caller shows the outcome.
//
// In the work folder (installation folder + "\Temp", created if missing) it writes
// package.ini, package.zip and a copy of the stub, replaces the copy's resources and
// puts the result at the output path. Every build overwrites the three work files.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/package_contract.h"
#include "packager/core/version_info.h"

namespace vx {

// One row of the main window's file list: column 1 (Name) and column 5 (Path).
struct PackageRow {
  std::string name;  // the archive entry name, the file's name without its folder
  std::string path;  // the full path of the file whose bytes the entry gets
};

// What the builder reads of the window, taken before the build starts.
struct BuildRequest {
  std::string installDir;  // m_strInstallDir: the work folder is installDir + "\Temp"
  std::string mainMovie;   // m_strMainMovie: full path; ignored in slideshow mode
  std::vector<PackageRow> rows;
  std::string title;                                // m_strTitle
  bool fullScreen = false;                          // m_bFullScreen
  bool autoInstallFlash = false;                    // m_bAutoInstallFlash
  PackageType packageType = PackageType::Resource;  // m_nPackageType
  std::string outputPath;                           // m_strOutputPath
  // Where the stub and the Flash control are; empty means installDir + "\Orrinet.exe"
  // and installDir + "\Flash8.ocx".
  std::string stubPath;
  std::string flashControlPath;
  // The window keeps the finished stub copy in the work folder until the packager
  // exits; a caller that throws the work folder away (the command line) may let the
  // builder move it to the output path instead of copying it.
  bool keepWorkFiles = true;
  // What only the command line sets, so that a package looks like its own product:
  // an .ico or .png file that replaces the stub's icon (group 128 and its images), and
  // version settings that replace the stub's version resource with a new one
  // (PackageVersionResource). Empty: the stub's own stay.
  std::string iconPath;
  VersionSettings versionInfo;
  // The threads that compress the archive: 0 the processor count (at most 16), 1 the
  // builder's own thread alone. The package is the same for every count.
  unsigned threads = 0;
};

struct BuildOutcome {
  bool succeeded = false;
  // Success: the finished package's size (FormatFileSize) and the result text, string
  // 102 in English with the size filled in.
  std::string sizeText;
  std::string resultText;
  // Failure: the message for the user, the file it concerns (may be empty when the
  // message names it already or concerns none) and the system's or library's reason.
  std::string message;
  std::string path;
  std::string detail;
  // Either way: things the user should know that did not stop the build (each one
  // line), such as a stub signature that the package could not keep.
  std::vector<std::string> notes;

  // The failure as one line: message, then the file and the reason when they add to it.
  std::string describe() const;
  // The failure as a message box shows it: the message alone on the first line, then
  // the file and the reason on lines of their own.
  std::string messageText() const;
};

// Called before each archive entry is added: entry `index` (0-based) of `count`, with
// its entry name; and once more with index == count and no name when the archive is
// complete and the package itself is being written. Runs on the builder's thread.
using BuildProgress = std::function<void(size_t index, size_t count, const std::string& name)>;

// The largest total of input bytes (main movie, listed files, description, Flash
// control) that one package may carry: the package is a 32-bit executable that Windows
// maps whole into a 32-bit process (2 GiB of address space, shared with the player's
// own allocations and the extracted copies), so 1 GiB is the sound ceiling.
inline constexpr uint64_t kMaxPackageContent = 1ull << 30;
// An archive entry's sizes are 32-bit numbers.
inline constexpr uint64_t kMaxEntrySize = 0xFFFFFFFFull;

// String 102 of the packager's string table in English, with one "%s" for the size.
// The system's own text, kept exactly as it stands: "Congrtulations" is not a typo to fix.
inline constexpr const char kResultTextFormat[] =
    "Congrtulations, the package has been created successfully.\n\nFile Size: %s\n\n"
    "  Click 'Yes' to view it.\n  Click 'No' to locate it.\n  Click 'Cancel' to back.";

// The builder's failure messages. They are the system's own texts, kept exactly as
// they stand ("Failed to copying file to temp folder" included): not typos to fix.
inline constexpr const char kCopyStubFailedText[] = "Failed to copying file to temp folder";
inline constexpr const char kUpdateResourceFailedText[] = "Failed to UpdateResource";
inline constexpr const char kPackageFlashFailedText[] = "Failed to package Flash";
inline constexpr const char kNoMemoryText[] = "Failed to locate memory";

// Fills the result text's "%s" with `sizeText`.
std::string FormatResultText(const std::string& format, const std::string& sizeText);

// The main movie's archive name: the text after its last backslash (or slash), the
// whole text when it holds none, empty when it is empty.
std::string MainMovieName(const std::string& mainMoviePath);

// Builds the package. Never throws; a failed build leaves any existing file at the
// output path as it was. Two entries of one name (without regard to letter case: the
// player's file system ignores it), among "package.ini", the main movie and the rows,
// are refused before any work: once extracted, the second would replace the first.
BuildOutcome BuildPackage(const BuildRequest& request, const BuildProgress& progress = {});

}  // namespace vx
