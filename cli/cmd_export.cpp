// vellumix-cli export --web PACKAGE [-o FOLDER] [--single-file FILE.html] [--force]:
// the package as a web page that plays it with Ruffle, a Flash emulator in
// WebAssembly, in any browser, by the player's rules (webexport/).
//
// The archive is read as the player reads it: every file entry extracted under the
// last part of its name by the player's reader, the names it refuses skipped, the
// description read by the player's rules, the slides collected in archive order. Each
// output is made beside its final place and renamed there when complete, so a failed
// export leaves nothing at the output (and --force replaces an old one only then).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cli/command.h"
#include "cli/options.h"
#include "cli/package_archive.h"
#include "common/empty_folder.h"
#include "common/entry_name.h"
#include "common/file.h"
#include "common/file_exception.h"
#include "common/package_contract.h"
#include "common/package_description.h"
#include "common/pe_resources.h"
#include "common/random.h"
#include "common/swf_header.h"
#include "common/utf.h"
#include "player/playback_rules.h"
#include "webexport/frame_marks.h"
#include "webexport/show_page.h"
#include "zipreader/zip_reader.h"

namespace {

const char kUsage[] =
    "usage: vellumix-cli export --web PACKAGE [-o FOLDER] [--single-file FILE.html] [--force]\n"
    "\n"
    "Turns a package into a web page that plays its movie or slideshow in any browser\n"
    "with Ruffle, a Flash emulator, by the player's rules. Give one output or both:\n"
    "  -o FOLDER                a folder for any static web host: index.html, the\n"
    "                           page's script, ruffle/ and the package's files\n"
    "  --single-file FILE.html  one HTML file with everything in it, which plays\n"
    "                           when opened from disk\n"
    "  --force                  replace an output that exists and is not empty\n"
    "Exit status: 0; 1 for a usage error; 2 when the package cannot be exported (one\n"
    "line \"error: ...\"; nothing is left at the output).\n";

// The player reads each value of the description into a 300-character buffer.
constexpr size_t kSettingLength = 299;
constexpr size_t kExtractBufferSize = 65536;

struct ExportRequest {
  std::string package;
  std::string folder;      // -o
  std::string singleFile;  // --single-file
  bool web = false;
  bool force = false;
};

// One line on stderr and the exit status of a failed export.
int Fail(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "error: %s\n", message.c_str());
  return 2;
}

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  return path;
}

std::string ParentOf(const std::string& path) {
  size_t at = path.find_last_of("\\/");
  if (at == std::string::npos) return ".";
  return at == 0 ? path.substr(0, 1) : path.substr(0, at);
}

// A name beside `path` that no other run picks: ".<name>.vx-<what>-<random>".
std::string Beside(const std::string& path, const char* what) {
  return vx::JoinPath(ParentOf(path),
                      "." + vx::LastPathComponent(path) + ".vx-" + what + "-" + vx::RandomHex(6));
}

// Removes a file, a link or a whole folder.
void RemoveAll(const std::string& path) {
  if (vx::IsLink(path)) {
    vx::RemoveLink(path);
  } else if (vx::IsDirectory(path)) {
    vx::EmptyFolder(path);
    vx::RemoveFolder(path);
  } else {
    vx::SetFileAttributeBits(path, vx::kAttrNormal);
    vx::DeleteFilePath(path);
  }
}

// A folder or file under construction: removed again unless it was placed.
class Staged {
 public:
  explicit Staged(std::string path) : m_path(std::move(path)) {}
  ~Staged() {
    if (!m_path.empty() && (vx::PathExists(m_path) || vx::IsLink(m_path))) RemoveAll(m_path);
  }
  Staged(const Staged&) = delete;
  Staged& operator=(const Staged&) = delete;
  const std::string& path() const { return m_path; }
  void placed() { m_path.clear(); }

 private:
  std::string m_path;
};

bool IsEmptyOutput(const std::string& path) {
  if (vx::IsLink(path)) return false;
  if (vx::IsDirectory(path)) {
    bool empty = true;
    return vx::ForEachInFolder(path, [&empty](const std::string&, bool) { empty = false; }) && empty;
  }
  vx::FileDescription d;
  return vx::DescribePath(path, d) && d.size == 0;
}

