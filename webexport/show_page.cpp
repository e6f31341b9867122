#include "webexport/show_page.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "common/file.h"
#include "common/utf.h"
#include "webexport/page_assets.h"

namespace vx::web {

namespace {

constexpr size_t kChunk = 3 * 65536;  // a multiple of 3: base64 without padding inside

const char kTitleMarker[] = "<!--vellumix:title-->";
const char kShowMarker[] = "<!--vellumix:show-->";
const char kScriptsMarker[] = "<!--vellumix:scripts-->";

std::string ValidUtf8(const std::string& text) { return Utf16ToUtf8(Utf8ToUtf16(text)); }

void AppendJsonString(std::string& out, const std::string& text) {
  const std::string valid = ValidUtf8(text);
  out += '"';
  for (size_t i = 0; i < valid.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(valid[i]);
    char esc[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&') {
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else if (c == 0xE2 && i + 2 < valid.size() && valid[i + 1] == '\x80' &&
               (valid[i + 2] == '\xA8' || valid[i + 2] == '\xA9')) {
      // U+2028 and U+2029 end a line in older JavaScript.
      out += valid[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

std::string JsonString(const std::string& text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}

std::string ColourText(uint32_t colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(colour & 0xFFFFFF));
  return text;
}

// Script text that may stand inside <script>...</script>: "</script" ends the
// element, so its "/" is escaped ("<\/script" means the same in a JavaScript string or
// regular expression, the only places it can stand).
std::string InlineScript(std::string text) {
  for (size_t at = 0; (at = text.find("</", at)) != std::string::npos; at += 3) {
    std::string next = text.substr(at + 2, 6);
    std::transform(next.begin(), next.end(), next.begin(), [](unsigned char c) { return std::tolower(c); });
    if (next == "script") text.replace(at, 2, "<\\/");
  }
  return text;
}

// The template with the title and the show filled in, split at the place of the
// scripts.
void FillTemplate(const Show& show, std::string& head, std::string& tail) {
  std::string page = PageTemplate();
  auto replace = [&page](const char* marker, const std::string& with) {
    size_t at = page.find(marker);
    if (at != std::string::npos) page.replace(at, std::strlen(marker), with);
  };
  replace(kTitleMarker, EscapeHtml(ValidUtf8(show.title)));
  replace(kShowMarker, ShowJson(show));
  size_t at = page.find(kScriptsMarker);
  head = page.substr(0, at);
  tail = at == std::string::npos ? std::string() : page.substr(at + std::strlen(kScriptsMarker));
}

bool WriteWhole(const std::string& path, const std::string& text) {
  File f;
  return f.open(path, File::Mode::CreateWrite) && f.write(text.data(), text.size()) && f.close();
}

bool ReadWhole(const std::string& path, std::string& text) {
  File f;
  FileDescription d;
  if (!f.open(path, File::Mode::Read) || !f.describe(d)) return false;
  text.resize(static_cast<size_t>(d.size));
  return f.readFully(&text[0], text.size()) == static_cast<long long>(text.size());
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void AppendBase64(std::string& out, const uint8_t* p, size_t n) {
  size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += kBase64[v & 63];
  }
  if (n - i == 1) {
    uint32_t v = p[i] << 16;
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += "==";
  } else if (n - i == 2) {
    uint32_t v = (p[i] << 16) | (p[i + 1] << 8);
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += '=';
  }
}

// Writes the file at `path` as base64 into `out`, a chunk at a time.
bool WriteBase64Of(File& out, const std::string& path) {
  File in;
  if (!in.open(path, File::Mode::Read)) return false;
  std::vector<uint8_t> buf(kChunk);
  std::string text;
  for (;;) {
    long long n = in.readFully(buf.data(), buf.size());
    if (n < 0) return false;
    text.clear();
    AppendBase64(text, buf.data(), static_cast<size_t>(n));
    if (!text.empty() && !out.write(text.data(), text.size())) return false;
    if (static_cast<size_t>(n) < buf.size()) return true;
  }
}

bool EndsWith(const std::string& s, const char* tail) {
  size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

}  // namespace

std::string EscapeHtml(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string UrlForName(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      char esc[4];
      std::snprintf(esc, sizeof esc, "%%%02X", c);
      out += esc;
    }
  }
  return out;
}

std::string ShowJson(const Show& show) {
  std::string j = "{\"title\":" + JsonString(show.title);
  j += ",\"fullScreen\":";
  j += show.fullScreen ? "true" : "false";
  j += ",\"slideshow\":";
  j += show.slideshow ? "true" : "false";
  j += ",\"mainMovie\":" + JsonString(show.mainMovie);
  j += ",\"main\":" + (show.main < 0 ? std::string("null") : std::to_string(show.main));
  j += ",\"slides\":[";
  for (size_t i = 0; i < show.slides.size(); ++i) j += (i ? "," : "") + std::to_string(show.slides[i]);
  j += "],\"movies\":[";
  for (size_t i = 0; i < show.movies.size(); ++i) {
    const ShowMovie& m = show.movies[i];
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.8g", m.facts.frameRate / 256.0);
    j += i ? "," : "";
    j += "{\"name\":" + JsonString(m.name) + ",\"url\":" + JsonString(UrlForName(m.name));
    j += ",\"width\":" + std::to_string(m.width) + ",\"height\":" + std::to_string(m.height);
    j += ",\"background\":" + (m.hasBackground ? JsonString(ColourText(m.background)) : std::string("null"));
    j += ",\"frameRate\":";
    j += rate;
    j += ",\"frameCount\":" + std::to_string(m.facts.frameCount);
    j += ",\"actionScript3\":";
    j += m.facts.actionScript3 ? "true" : "false";
    j += ",\"mark\":" + (m.mark < 0 ? std::string("null") : std::to_string(m.mark)) + "}";
  }
  j += "]}";
  return j;
}

std::vector<std::string> RuffleFiles::all() const {
  std::vector<std::string> names{script};
  names.insert(names.end(), chunks.begin(), chunks.end());
  names.insert(names.end(), wasm.begin(), wasm.end());
  names.insert(names.end(), licences.begin(), licences.end());
  return names;
}

bool FindRuffleFiles(const std::string& folder, RuffleFiles& out, std::string& problem) {
  out = RuffleFiles();
  out.folder = folder;
  bool listed = ForEachInFolder(folder, [&out](const std::string& name, bool isDirectory) {
    if (isDirectory) return;
    if (name == "ruffle.js") out.script = name;
    else if (name.rfind("core.ruffle.", 0) == 0 && EndsWith(name, ".js")) out.chunks.push_back(name);
    else if (EndsWith(name, ".wasm")) out.wasm.push_back(name);
    else if (name == "LICENSE_MIT" || name == "LICENSE_APACHE") out.licences.push_back(name);
  });
  std::sort(out.chunks.begin(), out.chunks.end());
  std::sort(out.wasm.begin(), out.wasm.end());
  std::sort(out.licences.begin(), out.licences.end());
  std::string missing;
  if (!listed) missing = "there is no folder " + folder;
  else if (out.script.empty()) missing = folder + " has no ruffle.js";
  else if (out.wasm.empty()) missing = folder + " has no WebAssembly (*.wasm)";
  else if (out.licences.size() != 2) missing = folder + " lacks a licence file (LICENSE_MIT, LICENSE_APACHE)";
  if (missing.empty()) return true;
  problem = "Ruffle's files are missing: " + missing +
            " (the build installs them beside vellumix-cli from node_modules, which "
            "scripts/bootstrap.sh fills with npm ci)";
  return false;
}

bool WriteFolderPage(const std::string& folder, const Show& show, std::string& problem) {
  std::string head, tail;
  FillTemplate(show, head, tail);
  std::string page = head;
  page += "<script src=\"";
  page += kScriptFile;
  page += "\"></script>\n<script src=\"";
  page += kRuffleFolder;
  page += "/ruffle.js\"></script>";
  page += tail;
  if (!WriteWhole(JoinPath(folder, kPageFile), page) ||
      !WriteWhole(JoinPath(folder, kScriptFile), PageScript())) {
    problem = "the page could not be written into " + folder;
    return false;
  }
  return true;
}

bool WriteSingleFilePage(const std::string& path, const Show& show,
                         const std::vector<std::pair<std::string, std::string>>& files,
                         const RuffleFiles& ruffle, std::string& problem) {
  std::string head, tail;
  FillTemplate(show, head, tail);
  File out;
  if (!out.open(path, File::Mode::CreateWrite)) {
    problem = "cannot create " + path;
    return false;
  }
  auto text = [&out](const std::string& s) { return out.write(s.data(), s.size()); };
  // The order counts: the embedded files, then the page's script (it takes them in and
  // tells Ruffle where its files are before Ruffle's script runs), then Ruffle's chunks
  // and Ruffle itself.
  bool ok = text(head);
  for (const auto& file : files) {
    ok = ok &&
         text("<script type=\"application/octet-stream\" data-name=\"" + EscapeHtml(ValidUtf8(file.first)) +
              "\">") &&
         WriteBase64Of(out, file.second) && text("</script>\n");
  }
  for (const std::string& name : ruffle.wasm) {
    ok = ok &&
         text("<script type=\"application/octet-stream\" data-folder=\"" + std::string(kRuffleFolder) +
              "\" data-name=\"" + EscapeHtml(name) + "\" data-type=\"application/wasm\">") &&
         WriteBase64Of(out, JoinPath(ruffle.folder, name)) && text("</script>\n");
  }
  for (const std::string& name : ruffle.licences) {
    std::string licence;
    ok = ok && ReadWhole(JoinPath(ruffle.folder, name), licence) &&
         text("<script type=\"text/plain\" data-licence=\"ruffle/" + EscapeHtml(name) + "\">\n" +
              InlineScript(licence) + "</script>\n");
  }
  ok = ok && text("<script>\n" + InlineScript(PageScript()) + "</script>\n");
  std::vector<std::string> scripts = ruffle.chunks;
  scripts.push_back(ruffle.script);
  for (const std::string& name : scripts) {
    std::string code;
    ok = ok && ReadWhole(JoinPath(ruffle.folder, name), code) &&
         text("<script>\n" + InlineScript(code) + "\n</script>\n");
  }
  ok = ok && text(tail);
  ok = out.close() && ok;
  if (!ok) {
    problem = "the page " + path + " could not be written";
    return false;
  }
  return true;
}

}  // namespace vx::web
