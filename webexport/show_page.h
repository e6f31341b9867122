// The web page of an exported show: what it is told about the show (a JSON block in
// index.html), the page itself in its two forms, and Ruffle's files it plays with.
//
//   folder form     OUT/index.html, OUT/vellumix-show.js, OUT/ruffle/..., and the
//                   package's files beside them: for any static web host
//   one-file form   one HTML file with Ruffle's code, its WebAssembly and every package
//                   file embedded (base64), which plays when opened from disk
//
// The page's HTML and script are project files (webexport/page/), built into the
// program.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "webexport/frame_marks.h"

namespace vx::web {

// The page's own names in the folder form; a package file may not take one of them.
inline constexpr const char kPageFile[] = "index.html";
inline constexpr const char kScriptFile[] = "vellumix-show.js";
inline constexpr const char kRuffleFolder[] = "ruffle";

// A movie the page starts: the main movie or a slide.
struct ShowMovie {
  std::string name;  // its file name in the export
  int width = 0;     // pixels, by the player's header reader
  int height = 0;
  bool hasBackground = false;  // its first tag is SetBackgroundColor
  uint32_t background = 0;     // 0xRRGGBB
  MovieFacts facts;
  int mark = -1;  // the number its frame marks carry; -1 when it has none
};

struct Show {
  std::string title;  // UTF-8
  bool fullScreen = false;
  bool slideshow = false;
  std::string mainMovie;    // the description's "mainmovie", as written there
  int main = -1;            // index into movies of the main movie; -1 when it is not there
  std::vector<int> slides;  // indexes into movies, in playing order
  std::vector<ShowMovie> movies;
};

// The show as the page reads it: JSON that may stand inside a <script> element (every
// "<", ">", "&" and the line separators escaped; bytes that are not UTF-8 become U+FFFD).
std::string ShowJson(const Show& show);

// Text for HTML content and attribute values.
std::string EscapeHtml(const std::string& text);

// A file name as a relative URL: every byte but A-Z a-z 0-9 - . _ ~ percent-encoded.
std::string UrlForName(const std::string& name);

// Ruffle's files as the build installs them (a folder "ruffle" beside vellumix-cli):
// the script, its chunks, its WebAssembly and both licence files. Source maps and
// anything else in the folder are left out.
struct RuffleFiles {
  std::string folder;
  std::string script;               // ruffle.js
  std::vector<std::string> chunks;  // core.ruffle.*.js
  std::vector<std::string> wasm;    // *.wasm
  std::vector<std::string> licences;
  std::vector<std::string> all() const;  // every name above
};

// False, with the problem, when the folder does not hold a complete set.
bool FindRuffleFiles(const std::string& folder, RuffleFiles& out, std::string& problem);

// The folder form: index.html and the page script into `folder`.
bool WriteFolderPage(const std::string& folder, const Show& show, std::string& problem);

// The one-file form, written to `path`: `files` are (name, path) of the package files
// to embed.
bool WriteSingleFilePage(const std::string& path, const Show& show,
                         const std::vector<std::pair<std::string, std::string>>& files,
                         const RuffleFiles& ruffle, std::string& problem);

}  // namespace vx::web