// Whether `inner` is `outer` or lies inside it, symbolic links resolved; `unsure` when
// the paths cannot be resolved.
bool Contains(const std::string& outer, const std::string& inner, bool unsure) {
  try {
    namespace fs = std::filesystem;
    // Our paths are UTF-8 on every platform: taken and compared as such.
    const fs::path o = fs::weakly_canonical(fs::absolute(fs::u8path(outer)));
    const fs::path i = fs::weakly_canonical(fs::absolute(fs::u8path(inner)));
    auto oi = o.begin(), ii = i.begin();
    for (; oi != o.end() && ii != i.end(); ++oi, ++ii) {
      if (oi->empty()) continue;
      std::string a = oi->u8string(), b = ii->u8string();
      vx::FoldPathLetters(a);
      vx::FoldPathLetters(b);
      if (a != b) return false;
    }
    return oi == o.end() || (std::next(oi) == o.end() && oi->empty());
  } catch (const std::exception&) {
    return unsure;
  }
}

// Whether an output may be written at `path`: nothing there, an empty folder or file,
// or --force. "" when it may, else the problem.
std::string CheckOutput(const std::string& path, const ExportRequest& r, const std::string& ruffleFolder) {
  if (!vx::PathExists(path) && !vx::IsLink(path)) return std::string();
  // Replacing such an output would remove the package or Ruffle: refused when in doubt.
  if (Contains(path, r.package, true)) return path + " holds the package itself; choose another output";
  if (Contains(path, ruffleFolder, true)) return path + " holds Ruffle's files; choose another output";
  if (!r.force && !IsEmptyOutput(path)) return path + " exists and is not empty (--force replaces it)";
  return std::string();
}

// Puts the finished `staged` at `target`: an empty one there is replaced, a non-empty
// one (--force, checked before) is moved aside first and removed only once the new one
// stands in its place; if the new one cannot be placed, the old one goes back.
bool Place(Staged& staged, const std::string& target, std::string& problem) {
  std::string aside;
  if (vx::PathExists(target) || vx::IsLink(target)) {
    if (IsEmptyOutput(target)) {
      if (vx::IsDirectory(target) ? !vx::RemoveFolder(target) : !vx::DeleteFilePath(target)) {
        problem = "cannot replace the empty " + target;
        return false;
      }
    } else {
      aside = Beside(target, "old");
      if (!vx::MoveFileReplace(target, aside)) {
        problem = "cannot move the old " + target + " aside";
        return false;
      }
    }
  }
  if (!vx::MoveFileReplace(staged.path(), target)) {
    problem = "cannot move the finished export to " + target;
    if (!aside.empty()) vx::MoveFileReplace(aside, target);
    return false;
  }
  staged.placed();
  if (!aside.empty()) RemoveAll(aside);
  return true;
}

