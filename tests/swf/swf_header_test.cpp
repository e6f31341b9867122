// ReadSwfDimension on movies made by scripts/swfgen.py (written into the build folder
// before the tests run) and on damaged and truncated copies of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/file.h"
#include "common/file_exception.h"
#include "common/swf_header.h"
#include "tests/support/build_tree.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/whole_file.h"

namespace {

std::string MoviePath(const std::string& name) {
  return vx::test::BuildTreePath(std::string(VX_BINARY_DIR) + "/tests/swf/movies/" + name + ".swf");
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> data;
  vx::test::TryReadWholeFile(path, data);  // a missing movie is reported below
  return data;
}

std::vector<uint8_t> Movie(const std::string& name) {
  std::vector<uint8_t> data = ReadAll(MoviePath(name));
  EXPECT_FALSE(data.empty()) << "missing generated movie " << MoviePath(name);
  return data;
}

// A scratch file with the given bytes, removed at the end of the test.
class ScratchFile {
 public:
  explicit ScratchFile(const std::vector<uint8_t>& bytes, const std::string& tag = "movie") {
    m_path = vx::test::ProcessScratch().file(tag + ".swf");
    vx::File f;
    EXPECT_TRUE(f.open(m_path, vx::File::Mode::CreateWrite)) << m_path;
    if (!bytes.empty()) {
      EXPECT_TRUE(f.write(bytes.data(), bytes.size()));
    }
    EXPECT_TRUE(f.close());
  }
  ~ScratchFile() { vx::DeleteFilePath(m_path); }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

void SetLengthField(std::vector<uint8_t>& m, uint32_t length) {
  for (int i = 0; i < 4; ++i) m[4 + i] = static_cast<uint8_t>(length >> (8 * i));
}

uint32_t LengthField(const std::vector<uint8_t>& m) {
  return m[4] | m[5] << 8 | m[6] << 16 | static_cast<uint32_t>(m[7]) << 24;
}

// Counts the reader's messages while a test runs.
std::vector<std::string> g_messages;
void CollectMessage(const char* text) { g_messages.push_back(text); }

class SwfReader : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    vx::SetSwfMessageHandler(&CollectMessage);
  }
  void TearDown() override { vx::SetSwfMessageHandler(nullptr); }
};

constexpr uint32_t kUnset = 0xDEADBEEF;  // outside 24 bits: "colour not written"

struct Result {
  int32_t width, height;
  uint32_t colour;
};

Result ReadBoth(const std::string& path) {
  vx::SwfDimension plain = vx::ReadSwfDimension(path);
  uint32_t colour = kUnset;
  vx::SwfDimension withColour = vx::ReadSwfDimension(path, colour);
  EXPECT_EQ(plain.width, withColour.width) << path;
  EXPECT_EQ(plain.height, withColour.height) << path;
  return {withColour.width, withColour.height, colour};
}

Result ReadBytes(const std::vector<uint8_t>& bytes) {
  ScratchFile f(bytes);
  return ReadBoth(f.path());
}

