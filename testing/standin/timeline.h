// The stand-in's notion of playback: a movie plays from frame 0 at its frame rate,
// measured in wall-clock time from the moment it was loaded. After its last frame it
// starts again at 0 or, when holding, stays on the last frame.
//
// "Position" counts frames played since the load without wrapping (capped at the last
// frame when holding); the frame number is the position within the movie.
#pragma once
#include <cstdint>
#include <vector>

namespace vx::standin {

class Timeline {
 public:
  Timeline() = default;
  // frameRate: 8.8 fixed point frames per second. A movie without frames counts as
  // one frame; a rate of 0 never leaves frame 0.
  Timeline(uint16_t frameRate, uint16_t frameCount, bool hold);

  int64_t positionAt(uint64_t elapsedMs) const;
  int frameAt(uint64_t elapsedMs) const { return frameOf(positionAt(elapsedMs)); }
  int frameOf(int64_t position) const;
  int frameCount() const { return m_frameCount; }

  // The frames entered after `fromPosition` up to and including `toPosition`, in
  // playing order. Each frame appears once for every time playback enters it, but
  // a long stall reports at most one pass through the movie.
  std::vector<int> framesEntered(int64_t fromPosition, int64_t toPosition) const;

 private:
  uint32_t m_frameRate = 0;
  int m_frameCount = 1;
  bool m_hold = false;
};

}  // namespace vx::standin