// True when the file starts with "MZ", the mark of a Windows executable.
bool LooksLikeExecutable(const std::string& path) {
  vx::File f;
  char magic[2];
  return f.open(path, vx::File::Mode::Read) && f.read(magic, 2) == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

// The package's title: string 1 of its string table, as UTF-8.
std::string PackageTitle(const std::string& path, const std::vector<vx::PeResource>& resources) {
  const vx::PeResource* block = vx::FindPeResource(resources, vx::ResourceId(vx::kStringTableType),
                                                   vx::ResourceId(vx::kTitleStringBlock));
  std::vector<uint8_t> bytes;
  std::string error;
  std::u16string title;
  if (block && vx::ReadPeResourceData(path, *block, bytes, &error) &&
      vx::StringFromBlock(bytes.data(), bytes.size(), vx::kTitleStringId, title))
    return vx::Utf16ToUtf8(title);
  return std::string();
}

// What the extraction left: each file's name in archive order (a name twice when two
// entries share it: the later one's data is on disk, as in the player's folder).
struct Extracted {
  std::vector<std::string> names;
  std::vector<std::string> slides;  // the names that end in "SWF", as the player collects them
};

// The player's extraction: all file entries at once, each under the last part of its
// name; an entry that cannot be written is skipped and the rest go on. Archive errors
// throw CZipException.
Extracted ExtractAsThePlayer(vx::ZipSource& source, const std::string& folder) {
  Extracted out;
  vx::ZipReader reader;
  reader.open(source);
  reader.setPassword(vx::kPackagePassword);
  std::vector<int> pending;
  std::vector<std::string> entryNames(static_cast<size_t>(reader.entryCount()));
  vx::ZipEntryInfo info;
  for (int i = 0; i < reader.entryCount(); ++i) {
    if (!reader.entryInfo(i, info) || info.isDirectory()) continue;
    pending.push_back(i);
    entryNames[static_cast<size_t>(i)] = info.name();
  }
  size_t reported = 0;
  auto report = [&](int index, const std::string& path, bool complete) {
    ++reported;
    const std::string& entry = entryNames[static_cast<size_t>(index)];
    if (path.empty()) {
      std::fprintf(stderr, "skipped: '%s' does not name a plain file (the player skips it too)\n",
                   entry.c_str());
      return;
    }
    if (!complete) {
      std::fprintf(stderr, "note: %s: its time or attributes could not be set\n", path.c_str());
    }
    const std::string name = vx::LastPathComponent(path);
    out.names.push_back(name);
    if (vx::IsSlideName(name)) out.slides.push_back(name);
  };
  while (!pending.empty()) {
    reported = 0;
    try {
      reader.extractEntries(pending, folder, false, kExtractBufferSize, 0, report);
      break;
    } catch (const vx::FileException& e) {
      // As in the player: the entry that failed is the first one not reported.
      size_t failed = std::min(reported, pending.size() - 1);
      std::fprintf(stderr, "skipped: '%s' could not be written (%s)\n",
                   entryNames[static_cast<size_t>(pending[failed])].c_str(), e.what());
      pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(failed + 1));
    }
  }
  reader.close();
  return out;
}

// The extracted name that the player's file system would open for `name` (letter case
// does not count there), or "" when there is none or `name` is not a plain file name.
std::string FindExtracted(const Extracted& e, const std::string& name) {
  if (name.empty() || name == "." || name == ".." || vx::LastPathComponent(name) != name)
    return std::string();
  for (auto it = e.names.rbegin(); it != e.names.rend(); ++it)
    if (vx::SameEntryName(*it, name)) return *it;
  return std::string();
}

std::string ReadDescription(const std::string& folder, const Extracted& e) {
  const std::string name = FindExtracted(e, vx::kDescriptionEntryName);
  std::string bytes;
  vx::File f;
  if (name.empty() || !f.open(vx::JoinPath(folder, name), vx::File::Mode::Read)) return bytes;
  char buf[4096];
  for (long long n; (n = f.read(buf, sizeof buf)) > 0;) bytes.append(buf, static_cast<size_t>(n));
  return vx::DescriptionFileText(bytes);  // either form the builder writes
}

std::string Setting(const std::string& text, const char* key, const char* fallback) {
  return vx::DescriptionValue(text, vx::kDescriptionSection, key, fallback).substr(0, kSettingLength);
}

// Reads the movie's header as the player does and gives the work copy its frame marks.
// False, with the problem, only for a file error.
bool PrepareMovie(const std::string& folder, vx::web::ShowMovie& movie, int mark, std::string& problem) {
  const std::string path = vx::JoinPath(folder, movie.name);
  uint32_t colour = vx::kNoColour;
  try {
    vx::SwfDimension size = vx::ReadSwfDimension(path, colour);
    movie.width = size.width;
    movie.height = size.height;
  } catch (const vx::FileException&) {
  }
  movie.hasBackground = colour != vx::kNoColour;
  movie.background = movie.hasBackground ? colour : 0;

  const std::string marked = vx::JoinPath(folder, "." + vx::RandomHex(8) + ".vx-marks");
  std::string why;
  switch (vx::web::AddFrameMarks(path, marked, static_cast<unsigned>(mark), movie.facts, why)) {
    case vx::web::MarkResult::Marked:
      vx::SetFileAttributeBits(path, vx::kAttrNormal);  // the archive may have made it read-only
      if (!vx::MoveFileReplace(marked, path)) {
        vx::DeleteFilePath(marked);
        problem = "cannot replace " + path + " by its copy with frame marks";
        return false;
      }
      movie.mark = mark;
      return true;
    case vx::web::MarkResult::ActionScript3: return true;
    case vx::web::MarkResult::NotMarkable:
      std::fprintf(stderr, "note: %s: no frame marks (%s); the page estimates its frames\n",
                   movie.name.c_str(), why.c_str());
      return true;
    case vx::web::MarkResult::WriteFailed: break;
  }
  problem = movie.name + ": " + why;
  return false;
}

