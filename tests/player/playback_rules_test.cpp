// The player's window-free rules: slide names, description values, window placement,
// the slideshow's advance rule and the package folder's name.
#include "player/playback_rules.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

TEST(SlideNames, LastThreeCharactersUpperCasedMustBeSwf) {
  EXPECT_TRUE(vx::IsSlideName("intro.swf"));
  EXPECT_TRUE(vx::IsSlideName("OUTRO.SWF"));
  EXPECT_TRUE(vx::IsSlideName("a.Swf"));
  EXPECT_TRUE(vx::IsSlideName("noswf"));  // no dot needed: only the tail counts
  EXPECT_TRUE(vx::IsSlideName("swf"));
  EXPECT_FALSE(vx::IsSlideName("movie.swf.bak"));
  EXPECT_FALSE(vx::IsSlideName("package.ini"));
  EXPECT_FALSE(vx::IsSlideName("wf"));
  EXPECT_FALSE(vx::IsSlideName(""));
  EXPECT_FALSE(vx::IsSlideName("movie.swc"));
}

TEST(DescriptionValues, FullScreenOnlyForTrueInAnyCase) {
  EXPECT_TRUE(vx::IsFullScreenValue("true"));
  EXPECT_TRUE(vx::IsFullScreenValue("TRUE"));
  EXPECT_TRUE(vx::IsFullScreenValue("True"));
  EXPECT_FALSE(vx::IsFullScreenValue("yes"));
  EXPECT_FALSE(vx::IsFullScreenValue("1"));
  EXPECT_FALSE(vx::IsFullScreenValue("truex"));
  EXPECT_FALSE(vx::IsFullScreenValue("tru"));
  EXPECT_FALSE(vx::IsFullScreenValue(""));
}

TEST(DescriptionValues, EverythingButResourceIsASlideshow) {
  EXPECT_FALSE(vx::IsSlideshowType("resource"));
  EXPECT_FALSE(vx::IsSlideshowType("Resource"));
  EXPECT_FALSE(vx::IsSlideshowType("RESOURCE"));
  EXPECT_TRUE(vx::IsSlideshowType("slideshow"));
  EXPECT_TRUE(vx::IsSlideshowType("Slideshow"));
  EXPECT_TRUE(vx::IsSlideshowType("resources"));
  EXPECT_TRUE(vx::IsSlideshowType(""));
}

TEST(DescriptionValues, QuitCommandIgnoresCase) {
  EXPECT_TRUE(vx::IsQuitCommand("quit"));
  EXPECT_TRUE(vx::IsQuitCommand("QUIT"));
  EXPECT_TRUE(vx::IsQuitCommand("Quit"));
  EXPECT_FALSE(vx::IsQuitCommand("fullscreen"));
  EXPECT_FALSE(vx::IsQuitCommand("quit "));
  EXPECT_FALSE(vx::IsQuitCommand(""));
}

TEST(WindowPlacement, CentresTheMovieTruncatingHalves) {
  auto p = vx::PlaceWindow(false, 1024, 768, 550, 400);
  EXPECT_EQ(p.left, 237);
  EXPECT_EQ(p.top, 184);
  EXPECT_EQ(p.width, 550);
  EXPECT_EQ(p.height, 400);
  p = vx::PlaceWindow(false, 1024, 768, 551, 401);
  EXPECT_EQ(p.left, 236);
  EXPECT_EQ(p.top, 183);
}

TEST(WindowPlacement, LargerThanTheScreenStartsOffScreenTruncatingTowardZero) {
  auto p = vx::PlaceWindow(false, 1024, 768, 1280, 1001);
  EXPECT_EQ(p.left, -128);
  EXPECT_EQ(p.top, -116);  // -233 / 2 truncates toward zero, not down to -117
  EXPECT_EQ(p.width, 1280);
}

TEST(WindowPlacement, FullScreenIgnoresTheMovieSize) {
  auto p = vx::PlaceWindow(true, 1024, 768, 550, 400);
  EXPECT_EQ(p.left, 0);
  EXPECT_EQ(p.top, 0);
  EXPECT_EQ(p.width, 1024);
  EXPECT_EQ(p.height, 768);
}

// Feeds frame numbers until the watch asks for an advance; returns the tick index
// (1-based) of that request, or 0 when it never comes.
int TicksUntilAdvance(vx::SlideshowWatch& watch, const std::vector<int>& frames) {
  for (size_t i = 0; i < frames.size(); ++i) {
    if (watch.Tick(frames[i])) return static_cast<int>(i + 1);
  }
  return 0;
}

