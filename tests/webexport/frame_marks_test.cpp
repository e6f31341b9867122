// Frame marks on movies put together here tag by tag: where each mark lands, what
// stays byte for byte the same, and which movies are left alone.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "common/file.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/whole_file.h"
#include "webexport/frame_marks.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Tag(uint16_t code, const Bytes& body, bool longForm = false) {
  Bytes t;
  if (longForm || body.size() >= 0x3F) {
    vx::AppendLE16(t, static_cast<uint16_t>((code << 6) | 0x3F));
    vx::AppendLE32(t, static_cast<uint32_t>(body.size()));
  } else {
    vx::AppendLE16(t, static_cast<uint16_t>((code << 6) | body.size()));
  }
  t.insert(t.end(), body.begin(), body.end());
  return t;
}

Bytes Join(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The body after the header: a 550 x 400 rectangle (Nbits 15), 12.5 fps, `frames`.
Bytes Body(const std::vector<Bytes>& tags, uint16_t frames) {
  Bytes body = {0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00};
  vx::AppendLE16(body, 0x0C80);
  vx::AppendLE16(body, frames);
  Bytes rest = Join(tags);
  body.insert(body.end(), rest.begin(), rest.end());
  return body;
}

Bytes Movie(const Bytes& body, bool compressed, uint8_t version = 8) {
  Bytes movie = {static_cast<uint8_t>(compressed ? 'C' : 'F'), 'W', 'S', version};
  vx::AppendLE32(movie, static_cast<uint32_t>(8 + body.size()));
  if (!compressed) {
    movie.insert(movie.end(), body.begin(), body.end());
    return movie;
  }
  uLongf n = compressBound(static_cast<uLong>(body.size()));
  Bytes packed(n);
  EXPECT_EQ(compress(packed.data(), &n, body.data(), static_cast<uLong>(body.size())), Z_OK);
  movie.insert(movie.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(n));
  return movie;
}

// The body of a marked movie, inflated when it is compressed; checks the length field.
Bytes BodyOf(const Bytes& movie) {
  const uint32_t length = vx::LoadLE32(movie.data() + 4);
  Bytes body(length - 8);
  if (movie[0] == 'C') {
    uLongf n = static_cast<uLongf>(body.size());
    EXPECT_EQ(uncompress(body.data(), &n, movie.data() + 8, static_cast<uLong>(movie.size() - 8)), Z_OK);
    EXPECT_EQ(n, body.size());
  } else {
    EXPECT_EQ(movie.size(), length);
    body.assign(movie.begin() + 8, movie.end());
  }
  return body;
}

// The mark as the page reads it, spelt out byte by byte.
Bytes ExpectedMark(const std::string& args) {
  const std::string url = "FSCommand:vellumix-frame";
  Bytes action = {0x83};
  vx::AppendLE16(action, static_cast<uint16_t>(url.size() + args.size() + 2));
  action.insert(action.end(), url.begin(), url.end());
  action.push_back(0);
  action.insert(action.end(), args.begin(), args.end());
  action.push_back(0);
  action.push_back(0);
  return Tag(12, action);
}

const Bytes kShowFrame = Tag(1, {});
const Bytes kEnd = Tag(0, {});
const Bytes kBackground = Tag(9, {0x33, 0x66, 0x99});
const Bytes kShape = Tag(2, Bytes(80, 0xAB));  // long form by its size
const Bytes kActionA = Tag(12, {0x06, 0x00});  // play()
const Bytes kActionB = Tag(12, {0x07, 0x00});  // stop()
const Bytes kPlace = Tag(26, {0x06, 0x01, 0x00, 0x01, 0x00, 0x00});
// A sprite whose own timeline has ShowFrame tags: it is copied as it stands.
const Bytes kSprite = Tag(39, Join({{0x05, 0x00, 0x02, 0x00}, kActionA, kShowFrame, kShowFrame, kEnd}));

TEST(FrameMarks, EachFrameReportsItselfBeforeItsOwnActions) {
  const Bytes original = Body({kBackground, kShape, kSprite, kShowFrame,          // frame 1
                               kActionA, kPlace, kActionB, kShowFrame,            // frame 2
                               kPlace, Tag(12, {0x00}, true), kShowFrame, kEnd},  // frame 3
                              3);
  const Bytes expected = Body(
      {kBackground, kShape, kSprite, ExpectedMark("7 1"), kShowFrame, ExpectedMark("7 2"), kActionA, kPlace,
       kActionB, kShowFrame, kPlace, ExpectedMark("7 3"), Tag(12, {0x00}, true), kShowFrame, kEnd},
      3);
  for (bool compressed : {false, true}) {
    SCOPED_TRACE(compressed ? "CWS" : "FWS");
    const Bytes movie = Movie(original, compressed, 7);
    Bytes out;
    vx::web::MovieFacts facts;
    std::string problem;
    ASSERT_EQ(vx::web::AddFrameMarks(movie.data(), movie.size(), 7, out, facts, problem),
              vx::web::MarkResult::Marked)
        << problem;
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), Bytes(movie.begin(), movie.begin() + 4));
    EXPECT_EQ(BodyOf(out), expected);
    EXPECT_EQ(facts.compressed, compressed);
    EXPECT_EQ(facts.version, 7);
    EXPECT_EQ(facts.frameRate, 0x0C80);
    EXPECT_EQ(facts.frameCount, 3);
    EXPECT_FALSE(facts.actionScript3);
  }
  EXPECT_EQ(vx::web::FrameMarkTag(7, 3), ExpectedMark("7 3"));
}