// The show the page plays, from the description and the extracted files.
bool DescribeShow(const std::string& folder, const Extracted& e, vx::web::Show& show, std::string& problem) {
  const std::string description = ReadDescription(folder, e);
  show.fullScreen = vx::IsFullScreenValue(Setting(description, vx::kKeyFullScreen, vx::kValueFalse));
  show.mainMovie = Setting(description, vx::kKeyMainMovie, "");
  show.slideshow = vx::IsSlideshowType(Setting(description, vx::kKeyType, vx::kTypeResource));

  std::map<std::string, int> byName;
  auto movieIndex = [&](const std::string& name) {
    auto found = byName.find(name);
    if (found != byName.end()) return found->second;
    vx::web::ShowMovie m;
    m.name = name;
    show.movies.push_back(m);
    return byName[name] = static_cast<int>(show.movies.size() - 1);
  };
  if (show.slideshow) {
    for (const std::string& name : e.slides) show.slides.push_back(movieIndex(name));
    if (show.slides.empty())
      std::fprintf(stderr, "note: the slideshow holds no SWF movie; the page says so\n");
  } else {
    const std::string name = FindExtracted(e, show.mainMovie);
    if (!name.empty()) show.main = movieIndex(name);
    else
      std::fprintf(stderr, "note: the main movie \"%s\" is not in the package; the page says so\n",
                   show.mainMovie.c_str());
  }
  for (size_t i = 0; i < show.movies.size(); ++i) {
    if (!PrepareMovie(folder, show.movies[i], static_cast<int>(i), problem)) return false;
  }
  return true;
}

bool CopyRuffle(const vx::web::RuffleFiles& ruffle, const std::string& folder, std::string& problem) {
  const std::string to = vx::JoinPath(folder, vx::web::kRuffleFolder);
  if (!vx::CreateFolder(to)) {
    problem = "cannot create " + to;
    return false;
  }
  for (const std::string& name : ruffle.all()) {
    if (!vx::CopyFilePath(vx::JoinPath(ruffle.folder, name), vx::JoinPath(to, name))) {
      problem = "cannot copy Ruffle's " + name + " into " + to;
      return false;
    }
  }
  return true;
}