TEST(SlideshowWatch, AdvancesWhenTheFrameGoesBack) {
  vx::SlideshowWatch watch;
  EXPECT_EQ(TicksUntilAdvance(watch, {0, 1, 2, 3, 4, 0}), 6);
  // The counters stay until the caller resets them after the advance.
  EXPECT_EQ(watch.lastFrame(), 4);
  watch.Reset();
  EXPECT_EQ(watch.lastFrame(), -1);
  EXPECT_EQ(watch.stillTicks(), 0);
  EXPECT_EQ(TicksUntilAdvance(watch, {0, 5, 9, 3}), 4);
}

TEST(SlideshowWatch, AStoppedMovieIsLeftOnTheTickAfterThe51stUnchangedTick) {
  vx::SlideshowWatch watch;
  std::vector<int> frames = {0, 1, 2};
  for (int i = 0; i < 60; ++i) frames.push_back(2);
  // Tick 3 sets the last frame to 2; ticks 4..54 are the 51 unchanged ones; tick 55
  // advances.
  EXPECT_EQ(TicksUntilAdvance(watch, frames), 55);
  EXPECT_EQ(watch.stillTicks(), 51);
}

TEST(SlideshowWatch, UnchangedTicksGatherAcrossFrameChanges) {
  // A slow movie: every frame is seen on two ticks, so each frame change brings one
  // unchanged tick; 51 of them gather over 102 ticks, and the next tick advances.
  vx::SlideshowWatch watch;
  std::vector<int> frames;
  for (int f = 0; f < 80; ++f) {
    frames.push_back(f);
    frames.push_back(f);
  }
  EXPECT_EQ(TicksUntilAdvance(watch, frames), 103);
}

TEST(SlideshowWatch, FirstTickAfterResetNeverAdvancesOnFrameZero) {
  vx::SlideshowWatch watch;
  EXPECT_FALSE(watch.Tick(0));
  EXPECT_EQ(watch.lastFrame(), 0);
  EXPECT_EQ(watch.stillTicks(), 0);
}

TEST(DescriptionText, ValuesReadAsThePrivateProfileFunctionsReadThem) {
  const std::string builder = "[SETTINGS]\r\nfullscreen=false\r\nmainmovie=intro.swf\r\ntype=resource";
  EXPECT_EQ(vx::DescriptionValue(builder, "SETTINGS", "mainmovie", "-"), "intro.swf");
  EXPECT_EQ(vx::DescriptionValue(builder, "SETTINGS", "type", "-"), "resource");
  EXPECT_EQ(vx::DescriptionValue(builder, "SETTINGS", "absent", "fallback"), "fallback");
  EXPECT_EQ(vx::DescriptionValue(builder, "OTHER", "type", "fallback"), "fallback");
  // Case of names, blanks, comments, other sections and later duplicates.
  const std::string hand =
      "; made by hand\n[other]\nmainmovie=wrong.swf\n [ Settings ] \n  MainMovie =  my movie.swf  \n"
      "mainmovie=second.swf\n[SETTINGS]\ntype=slideshow\n";
  EXPECT_EQ(vx::DescriptionValue(hand, "SETTINGS", "mainmovie", ""), "my movie.swf");
  EXPECT_EQ(vx::DescriptionValue(hand, "SETTINGS", "type", "resource"), "resource");
  EXPECT_EQ(vx::DescriptionValue("", "SETTINGS", "mainmovie", "none"), "none");
  EXPECT_EQ(vx::DescriptionValue("[SETTINGS]\nmainmovie=", "SETTINGS", "mainmovie", "none"), "");
}

TEST(PackageFolder, SameIdentitySameNameOtherwiseDifferent) {
  const std::string name = vx::PackageFolderName("Show Title", "intro.swf");
  EXPECT_EQ(name.size(), 16u);
  EXPECT_EQ(name.find_first_not_of("0123456789abcdef"), std::string::npos);
  // The same from run to run and from build to build of this program.
  EXPECT_EQ(name, vx::PackageFolderName("Show Title", "intro.swf"));
  EXPECT_EQ(vx::PackageFolderName("", ""), "af63bd4c8601b7df");  // FNV-1a of one zero byte
  std::set<std::string> names = {name,
                                 vx::PackageFolderName("Show Title", "Intro.swf"),
                                 vx::PackageFolderName("Show Titl", "eintro.swf"),
                                 vx::PackageFolderName("Show Title", ""),
                                 vx::PackageFolderName("", "intro.swf")};
  EXPECT_EQ(names.size(), 5u);
  EXPECT_EQ(vx::InstanceFolderName(name, 1), name);
  EXPECT_EQ(vx::InstanceFolderName(name, 2), name + "-2");
  EXPECT_EQ(vx::InstanceFolderName(name, 12), name + "-12");
}

}  // namespace
