// Frame numbers for the web page. Ruffle cannot tell a page which frame a movie shows,
// and the slideshow needs it (the player moves on when the frame number goes back or
// stands still). An ActionScript 1/2 movie can say it itself: the exported copy gets,
// in front of each frame of its main timeline, a DoAction tag that calls
//
//     fscommand("vellumix-frame", "<mark> <frame>")
//
// where <mark> tells the movies of one export apart (a movie that loads another into a
// level must not speak for it) and <frame> counts from 1. The mark stands before the
// frame's own DoAction tags, or before its ShowFrame when it has none: it runs first in
// the frame, so a gotoAndPlay in the frame's own actions is reported by the frame it
// leads to, which runs after it. Nothing else changes: every other tag is copied byte
// for byte (no tag refers to a position in the file), the header keeps its signature
// and version, its length is the new one, and a compressed movie (CWS) is inflated and
// compressed again.
//
// ActionScript 3 movies (a FileAttributes tag with the ActionScript 3 bit) run no
// DoAction tags, so they are left as they are; the page estimates their frame from
// the header's frame count and rate.
//
// The movie is streamed: memory stays small whatever its size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vx::web {

inline constexpr const char kFrameCommand[] = "vellumix-frame";

// What the header and the first tag say.
struct MovieFacts {
  bool compressed = false;  // CWS
  uint8_t version = 0;
  uint16_t frameRate = 0;  // 8.8 fixed point, frames a second
  uint16_t frameCount = 0;
  bool actionScript3 = false;
  bool headerRead = false;  // the fields above were read
};

enum class MarkResult {
  Marked,         // the copy was written
  ActionScript3,  // nothing written: the movie runs ActionScript 3
  NotMarkable,    // nothing written: not a movie whose tags can be walked to the end
                  // (not FWS or CWS, a damaged stream, a tag past the end, too long)
  WriteFailed,    // the copy could not be written (a file error); nothing is left of it
};

// The DoAction tag (record header included) that reports `frame` for `mark`.
std::vector<uint8_t> FrameMarkTag(unsigned mark, unsigned frame);

// Reads the movie at `from` and writes its marked copy to `to` (created or replaced).
// `problem` says what went wrong for NotMarkable and WriteFailed.
MarkResult AddFrameMarks(const std::string& from, const std::string& to, unsigned mark, MovieFacts& facts,
                         std::string& problem);

// The same on memory: `out` receives the marked copy (Marked only).
MarkResult AddFrameMarks(const uint8_t* movie, size_t size, unsigned mark, std::vector<uint8_t>& out,
                         MovieFacts& facts, std::string& problem);

}  // namespace vx::web