int RunExport(const vx::cli::Args& args) {
  using vx::cli::Option;
  ExportRequest r;
  const std::vector<Option> options = {
      {{"--web"},
       Option::Takes::Nothing,
       nullptr,
       [&r](const std::string&) {
         r.web = true;
         return std::string();
       }},
      {{"-o", "--output"},
       Option::Takes::ValueOrInline,
       nullptr,
       [&r](const std::string& v) {
         r.folder = v;
         return std::string();
       }},
      {{"--single-file"},
       Option::Takes::ValueOrInline,
       nullptr,
       [&r](const std::string& v) {
         r.singleFile = v;
         return std::string();
       }},
      {{"--force"},
       Option::Takes::Nothing,
       nullptr,
       [&r](const std::string&) {
         r.force = true;
         return std::string();
       }},
  };
  const vx::cli::ParsedArgs parsed = vx::cli::ParseOptions(args, options);
  if (parsed.outcome == vx::cli::ParsedArgs::Outcome::Help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (parsed.outcome == vx::cli::ParsedArgs::Outcome::UsageError)
    return vx::cli::UsageError("export", parsed.problem, kUsage);
  if (!r.web) return vx::cli::UsageError("export", "say which form: --web (the only one there is)", kUsage);
  if (parsed.operands.empty()) return vx::cli::UsageError("export", "no package given", kUsage);
  if (parsed.operands.size() > 1)
    return vx::cli::UsageError("export", "unexpected argument '" + parsed.operands[1] + "'", kUsage);
  if (r.folder.empty() && r.singleFile.empty())
    return vx::cli::UsageError("export", "no output given: -o FOLDER, --single-file FILE.html or both",
                               kUsage);
  r.package = parsed.operands[0];
  r.folder = WithoutTrailingSeparators(r.folder);
  if (!r.folder.empty() && !r.singleFile.empty() && Contains(r.folder, r.singleFile, false))
    return vx::cli::UsageError("export", "--single-file cannot lie in the -o folder", kUsage);

  // Everything is checked before anything is written.
  vx::web::RuffleFiles ruffle;
  std::string problem;
  const std::string ruffleFolder = vx::JoinPath(vx::ExecutableFolder(), vx::web::kRuffleFolder);
  if (!vx::web::FindRuffleFiles(ruffleFolder, ruffle, problem)) return Fail(problem);
  for (const std::string& target : {r.folder, r.singleFile}) {
    if (target.empty()) continue;
    problem = CheckOutput(target, r, ruffleFolder);
    if (!problem.empty()) return Fail(problem);
  }

  vx::File probe;
  if (!probe.open(r.package, vx::File::Mode::Read))
    return Fail(r.package + ": cannot open the file (" + std::strerror(errno) + ")");
  probe.close();
  if (!LooksLikeExecutable(r.package)) return Fail(r.package + " is not a package: not a Windows program");
  std::vector<vx::PeResource> resources;
  std::string error;
  if (!vx::ReadPeResources(r.package, resources, &error))
    return Fail(r.package + " is not a package: " + error);
  vx::ZipDiskFile source;
  switch (vx::cli::OpenPackageArchive(r.package, resources, source)) {
    case vx::cli::PackageArchive::Opened: break;
    case vx::cli::PackageArchive::Missing:
      return Fail(r.package + " is not a package: it has no resource \"" + vx::kArchiveResourceType + "\" " +
                  std::to_string(vx::kArchiveResourceId));
    default: return Fail(r.package + ": the package is damaged: its archive resource lies outside the file");
  }

  // The folder form is built in a work folder beside its place; the one-file form
  // needs the extracted files too, in a work folder beside the file.
  const std::string workTarget = r.folder.empty() ? r.singleFile : r.folder;
  vx::CreateFolders(ParentOf(workTarget));
  Staged work(Beside(workTarget, "export"));
  if (!vx::CreateFolder(work.path())) return Fail("cannot create a work folder beside " + workTarget);

  Extracted extracted;
  try {
    extracted = ExtractAsThePlayer(source, work.path());
  } catch (const vx::CZipException& e) {
    return Fail(r.package + ": " + e.message());
  } catch (const vx::FileException& e) {
    return Fail(e.what());
  }
  source.close();

  vx::web::Show show;
  show.title = PackageTitle(r.package, resources);
  if (!DescribeShow(work.path(), extracted, show, problem)) return Fail(problem);

  if (!r.folder.empty()) {
    for (const std::string& name : extracted.names) {
      for (const char* own : {vx::web::kPageFile, vx::web::kScriptFile, vx::web::kRuffleFolder}) {
        if (vx::SameEntryName(name, own))
          return Fail("the package holds a file named '" + name + "', which the page's own '" + own +
                      "' would replace; export it with --single-file");
      }
    }
  }

  std::vector<std::pair<std::string, std::string>> files;  // for the one-file form
  if (!r.singleFile.empty()) {
    std::map<std::string, bool> seen;
    for (const std::string& name : extracted.names)
      if (!seen[name]) {
        seen[name] = true;
        files.emplace_back(name, vx::JoinPath(work.path(), name));
      }
    Staged page(Beside(r.singleFile, "export"));
    if (!vx::web::WriteSingleFilePage(page.path(), show, files, ruffle, problem)) return Fail(problem);
    if (!r.folder.empty()) {
      if (!vx::web::WriteFolderPage(work.path(), show, problem) ||
          !CopyRuffle(ruffle, work.path(), problem) || !Place(work, r.folder, problem))
        return Fail(problem);
      std::printf("%s\n", r.folder.c_str());
    }
    if (!Place(page, r.singleFile, problem)) return Fail(problem);
    std::printf("%s\n", r.singleFile.c_str());
    return 0;
  }
  if (!vx::web::WriteFolderPage(work.path(), show, problem) || !CopyRuffle(ruffle, work.path(), problem) ||
      !Place(work, r.folder, problem))
    return Fail(problem);
  std::printf("%s\n", r.folder.c_str());
  return 0;
}

}  // namespace

VX_CLI_COMMAND("export", "turn a package into a web page that plays it in any browser (--web)", RunExport);