TEST_F(SwfReader, ClassicStagePlainAndCompressed) {
  for (const char* name : {"plain_550x400", "cws_550x400"}) {
    Result r = ReadBoth(MoviePath(name));
    EXPECT_EQ(r.width, 550) << name;
    EXPECT_EQ(r.height, 400) << name;
    EXPECT_EQ(r.colour, 0x336699u) << name;
  }
  EXPECT_EQ(Movie("cws_550x400")[0], 'C');
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(SwfReader, OnlyTheSpanCountsAndItTruncatesTowardZero) {
  Result shifted = ReadBoth(MoviePath("offset_origin"));  // -200..10800, 100..8100
  EXPECT_EQ(shifted.width, 550);
  EXPECT_EQ(shifted.height, 400);
  Result odd = ReadBoth(MoviePath("truncating_spans"));  // 8010 and -30 twips
  EXPECT_EQ(odd.width, 400);
  EXPECT_EQ(odd.height, -1);
}

TEST_F(SwfReader, NbitsZeroGivesAnEmptyStage) {
  std::vector<uint8_t> m = Movie("nbits0");
  ASSERT_LT(m[8], 8);  // the body's first byte carries Nbits 0
  Result r = ReadBoth(MoviePath("nbits0"));
  EXPECT_EQ(r.width, 0);
  EXPECT_EQ(r.height, 0);
  EXPECT_EQ(r.colour, 0x336699u);
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(SwfReader, WideFieldsAreSignExtendedFromTheirOwnTopBit) {
  Result minusOne = ReadBoth(MoviePath("nbits20_xmin_all_ones"));  // Xmin -1, Xmax 11000
  EXPECT_EQ(minusOne.width, 11001 / 20);
  EXPECT_EQ(minusOne.height, 400);
  for (int n = 17; n <= 31; ++n) {
    Result r = ReadBoth(MoviePath("wide_" + std::to_string(n)));
    // Xmin = -2^(n-1), Xmax = 2^(n-1) - 1, Ymin = -2^(n-2), Ymax = 0.
    EXPECT_EQ(r.width, static_cast<int32_t>(((int64_t{1} << n) - 1) / 20)) << n;
    EXPECT_EQ(r.height, static_cast<int32_t>((int64_t{1} << (n - 2)) / 20)) << n;
    EXPECT_EQ(r.colour, 0x336699u) << n;
  }
}

TEST_F(SwfReader, BackgroundColourWhateverTheRectangleWidth) {
  for (int n : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 15, 16, 23, 24, 31}) {
    for (const char* suffix : {"", "_cws"}) {
      std::string name = "colour_nbits" + std::to_string(n) + suffix;
      Result r = ReadBoth(MoviePath(name));
      EXPECT_EQ(r.colour, 0x336699u) << name;
      EXPECT_EQ(r.width, n < 15 ? 0 : 550) << name;
    }
  }
  Result black = ReadBoth(MoviePath("black_background"));
  EXPECT_EQ(black.colour, 0u);  // black is a colour like any other: it is written
}

TEST_F(SwfReader, AnotherFirstTagLeavesTheColourAlone) {
  for (const char* name : {"file_attributes_first", "no_background"}) {
    Result r = ReadBoth(MoviePath(name));
    EXPECT_EQ(r.colour, kUnset) << name;
    EXPECT_EQ(r.width, 550) << name;
    EXPECT_EQ(r.height, 400) << name;
  }
}

TEST_F(SwfReader, AnyFirstByteButCIsReadUncompressed) {
  std::vector<uint8_t> m = Movie("plain_550x400");
  for (uint8_t first : {uint8_t{'Z'}, uint8_t{0}, uint8_t{'c'}, uint8_t{0xFF}}) {
    m[0] = first;
    Result r = ReadBytes(m);
    EXPECT_EQ(r.width, 550) << int(first);
    EXPECT_EQ(r.colour, 0x336699u) << int(first);
  }
  // And a "C" in front of an uncompressed body makes it a damaged compressed movie.
  m[0] = 'C';
  Result r = ReadBytes(m);
  EXPECT_EQ(r.width, 0);
  EXPECT_EQ(r.height, 0);
  EXPECT_EQ(r.colour, kUnset);
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(SwfReader, DamagedCompressedStreamGivesZeroSilently) {
  std::vector<uint8_t> m = Movie("cws_long_body");
  ASSERT_GT(m.size(), 100000u);
  // Damage at the start of the stream, in the middle, and only in the checksum at its
  // very end (everything that is decoded is intact there).
  for (size_t at : {size_t{8}, size_t{9}, m.size() / 2, m.size() - 1, m.size() - 4}) {
    std::vector<uint8_t> d = m;
    d[at] ^= 0x5A;
    Result r = ReadBytes(d);
    EXPECT_EQ(r.width, 0) << at;
    EXPECT_EQ(r.height, 0) << at;
    EXPECT_EQ(r.colour, kUnset) << at;
  }
  EXPECT_TRUE(g_messages.empty());
  Result intact = ReadBoth(MoviePath("cws_long_body"));
  EXPECT_EQ(intact.width, 550);
  EXPECT_EQ(intact.colour, 0x336699u);
}

TEST_F(SwfReader, CompressedBodyMustFitTheAnnouncedLength) {
  std::vector<uint8_t> m = Movie("cws_550x400");
  const uint32_t real = LengthField(m);
  // The body (length - 8 bytes) must fit into length - 4 bytes: 4 bytes of slack.
  SetLengthField(m, real - 4);
  EXPECT_EQ(ReadBytes(m).width, 550);
  SetLengthField(m, real - 5);
  Result under = ReadBytes(m);
  EXPECT_EQ(under.width, 0);
  EXPECT_EQ(under.height, 0);
  EXPECT_EQ(under.colour, kUnset);
  // A long body that overshoots by one byte is noticed too.
  std::vector<uint8_t> big = Movie("cws_long_body");
  SetLengthField(big, LengthField(big) - 5);
  EXPECT_EQ(ReadBytes(big).width, 0);
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(SwfReader, LengthFieldExtremes) {
  for (const char* name : {"plain_550x400", "cws_550x400"}) {
    std::vector<uint8_t> m = Movie(name);
    const bool compressed = m[0] == 'C';
    for (uint32_t length : {0u, 3u, 4u}) {
      g_messages.clear();
      SetLengthField(m, length);
      Result r = ReadBytes(m);
      EXPECT_EQ(r.width, 0) << name << " " << length;
      EXPECT_EQ(r.height, 0) << name << " " << length;
      EXPECT_EQ(r.colour, kUnset) << name << " " << length;
      // Uncompressed: no data, the seek over Nbits fails (once per form read).
      // Compressed: no room for any body, so it does not inflate: silent.
      EXPECT_EQ(g_messages.size(), compressed ? 0u : 2u) << name << " " << length;
    }
    g_messages.clear();
    // A length far beyond the file: the data is what the file holds.
    SetLengthField(m, 0xFFFFFFFFu);
    Result r = ReadBytes(m);
    EXPECT_EQ(r.width, 550) << name;
    EXPECT_EQ(r.height, 400) << name;
    EXPECT_EQ(r.colour, 0x336699u) << name;
    EXPECT_TRUE(g_messages.empty());
  }
}

TEST_F(SwfReader, FailedToLocateGoesThroughTheHook) {
  // "FWS", version 8, length 4: an uncompressed movie with no data at all.
  std::vector<uint8_t> empty = {'F', 'W', 'S', 8, 4, 0, 0, 0, 0x78, 0x00};
  ScratchFile f(empty);
  vx::SwfDimension d = vx::ReadSwfDimension(f.path());
  EXPECT_EQ(d.width, 0);
  EXPECT_EQ(d.height, 0);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], "Failed to locate");
  uint32_t colour = 0x123456;
  vx::ReadSwfDimension(f.path(), colour);
  EXPECT_EQ(g_messages.size(), 2u);
  EXPECT_EQ(colour, 0x123456u);

  // A compressed movie that inflates to nothing says the same.
  std::vector<uint8_t> nothing = {'C',  'W',  'S',  8,    100,  0,    0,    0,
                                  0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
  ScratchFile g(nothing, "nothing");
  d = vx::ReadSwfDimension(g.path());
  EXPECT_EQ(d.width, 0);
  EXPECT_EQ(g_messages.size(), 3u);
}

TEST_F(SwfReader, EveryTruncationOfASmallMovie) {
  for (const char* name : {"plain_550x400", "cws_550x400", "wide_31", "colour_nbits31_cws"}) {
    const std::vector<uint8_t> full = Movie(name);
    const Result whole = ReadBoth(MoviePath(name));
    const bool compressed = full[0] == 'C';
    // Bytes that decoding looks at: header, rectangle, rate and count, tag header, RGB.
    const size_t rectBytes = (5 + 4 * (full[8] >> 3) + 7) / 8;
    for (size_t len = 0; len < full.size(); ++len) {
      g_messages.clear();
      std::vector<uint8_t> cut(full.begin(), full.begin() + len);
      Result r = ReadBytes(cut);
      if (compressed && len > 0) {
        // The stream is never complete before the last byte.
        EXPECT_EQ(r.width, 0) << name << " " << len;
        EXPECT_EQ(r.height, 0) << name << " " << len;
        EXPECT_EQ(r.colour, kUnset) << name << " " << len;
        EXPECT_TRUE(g_messages.empty()) << name << " " << len;
      } else if (len <= 8) {
        EXPECT_EQ(r.width, 0) << name << " " << len;
        EXPECT_EQ(r.height, 0) << name << " " << len;
        EXPECT_EQ(g_messages.size(), (len > 0 && cut[0] == 'C') ? 0u : 2u) << name << " " << len;
      } else {
        EXPECT_TRUE(g_messages.empty()) << name << " " << len;
        if (len >= 8 + rectBytes) {
          EXPECT_EQ(r.width, whole.width) << name << " " << len;
          EXPECT_EQ(r.height, whole.height) << name << " " << len;
        }
        if (len >= 8 + rectBytes + 4 + 2 + 3) {
          EXPECT_EQ(r.colour, whole.colour) << name << " " << len;
        }
        if (len < 8 + rectBytes + 4 + 2) {
          EXPECT_EQ(r.colour, kUnset) << name << " " << len;
        }
      }
    }
  }
}

TEST_F(SwfReader, FilesShorterThanTheHeader) {
  const std::vector<std::vector<uint8_t>> shorts = {
      {}, {'F'}, {'F', 'W', 'S'}, {'F', 'W', 'S', 8, 0xFF, 0xFF, 0xFF}, {'C'}, {'C', 'W', 'S', 8, 0x20}};
  for (const auto& bytes : shorts) {
    g_messages.clear();
    Result r = ReadBytes(bytes);
    EXPECT_EQ(r.width, 0) << bytes.size();
    EXPECT_EQ(r.height, 0) << bytes.size();
    EXPECT_EQ(r.colour, kUnset) << bytes.size();
    const bool compressed = !bytes.empty() && bytes[0] == 'C';
    EXPECT_EQ(g_messages.size(), compressed ? 0u : 2u) << bytes.size();
  }
}

TEST_F(SwfReader, TagRunningPastTheDataReadsZeros) {
  // Rectangle 550 x 400 and the SetBackgroundColor header 0x43 0x02, then only the red
  // byte: green and blue are past the data and read as zero.
  std::vector<uint8_t> m = Movie("plain_550x400");
  const size_t rectBytes = (5 + 4 * 15 + 7) / 8;
  const size_t redAt = 8 + rectBytes + 4 + 2;
  ASSERT_EQ(m[redAt - 2], 0x43);
  ASSERT_EQ(m[redAt - 1], 0x02);
  std::vector<uint8_t> cut(m.begin(), m.begin() + redAt + 1);
  Result r = ReadBytes(cut);
  EXPECT_EQ(r.width, 550);
  EXPECT_EQ(r.colour, 0x330000u);
}

TEST_F(SwfReader, UnopenableFileThrowsWithItsPath) {
  std::string missing = vx::test::ProcessScratch().file("no_such_movie.swf");
  vx::DeleteFilePath(missing);
  try {
    vx::ReadSwfDimension(missing);
    FAIL() << "no exception";
  } catch (const vx::FileException& e) {
    EXPECT_EQ(e.fileName(), missing);
  }
  uint32_t colour = 7;
  EXPECT_THROW(vx::ReadSwfDimension(vx::TempFolder(), colour), vx::FileException);  // a folder
  EXPECT_EQ(colour, 7u);
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(SwfReader, LongUncompressedMovieReadsOnlyItsStart) {
  Result r = ReadBoth(MoviePath("fws_long_body"));
  EXPECT_EQ(r.width, 550);
  EXPECT_EQ(r.height, 400);
  EXPECT_EQ(r.colour, 0x336699u);
}

TEST_F(SwfReader, QuitMovieHasTheClassicStage) {
  Result r = ReadBoth(MoviePath("quit_at_3"));
  EXPECT_EQ(r.width, 550);
  EXPECT_EQ(r.height, 400);
  EXPECT_EQ(r.colour, 0x336699u);
}

}  // namespace
