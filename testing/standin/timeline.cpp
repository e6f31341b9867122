#include "testing/standin/timeline.h"

#include <algorithm>

namespace vx::standin {

Timeline::Timeline(uint16_t frameRate, uint16_t frameCount, bool hold)
    : m_frameRate(frameRate), m_frameCount(frameCount == 0 ? 1 : frameCount), m_hold(hold) {}

int64_t Timeline::positionAt(uint64_t elapsedMs) const {
  // frames = elapsed seconds * rate / 256, in integers.
  int64_t frames = static_cast<int64_t>(elapsedMs * m_frameRate / 256000u);
  if (m_hold) frames = std::min<int64_t>(frames, m_frameCount - 1);
  return frames;
}

int Timeline::frameOf(int64_t position) const {
  if (position < 0) return 0;
  return static_cast<int>(position % m_frameCount);
}

std::vector<int> Timeline::framesEntered(int64_t fromPosition, int64_t toPosition) const {
  std::vector<int> frames;
  if (toPosition <= fromPosition) return frames;
  int64_t first = std::max<int64_t>(fromPosition + 1, toPosition - m_frameCount + 1);
  first = std::max<int64_t>(first, 0);
  for (int64_t p = first; p <= toPosition; ++p) frames.push_back(frameOf(p));
  return frames;
}

}  // namespace vx::standin
