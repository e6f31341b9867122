#include "player/playback_rules.h"

#include <cstdio>
#include <string>

namespace vx {

namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size(); ++i) {
    if (b[i] == '\0' || UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return b[i] == '\0';
}

bool IsSlideName(const std::string& name) {
  std::string tail = name.size() > 3 ? name.substr(name.size() - 3) : name;
  return EqualsNoCase(tail, "SWF");
}

WindowPlacement PlaceWindow(bool fullScreen, int screenWidth, int screenHeight, int movieWidth,
                            int movieHeight) {
  if (fullScreen) return {0, 0, screenWidth, screenHeight};
  // C++ division truncates toward zero, as the placement requires for odd and
  // negative differences.
  return {(screenWidth - movieWidth) / 2, (screenHeight - movieHeight) / 2, movieWidth, movieHeight};
}

bool SlideshowWatch::Tick(int frame) {
  if (!(m_lastFrame > frame) && m_stillTicks <= kStallLimit) {
    if (frame == m_lastFrame) ++m_stillTicks;
    else m_lastFrame = frame;
    return false;
  }
  return true;
}

void SlideshowWatch::Reset() {
  m_lastFrame = -1;
  m_stillTicks = 0;
}

namespace {

std::string TrimBlanks(const std::string& s) {
  const char* blanks = " \t\r";
  size_t first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  size_t last = s.find_last_not_of(blanks);
  return s.substr(first, last - first + 1);
}

}  // namespace

std::string DescriptionValue(const std::string& text, const char* section, const char* key,
                             const std::string& fallback) {
  bool inSection = false;
  bool sectionSeen = false;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = TrimBlanks(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      std::string name =
          TrimBlanks(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      // Only the first section of the name is read.
      if (inSection) break;
      inSection = !sectionSeen && EqualsNoCase(name, section);
      sectionSeen = sectionSeen || inSection;
      continue;
    }
    if (!inSection) continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (EqualsNoCase(TrimBlanks(line.substr(0, eq)), key)) return TrimBlanks(line.substr(eq + 1));
  }
  return fallback;
}

std::string PackageFolderName(const std::string& title, const std::string& firstMovie) {
  uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a, 64 bits
  auto add = [&hash](unsigned char byte) {
    hash ^= byte;
    hash *= 0x100000001B3ull;
  };
  for (unsigned char c : title) add(c);
  add(0);  // "ab" + "c" and "a" + "bc" stay apart
  for (unsigned char c : firstMovie) add(c);
  char buf[24];
  std::snprintf(buf, sizeof(buf), "%016llx", static_cast<unsigned long long>(hash));
  return buf;
}

std::string InstanceFolderName(const std::string& packageFolder, int instance) {
  if (instance <= 1) return packageFolder;
  return packageFolder + "-" + std::to_string(instance);
}

}  // namespace vx
