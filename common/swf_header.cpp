// The SWF header reader: the stage rectangle of a movie and the colour of its first tag.
//
// Only the first 26 bytes of a body are ever decoded (a rectangle of at most 17 bytes,
// frame rate and frame count, the first tag's record header and three colour bytes), so
// the reader keeps just a short prefix of the body. The rest of the file only matters
// for a compressed movie, whose whole stream is still inflated (into a small scratch
// buffer that is overwritten again and again) so that a damaged stream, or one that
// inflates to more than its header announced, is noticed wherever the damage lies.
// Memory therefore stays the same for any file size, whatever the header claims.
#include "common/swf_header.h"
#include "common/byte_order.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/file.h"
#include "common/file_exception.h"

namespace vx {

// ---------------------------------------------------------------------------------
// BitReader

BitReader::BitReader(const uint8_t* buffer, int64_t bitLength)
    : m_pBuffer(buffer), m_nBitLength(bitLength < 0 ? 0 : bitLength), m_nBytePos(0), m_nBitOffset(0) {}

BitReader::~BitReader() = default;

void BitReader::Rewind() {
  m_nBytePos = 0;
  m_nBitOffset = 0;
}

int64_t BitReader::SeekBits(int64_t offset) {
  const int64_t current = m_nBytePos * 8 + m_nBitOffset;
  // Compare without forming current + offset, which could overflow for wild offsets.
  // The position may stand past the end after reads that ran over it.
  if (offset < -current) return -1;
  if (current > m_nBitLength || offset > m_nBitLength - current) return -1;
  const int64_t target = current + offset;
  m_nBytePos = target / 8;
  m_nBitOffset = static_cast<uint8_t>(target % 8);
  return target;
}

uint32_t BitReader::ReadBits(int n) {
  if (n <= 0) return 0;
  if (n > 32) n = 32;
  int64_t pos = m_nBytePos * 8 + m_nBitOffset;
  uint32_t value = 0;
  int left = n;
  while (left > 0) {
    if (pos >= m_nBitLength) {
      // Past the data: the remaining bits are zeros.
      value = left >= 32 ? 0 : value << left;
      pos += left;
      break;
    }
    // Take as many bits as this byte still holds, no more than needed, none past the end.
    const int bitInByte = static_cast<int>(pos & 7);
    int take = std::min(8 - bitInByte, left);
    if (pos + take > m_nBitLength) take = static_cast<int>(m_nBitLength - pos);
    const uint32_t byte = m_pBuffer[pos >> 3];
    const uint32_t bits = (byte >> (8 - bitInByte - take)) & ((1u << take) - 1u);
    value = (value << take) | bits;  // take <= 8
    pos += take;
    left -= take;
  }
  m_nBytePos = pos / 8;
  m_nBitOffset = static_cast<uint8_t>(pos % 8);
  return value;
}

int32_t ReadSignedBits(BitReader& reader, int n) {
  if (n <= 0) return 0;
  if (n > 32) n = 32;
  const uint32_t value = reader.ReadBits(n);
  if (n < 32 && (value & (1u << (n - 1)))) {
    return static_cast<int32_t>(static_cast<int64_t>(value) - (int64_t{1} << n));
  }
  // Width 32: the value already is the two's complement pattern.
  return static_cast<int32_t>(value);
}

// ---------------------------------------------------------------------------------
// Messages

namespace {

void PrintToStderr(const char* text) {
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
}

std::atomic<SwfMessageHandler> g_messageHandler{&PrintToStderr};

void ShowMessage(const char* text) { g_messageHandler.load()(text); }

}  // namespace

void SetSwfMessageHandler(SwfMessageHandler handler) {
  g_messageHandler.store(handler ? handler : &PrintToStderr);
}

// ---------------------------------------------------------------------------------
// ReadSwfDimension

namespace {

constexpr int kHeaderSize = 8;
// More than the 26 bytes that decoding can reach (see the top of this file).
constexpr size_t kPrefixSize = 64;
constexpr size_t kChunkSize = 64 * 1024;
constexpr uint32_t kSetBackgroundColorHeader = 0x4302;  // code 9, length 3, as read MSB first

// The start of a body: up to kPrefixSize bytes of it. When the body is longer, the
// prefix is full and nothing beyond it is ever looked at.
struct BodyPrefix {
  uint8_t bytes[kPrefixSize];
  size_t size = 0;

