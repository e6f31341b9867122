// The player's window-free rules: slide names, description values, window placement,
// the slideshow's advance rule and the package folder's name.
#include "player/playback_rules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// One rule of the description's and the movie's texts: what it accepts and refuses.
struct TextRule {
  const char* name;
  bool (*accepts)(const std::string&);
  std::vector<const char*> accepted, refused;
};

TEST(TextRules, SlideNamesDescriptionValuesAndTheQuitCommand) {
  const TextRule rules[] = {
      // The last three characters, upper-cased, must be SWF: no dot needed.
      {"slide name",
       vx::IsSlideName,
       {"intro.swf", "OUTRO.SWF", "a.Swf", "noswf", "swf"},
       {"movie.swf.bak", "package.ini", "wf", "", "movie.swc"}},
      {"full screen", vx::IsFullScreenValue, {"true", "TRUE", "True"}, {"yes", "1", "truex", "tru", ""}},
      // Everything but "resource" is a slideshow.
      {"slideshow",
       vx::IsSlideshowType,
       {"slideshow", "Slideshow", "resources", ""},
       {"resource", "Resource", "RESOURCE"}},
      {"quit", vx::IsQuitCommand, {"quit", "QUIT", "Quit"}, {"fullscreen", "quit ", ""}},
  };
  for (const TextRule& rule : rules) {
    for (const char* text : rule.accepted) {
      SCOPED_TRACE(std::string(rule.name) + " accepts \"" + text + "\"");
      EXPECT_TRUE(rule.accepts(text));
    }
    for (const char* text : rule.refused) {
      SCOPED_TRACE(std::string(rule.name) + " refuses \"" + text + "\"");
      EXPECT_FALSE(rule.accepts(text));
    }
  }
}

TEST(WindowPlacement, CentresTruncatingTowardZeroOrFillsTheScreen) {
  struct Case {
    bool fullScreen;
    int movieWidth, movieHeight;
    int left, top, width, height;
  };
  const Case cases[] = {
      {false, 550, 400, 237, 184, 550, 400},
      {false, 551, 401, 236, 183, 551, 401},        // halves truncate
      {false, 1280, 1001, -128, -116, 1280, 1001},  // -233 / 2 truncates toward zero, not to -117
      {true, 550, 400, 0, 0, 1024, 768},            // full screen ignores the movie's size
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.fullScreen ? "full screen " : "window ") << c.movieWidth << "x"
                                    << c.movieHeight);
    const auto p = vx::PlaceWindow(c.fullScreen, 1024, 768, c.movieWidth, c.movieHeight);
    EXPECT_EQ(p.left, c.left);
    EXPECT_EQ(p.top, c.top);
    EXPECT_EQ(p.width, c.width);
    EXPECT_EQ(p.height, c.height);
  }
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
  // Case of names, blanks, comments, other sections and later duplicates.
  const std::string hand =
      "; made by hand\n[other]\nmainmovie=wrong.swf\n [ Settings ] \n  MainMovie =  my movie.swf  \n"
      "mainmovie=second.swf\n[SETTINGS]\ntype=slideshow\n";
  struct Case {
    std::string text;
    const char* section;
    const char* key;
    const char* fallback;
    const char* expected;
  };
  const Case cases[] = {
      {builder, "SETTINGS", "mainmovie", "-", "intro.swf"},
      {builder, "SETTINGS", "type", "-", "resource"},
      {builder, "SETTINGS", "absent", "fallback", "fallback"},
      {builder, "OTHER", "type", "fallback", "fallback"},
      {hand, "SETTINGS", "mainmovie", "", "my movie.swf"},
      {hand, "SETTINGS", "type", "resource", "resource"},
      {"", "SETTINGS", "mainmovie", "none", "none"},
      {"[SETTINGS]\nmainmovie=", "SETTINGS", "mainmovie", "none", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "[" << c.section << "] " << c.key << " in \"" << c.text << "\"");
    EXPECT_EQ(vx::DescriptionValue(c.text, c.section, c.key, c.fallback), c.expected);
  }
}

TEST(PackageFolder, SameIdentitySameNameOtherwiseDifferent) {
  const std::string name = vx::PackageFolderName("Show Title", "intro.swf");
  EXPECT_EQ(name.size(), 16u);
  EXPECT_EQ(name.find_first_not_of("0123456789abcdef"), std::string::npos);
  // The same from run to run and from build to build of this program.
  EXPECT_EQ(name, vx::PackageFolderName("Show Title", "intro.swf"));
  EXPECT_EQ(vx::PackageFolderName("", ""), "af63bd4c8601b7df");  // FNV-1a of one zero byte
  std::set<std::string> names = {name, vx::PackageFolderName("Show Title", "Intro.swf"),
                                 vx::PackageFolderName("Show Titl", "eintro.swf"),
                                 vx::PackageFolderName("Show Title", ""),
                                 vx::PackageFolderName("", "intro.swf")};
  EXPECT_EQ(names.size(), 5u);
  EXPECT_EQ(vx::InstanceFolderName(name, 1), name);
  EXPECT_EQ(vx::InstanceFolderName(name, 2), name + "-2");
  EXPECT_EQ(vx::InstanceFolderName(name, 12), name + "-12");
}

}  // namespace
