// Playback timing of the stand-in: frame numbers over wall-clock time, looping and
// holding, and which frames an interval of playback enters.
#include <gtest/gtest.h>

#include <vector>

#include "testing/standin/timeline.h"

using vx::standin::Timeline;

TEST(Timeline, AdvancesAtTheFrameRateAndLoopsToZero) {
  Timeline t(12 * 256, 24, false);  // 12 frames a second, 2 s a pass
  EXPECT_EQ(t.frameAt(0), 0);
  EXPECT_EQ(t.frameAt(83), 0);
  EXPECT_EQ(t.frameAt(84), 1);  // 1/12 s = 83.3 ms
  EXPECT_EQ(t.frameAt(1000), 12);
  EXPECT_EQ(t.frameAt(1999), 23);
  EXPECT_EQ(t.frameAt(2000), 0);
  EXPECT_EQ(t.frameAt(2100), 1);
  EXPECT_EQ(t.positionAt(2100), 25);
}

TEST(Timeline, HoldsOnTheLastFrame) {
  Timeline t(12 * 256, 24, true);
  EXPECT_EQ(t.frameAt(1999), 23);
  EXPECT_EQ(t.frameAt(2000), 23);
  EXPECT_EQ(t.frameAt(600000), 23);
  EXPECT_EQ(t.positionAt(600000), 23);
}

TEST(Timeline, UsesTheFractionalRate) {
  Timeline t(20 * 256 + 128, 1000, false);  // 20.5 frames a second
  EXPECT_EQ(t.frameAt(1000), 20);
  EXPECT_EQ(t.frameAt(2000), 41);
  EXPECT_EQ(t.frameAt(10000), 205);
}

TEST(Timeline, DegenerateMoviesStayOnFrameZero) {
  EXPECT_EQ(Timeline(0, 5, false).frameAt(100000), 0);       // rate 0
  EXPECT_EQ(Timeline(12 * 256, 0, false).frameAt(5000), 0);  // no frames
  EXPECT_EQ(Timeline(12 * 256, 1, false).frameAt(5000), 0);
  EXPECT_EQ(Timeline().frameAt(5000), 0);
}

TEST(Timeline, LongRunsDoNotOverflow) {
  Timeline t(120 * 256, 7, false);
  uint64_t week = 7ull * 24 * 3600 * 1000;
  EXPECT_EQ(t.positionAt(week), static_cast<int64_t>(week * 120 / 1000));
  EXPECT_EQ(t.frameAt(week), static_cast<int>((week * 120 / 1000) % 7));
}

TEST(Timeline, ReportsEachFrameEnteredOnce) {
  Timeline loop(12 * 256, 4, false);
  EXPECT_EQ(loop.framesEntered(-1, 0), std::vector<int>({0}));  // the start enters frame 0
  EXPECT_EQ(loop.framesEntered(0, 0), std::vector<int>());
  EXPECT_EQ(loop.framesEntered(2, 5), std::vector<int>({3, 0, 1}));
  // A stall over several passes reports one pass, ending where playback is now.
  EXPECT_EQ(loop.framesEntered(1, 14), std::vector<int>({3, 0, 1, 2}));

  Timeline hold(12 * 256, 4, true);
  EXPECT_EQ(hold.framesEntered(-1, hold.positionAt(100000)), std::vector<int>({0, 1, 2, 3}));
  EXPECT_EQ(hold.framesEntered(3, hold.positionAt(200000)), std::vector<int>());
}