  void append(const uint8_t* data, size_t count) {
    size_t n = std::min(count, kPrefixSize - size);
    std::memcpy(bytes + size, data, n);
    size += n;
  }
};

// Reads until `len` bytes arrived or the file ends; the count that arrived.
size_t ReadFully(File& file, uint8_t* buf, size_t len) {
  size_t done = 0;
  while (done < len) {
    long long n = file.read(buf + done, len - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

// The body of an uncompressed movie is the first `capacity` bytes after the header, or
// what the file holds when it is shorter.
void ReadStoredBody(File& file, int64_t capacity, BodyPrefix& prefix) {
  size_t want = static_cast<size_t>(std::min<int64_t>(capacity, kPrefixSize));
  prefix.size = ReadFully(file, prefix.bytes, want);
}

// Inflates the zlib stream that fills the rest of the file. False, as for a damaged
// stream, when the stream is broken or truncated, or when it inflates to more than
// `capacity` bytes: the body must fit into file length - 4 bytes.
bool InflateBody(File& file, int64_t capacity, BodyPrefix& prefix) {
  z_stream strm;
  std::memset(&strm, 0, sizeof strm);
  if (inflateInit(&strm) != Z_OK) return false;

  std::vector<uint8_t> in(kChunkSize);
  std::vector<uint8_t> out(kChunkSize);
  bool endOfFile = false;
  bool ok = false;
  uint64_t total = 0;  // zlib's own total_out is only 32 bits wide on Windows
  for (;;) {
    if (strm.avail_in == 0 && !endOfFile) {
      long long n = file.read(in.data(), in.size());
      if (n <= 0) {
        endOfFile = true;
      } else {
        strm.next_in = in.data();
        strm.avail_in = static_cast<uInt>(n);
      }
    }
    strm.next_out = out.data();
    strm.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&strm, Z_NO_FLUSH);
    size_t produced = out.size() - strm.avail_out;
    prefix.append(out.data(), produced);
    total += produced;
    if (total > static_cast<uint64_t>(capacity)) break;  // longer than announced
    if (rc == Z_STREAM_END) {
      ok = true;
      break;
    }
    // Every call gets fresh output space and, while the file lasts, input: no progress
    // (Z_BUF_ERROR) means the stream ended early. The rest are Z_DATA_ERROR, Z_MEM_ERROR,
    // Z_NEED_DICT, Z_STREAM_ERROR.
    if (rc != Z_OK) break;
  }
  inflateEnd(&strm);
  return ok;
}

SwfDimension ReadDimension(const std::string& path, uint32_t* colour) {
  File file;
  if (!file.open(path, File::Mode::Read)) {
    throw FileException(path, "Cannot open the movie " + path);
  }

  // A file shorter than the header: the missing header bytes count as zeros and the
  // body is empty.
  uint8_t header[kHeaderSize] = {};
  size_t headerRead = ReadFully(file, header, kHeaderSize);

  const uint32_t fileLength = LoadLE32(header + 4);
  // The body must fit into file length - 4 bytes; a length field below 4 leaves no room.
  const int64_t capacity = std::max<int64_t>(0, static_cast<int64_t>(fileLength) - 4);

  BodyPrefix prefix;
  if (headerRead == kHeaderSize) {
    if (header[0] == 'C') {
      if (!InflateBody(file, capacity, prefix)) return SwfDimension{0, 0};
    } else {
      ReadStoredBody(file, capacity, prefix);
    }
  } else if (header[0] == 'C') {
    return SwfDimension{0, 0};  // no stream at all: it does not inflate
  }
  file.close();

  const int nbits = prefix.size > 0 ? prefix.bytes[0] >> 3 : 0;
  BitReader reader(prefix.bytes, static_cast<int64_t>(prefix.size) * 8);
  reader.Rewind();
  if (reader.SeekBits(5) < 0) ShowMessage("Failed to locate");

  const int64_t xmin = ReadSignedBits(reader, nbits);
  const int64_t xmax = ReadSignedBits(reader, nbits);
  const int64_t ymin = ReadSignedBits(reader, nbits);
  const int64_t ymax = ReadSignedBits(reader, nbits);

  if (colour) {
    if (reader.BitOffset() != 0) reader.ReadBits(8 - reader.BitOffset());  // to the byte boundary
    reader.SeekBits(32);                                                   // frame rate, frame count
    if (reader.ReadBits(16) == kSetBackgroundColorHeader) {
      uint32_t red = reader.ReadBits(8);
      uint32_t green = reader.ReadBits(8);
      uint32_t blue = reader.ReadBits(8);
      *colour = red * 65536u + green * 256u + blue;
    }
  }

  // Fields are at most 31 bits wide, so the spans fit into 32 bits; C++ division
  // truncates toward zero.
  return SwfDimension{static_cast<int32_t>((xmax - xmin) / 20), static_cast<int32_t>((ymax - ymin) / 20)};
}

}  // namespace

SwfDimension ReadSwfDimension(std::string path) { return ReadDimension(path, nullptr); }

SwfDimension ReadSwfDimension(std::string path, uint32_t& colour) { return ReadDimension(path, &colour); }

}  // namespace vx
