#include "player/playback_rules.h"

#include <cstdio>

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
  if (!(m_nLastFrame > frame) && m_nStillTicks <= kStallLimit) {
    if (frame == m_nLastFrame) ++m_nStillTicks;
    else m_nLastFrame = frame;
    return false;
  }
  return true;
}

void SlideshowWatch::Reset() {
  m_nLastFrame = -1;
  m_nStillTicks = 0;
}

std::string RunFolderName(uint32_t processId, uint32_t randomValue) {
  char buf[32];
  std::snprintf(buf, sizeof(buf), "%lu-%08lx", static_cast<unsigned long>(processId),
                static_cast<unsigned long>(randomValue));
  return buf;
}

}  // namespace vx
