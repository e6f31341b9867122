// The stage size of a Flash movie, read from the start of its body: the packager shows
// it in the file list, the player sizes its window with it and takes the movie's
// background colour from its first tag.
//
// A movie starts with an 8-byte header ("FWS" or "CWS", the version, the length of the
// uncompressed movie) followed by the body, zlib-compressed for "CWS". The body opens
// with the frame-size rectangle, a bit-packed record read most significant bit first:
// 5 bits Nbits, then Xmin, Xmax, Ymin, Ymax of Nbits bits each, in twips (1/20 pixel).
#pragma once
#include <cstdint>
#include <string>

namespace vx {

// A most-significant-bit-first cursor over a byte buffer that belongs to the caller
// (it is neither copied nor freed). Reading never touches memory outside the first
// bitLength bits of the buffer: bits past the end read as zero.
class BitReader {
 public:
  BitReader(const uint8_t* buffer, int64_t bitLength);
  virtual ~BitReader();

  // Back to bit 0.
  void Rewind();
  // Moves by `offset` bits from the current position. Returns the new absolute bit
  // position, or -1 without moving when the target lies outside [0, bitLength].
  int64_t SeekBits(int64_t offset);
  // The next n bits (0..32; larger counts read 32), first bit in the most significant
  // place of the result. Advances by n bits. n = 0 returns 0 and does not move.
  uint32_t ReadBits(int n);

  // Current position, for callers that need to know where they stand.
  int64_t BytePos() const { return m_nBytePos; }
  int BitOffset() const { return m_nBitOffset; }
  int64_t BitLength() const { return m_nBitLength; }

 private:
  const uint8_t* m_pBuffer;
  int64_t m_nBitLength;
  int64_t m_nBytePos;
  uint8_t m_nBitOffset;  // 0..7, 0 = the byte's most significant bit
};

// ReadBits(n), sign-extended from bit n-1 (two's complement of width n). n = 0 gives 0.
int32_t ReadSignedBits(BitReader& reader, int n);

// Width and height in pixels.
struct SwfDimension {
  int32_t width;
  int32_t height;
};

// The stage size of the movie at `path`: (Xmax - Xmin) / 20 by (Ymax - Ymin) / 20,
// truncated toward zero. A compressed movie whose body does not inflate (damaged, or
// longer than its header says) gives 0 x 0 silently. An empty body reports
// "Failed to locate" through the message handler and gives 0 x 0.
// A file that cannot be opened throws vx::FileException.
SwfDimension ReadSwfDimension(std::string path);
// The same, and when the movie's first tag is SetBackgroundColor, its colour as
// 0x00RRGGBB in `colour`. Any other first tag leaves `colour` as the caller set it:
// callers that need to know set it to kNoColour first.
SwfDimension ReadSwfDimension(std::string path, uint32_t& colour);
// No colour: a value that 0x00RRGGBB never takes.
inline constexpr uint32_t kNoColour = 0xFFFFFFFFu;

// Where "Failed to locate" goes. Each program sets its own (the windows show a message
// box captioned with the application's title; the CLI prints to stderr). The default,
// also restored by passing nullptr, prints the text and a line break to stderr.
using SwfMessageHandler = void (*)(const char* text);
void SetSwfMessageHandler(SwfMessageHandler handler);

}  // namespace vx
