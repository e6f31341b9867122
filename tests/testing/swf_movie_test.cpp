// The stand-in's movie reader against movies written by the project's generator and
// by make_movies.py (damaged and unusual ones).
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "testing/standin/swf_movie.h"
#include "tests/support/build_tree.h"

using vx::standin::LoadSwfFile;
using vx::standin::ParseSwf;
using vx::standin::SwfMovie;

namespace {

std::string Movie(const char* name) {
  return vx::test::BuildTreePath(std::string(VX_STANDIN_MOVIES) + "/" + name);
}

TEST(SwfMovie, ReadsThePlainHeader) {
  SwfMovie m = LoadSwfFile(Movie("plain.swf"));
  ASSERT_TRUE(m.valid);
  EXPECT_FALSE(m.compressed);
  EXPECT_EQ(m.version, 8);
  EXPECT_EQ(m.widthPixels(), 550);
  EXPECT_EQ(m.heightPixels(), 400);
  EXPECT_EQ(m.frameRate, 12 * 256);
  EXPECT_EQ(m.frameCount, 24);
  EXPECT_TRUE(m.hasBackground);
  EXPECT_EQ(m.background, 0x336699u);
  EXPECT_TRUE(m.fsCommands.empty());
}

TEST(SwfMovie, InflatesACompressedMovieAndFindsItsFsCommands) {
  SwfMovie m = LoadSwfFile(Movie("compressed.swf"));
  ASSERT_TRUE(m.valid);
  EXPECT_TRUE(m.compressed);
  EXPECT_EQ(m.version, 7);
  EXPECT_EQ(m.xMin, -200);
  EXPECT_EQ(m.xMax, 12600);
  EXPECT_EQ(m.yMin, 100);
  EXPECT_EQ(m.yMax, 9700);
  EXPECT_EQ(m.widthPixels(), 640);
  EXPECT_EQ(m.heightPixels(), 480);
  EXPECT_EQ(m.frameRate, 30 * 256);
  EXPECT_EQ(m.frameCount, 10);
  // The generator's frames count from 1; the timeline's from 0.
  ASSERT_EQ(m.fsCommands.size(), 2u);
  EXPECT_EQ(m.fsCommands[0].frame, 2);
  EXPECT_EQ(m.fsCommands[0].command, "hello");
  EXPECT_EQ(m.fsCommands[0].args, "world");
  EXPECT_EQ(m.fsCommands[1].frame, 5);
  EXPECT_EQ(m.fsCommands[1].command, "quit");
  EXPECT_EQ(m.fsCommands[1].args, "");
}

TEST(SwfMovie, KeepsTheFractionOfTheFrameRateAndMissingColour) {
  SwfMovie m = LoadSwfFile(Movie("fraction.swf"));
  ASSERT_TRUE(m.valid);
  EXPECT_EQ(m.frameRate, 20 * 256 + 128);
  EXPECT_EQ(m.frameCount, 3);
  EXPECT_FALSE(m.hasBackground);
}

TEST(SwfMovie, OnlyMainTimelineGetUrlsToFsCommandCount) {
  SwfMovie m = LoadSwfFile(Movie("actions.swf"));
  ASSERT_TRUE(m.valid);
  ASSERT_EQ(m.fsCommands.size(), 2u);
  // "fscommand:" in lower case still counts; the http URL and the sprite's do not.
  EXPECT_EQ(m.fsCommands[0].frame, 0);
  EXPECT_EQ(m.fsCommands[0].command, "Lower");
  EXPECT_EQ(m.fsCommands[0].args, "x");
  // The second frame's action has a long tag header (over 62 bytes).
  EXPECT_EQ(m.fsCommands[1].frame, 1);
  EXPECT_EQ(m.fsCommands[1].command, "long");
  EXPECT_EQ(m.fsCommands[1].args, std::string(100, 'y'));
}

TEST(SwfMovie, DamagedMoviesKeepWhatCameBeforeTheDamage) {
  SwfMovie truncated = LoadSwfFile(Movie("truncated.swf"));
  ASSERT_TRUE(truncated.valid);
  EXPECT_EQ(truncated.frameCount, 24);
  EXPECT_EQ(truncated.background, 0x336699u);
  EXPECT_TRUE(truncated.fsCommands.empty());  // its fscommand was in the part cut off

  SwfMovie damaged = LoadSwfFile(Movie("damaged.swf"));
  ASSERT_TRUE(damaged.valid);
  EXPECT_EQ(damaged.frameCount, 30);
  EXPECT_TRUE(damaged.fsCommands.empty());
}

TEST(SwfMovie, RejectsWhatIsNoMovie) {
  EXPECT_FALSE(LoadSwfFile(Movie("notswf.bin")).valid);
  EXPECT_FALSE(LoadSwfFile(Movie("tiny.swf")).valid);
  EXPECT_FALSE(LoadSwfFile(Movie("no-such-file.swf")).valid);
  EXPECT_FALSE(ParseSwf(nullptr, 0).valid);
  const uint8_t cwsGarbage[] = {'C', 'W', 'S', 8, 40, 0, 0, 0, 1, 2, 3, 4, 5, 6};
  EXPECT_FALSE(ParseSwf(cwsGarbage, sizeof cwsGarbage).valid);
}

TEST(SwfMovie, ACompressedMovieClaimingHugeLengthIsBounded) {
  // A header claiming 4 GB with a tiny body: the reader inflates what is there.
  uint8_t body[] = {0x50, 0, 0, 0, 0, 0, 0x00, 0x0C, 0x02, 0x00, 0x00, 0x00};
  uLongf n = 64;
  Bytef z[64];
  ASSERT_EQ(compress(z, &n, body, sizeof body), Z_OK);
  std::string data = std::string("CWS\x08\xFF\xFF\xFF\xFF", 8) + std::string(reinterpret_cast<char*>(z), n);
  SwfMovie m = ParseSwf(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  ASSERT_TRUE(m.valid);
  EXPECT_EQ(m.frameRate, 0x0C00);
  EXPECT_EQ(m.frameCount, 2);
}

}  // namespace
