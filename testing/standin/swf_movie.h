// What the stand-in Flash control knows about a movie: the header fields (stage
// rectangle, frame rate, frame count), the first background colour, and the
// fscommand calls that the main timeline makes, each with the frame it is in.
//
// Only the main timeline's DoAction tags are looked at, and in them only
// ActionGetURL (0x83) whose URL begins with "FSCommand:": this is how a movie's
// fscommand(command, args) call is stored. Sprites and computed URLs are ignored.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vx::standin {

struct FsCommandAction {
  int frame = 0;        // 0-based frame of the main timeline holding the action
  std::string command;  // the URL after "FSCommand:"
  std::string args;     // the target string
};

struct SwfMovie {
  bool valid = false;  // false: not a movie we could read; the fields below are then 0
  bool compressed = false;
  int version = 0;
  uint32_t declaredLength = 0;                     // file length from the header (uncompressed size)
  int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;  // stage rectangle in twips
  uint16_t frameRate = 0;                          // 8.8 fixed point frames per second
  uint16_t frameCount = 0;
  bool hasBackground = false;
  uint32_t background = 0;                  // 0xRRGGBB of the first SetBackgroundColor tag
  std::vector<FsCommandAction> fsCommands;  // in file order

  int widthPixels() const { return (xMax - xMin) / 20; }
  int heightPixels() const { return (yMax - yMin) / 20; }
};

// Reads a movie held in memory. Never throws for bad input: a damaged or truncated
// movie gives what could be read before the damage (or valid = false when the
// header itself is unusable).
SwfMovie ParseSwf(const uint8_t* data, size_t size);

// Reads a movie from a file; valid = false when the file cannot be read.
SwfMovie LoadSwfFile(const std::string& path);

}  // namespace vx::standin