TEST(FrameMarks, WhatFollowsTheEndAndAMissingEndStay) {
  const Bytes trailing = {0xDE, 0xAD, 0xBE, 0xEF};
  for (const auto& row : std::vector<std::pair<Bytes, Bytes>>{
           {Join({Body({kShowFrame, kEnd}, 1), trailing}),
            Join({Body({ExpectedMark("0 1"), kShowFrame, kEnd}, 1), trailing})},
           {Body({kShowFrame, kShowFrame}, 2),
            Body({ExpectedMark("0 1"), kShowFrame, ExpectedMark("0 2"), kShowFrame}, 2)},
       }) {
    const Bytes movie = Movie(row.first, false);
    Bytes out;
    vx::web::MovieFacts facts;
    std::string problem;
    ASSERT_EQ(vx::web::AddFrameMarks(movie.data(), movie.size(), 0, out, facts, problem),
              vx::web::MarkResult::Marked);
    EXPECT_EQ(BodyOf(out), row.second);
  }
}

TEST(FrameMarks, ActionScript3MoviesAreLeftAlone) {
  for (uint8_t flags : {0x08, 0x19, 0x00}) {
    SCOPED_TRACE(static_cast<int>(flags));
    const Bytes movie =
        Movie(Body({Tag(69, {flags, 0, 0, 0}), kBackground, kActionA, kShowFrame, kEnd}, 1), true, 10);
    Bytes out;
    vx::web::MovieFacts facts;
    std::string problem;
    const auto result = vx::web::AddFrameMarks(movie.data(), movie.size(), 0, out, facts, problem);
    const bool as3 = (flags & 0x08) != 0;
    EXPECT_EQ(result, as3 ? vx::web::MarkResult::ActionScript3 : vx::web::MarkResult::Marked);
    EXPECT_EQ(facts.actionScript3, as3);
    EXPECT_EQ(facts.frameCount, 1);
    EXPECT_EQ(out.empty(), as3);
  }
}

TEST(FrameMarks, MoviesThatCannotBeWalkedAreNotMarked) {
  const Bytes good = Body({kShowFrame, kEnd}, 1);
  Bytes cutStream = Movie(Body({kShape, kShape, kShowFrame, kEnd}, 1), true);
  cutStream.resize(cutStream.size() - 6);
  Bytes damagedStream = Movie(good, true);
  damagedStream[10] ^= 0xFF;
  Bytes tagPastEnd = Movie(Body({kShowFrame}, 1), false);
  tagPastEnd.insert(tagPastEnd.end(), {0x05, 0x03});  // a tag of 5 bytes, none there
  const std::vector<std::pair<const char*, Bytes>> rows = {
      {"empty", {}},
      {"not a movie", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0}},
      {"LZMA", Join({{'Z', 'W', 'S', 13}, Bytes(good.size() + 8, 0)})},
      {"header only", {'F', 'W', 'S', 8, 8, 0, 0, 0}},
      {"rectangle cut", {'F', 'W', 'S', 8, 20, 0, 0, 0, 0x78, 0x00}},
      {"tag past the end", tagPastEnd},
      {"stream cut short", cutStream},
      {"stream damaged", damagedStream},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.first);
    Bytes out;
    vx::web::MovieFacts facts;
    std::string problem;
    EXPECT_EQ(vx::web::AddFrameMarks(row.second.data(), row.second.size(), 0, out, facts, problem),
              vx::web::MarkResult::NotMarkable);
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(problem.empty());
  }
}

TEST(FrameMarks, FilesAreMarkedAsMemoryIs) {
  vx::test::ScratchFolder dir("scratch dir.\xC3\xBC");
  const Bytes movie = Movie(Body({kBackground, kShape, kShowFrame, kActionA, kShowFrame, kEnd}, 2), true);
  vx::test::WriteWholeFile(dir / "in movie.swf", movie);
  Bytes inMemory;
  vx::web::MovieFacts facts;
  std::string problem;
  ASSERT_EQ(vx::web::AddFrameMarks(movie.data(), movie.size(), 3, inMemory, facts, problem),
            vx::web::MarkResult::Marked);
  ASSERT_EQ(vx::web::AddFrameMarks(dir / "in movie.swf", dir / "out.swf", 3, facts, problem),
            vx::web::MarkResult::Marked)
      << problem;
  EXPECT_EQ(vx::test::ReadWholeFile(dir / "out.swf"), inMemory);

  // A copy that cannot be written leaves nothing; one that is not a movie neither.
  EXPECT_EQ(vx::web::AddFrameMarks(dir / "in movie.swf", vx::JoinPath(dir / "no folder", "out.swf"), 3, facts,
                                   problem),
            vx::web::MarkResult::WriteFailed);
  vx::test::WriteWholeFile(dir / "text.swf", std::string("not a movie"));
  EXPECT_EQ(vx::web::AddFrameMarks(dir / "text.swf", dir / "text-out.swf", 3, facts, problem),
            vx::web::MarkResult::NotMarkable);
  EXPECT_EQ(dir.list(), (std::vector<std::string>{"in movie.swf", "out.swf", "text.swf"}));
}

}  // namespace
