#include "testing/standin/swf_movie.h"

#include "common/file.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vx::standin {
namespace {

// Largest body that we inflate: a movie header may claim up to 4 GB.
constexpr size_t kMaxBody = 256u * 1024u * 1024u;

constexpr int kTagEnd = 0;
constexpr int kTagShowFrame = 1;
constexpr int kTagSetBackgroundColor = 9;
constexpr int kTagDoAction = 12;
constexpr uint8_t kActionGetUrl = 0x83;

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool has(size_t n) const { return n <= m_size - m_pos; }
  size_t pos() const { return m_pos; }
  size_t remaining() const { return m_size - m_pos; }
  const uint8_t* here() const { return m_data + m_pos; }
  void skip(size_t n) { m_pos += std::min(n, remaining()); }
  uint8_t u8() { return has(1) ? m_data[m_pos++] : 0; }
  uint16_t u16() {
    if (!has(2)) {
      m_pos = m_size;
      return 0;
    }
    uint16_t v = static_cast<uint16_t>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
    m_pos += 2;
    return v;
  }
  uint32_t u32() {
    uint32_t lo = u16();
    uint32_t hi = u16();
    return lo | (hi << 16);
  }
  // Unsigned value of `n` bits, most significant first, from the bit position.
  uint32_t bits(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      if (m_bitPos == 8) {
        m_bitPos = 0;
        ++m_pos;
      }
      uint8_t byte = m_pos < m_size ? m_data[m_pos] : 0;
      v = (v << 1) | ((byte >> (7 - m_bitPos)) & 1u);
      ++m_bitPos;
    }
    return v;
  }
  int32_t signedBits(int n) {
    if (n == 0) return 0;
    uint32_t v = bits(n);
    if (n < 32 && (v & (1u << (n - 1)))) v |= ~((1u << n) - 1u);  // sign-extend
    return static_cast<int32_t>(v);
  }
  // Ends a bit field: the next byte-aligned read starts after the partial byte.
  void alignBits() {
    if (m_bitPos != 0) ++m_pos;
    m_bitPos = 0;
    if (m_pos > m_size) m_pos = m_size;
  }
  void startBits() { m_bitPos = 0; }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
  int m_bitPos = 0;
};

// A zero-terminated string from [p, end); `p` moves past the terminator.
bool ReadCString(const uint8_t*& p, const uint8_t* end, std::string& out) {
  const uint8_t* z = static_cast<const uint8_t*>(std::memchr(p, 0, static_cast<size_t>(end - p)));
  if (!z) return false;
  out.assign(reinterpret_cast<const char*>(p), static_cast<size_t>(z - p));
  p = z + 1;
  return true;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  size_t n = std::strlen(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char a = s[i], b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

void ReadDoAction(const uint8_t* p, const uint8_t* end, int frame, SwfMovie& movie) {
  while (p < end) {
    uint8_t code = *p++;
    if (code == 0) return;
    if (code < 0x80) continue;  // actions below 0x80 carry no length and no data
    if (end - p < 2) return;
    size_t len = static_cast<size_t>(p[0] | (p[1] << 8));
    p += 2;
    if (static_cast<size_t>(end - p) < len) return;
    if (code == kActionGetUrl) {
      const uint8_t* q = p;
      const uint8_t* recordEnd = p + len;
      std::string url, target;
      if (ReadCString(q, recordEnd, url) && ReadCString(q, recordEnd, target) &&
          StartsWithNoCase(url, "FSCommand:")) {
        movie.fsCommands.push_back({frame, url.substr(10), target});
      }
    }
    p += len;
  }
}

// Inflates a zlib stream into at most `limit` bytes (the length the header claims,
// bounded by kMaxBody); the buffer grows as output arrives, so a false claim costs
// nothing. A stream that ends early or breaks off keeps what was inflated before.
std::vector<uint8_t> InflateBody(const uint8_t* data, size_t size, size_t limit) {
  limit = std::min(limit, kMaxBody);
  std::vector<uint8_t> out(std::min<size_t>(limit, 1u << 16));
  z_stream zs;
  std::memset(&zs, 0, sizeof zs);
  if (inflateInit(&zs) != Z_OK) return {};
  size_t fed = 0;
  size_t produced = 0;
  for (;;) {
    if (produced == out.size()) {
      if (out.size() >= limit) break;
      out.resize(std::min(limit, out.size() * 2));
    }
    if (zs.avail_in == 0 && fed < size) {
      size_t chunk = std::min<size_t>(size - fed, 1u << 30);
      zs.next_in = const_cast<Bytef*>(data + fed);
      zs.avail_in = static_cast<uInt>(chunk);
      fed += chunk;
    }
    zs.next_out = out.data() + produced;
    zs.avail_out = static_cast<uInt>(out.size() - produced);
    int rc = inflate(&zs, Z_NO_FLUSH);
    produced = static_cast<size_t>(zs.next_out - out.data());
    if (rc != Z_OK) break;
    if (zs.avail_in == 0 && fed >= size && zs.avail_out != 0) break;
  }
  inflateEnd(&zs);
  out.resize(produced);
  return out;
}

}  // namespace

SwfMovie ParseSwf(const uint8_t* data, size_t size) {
  SwfMovie movie;
  if (size < 8) return movie;
  bool fws = data[0] == 'F' && data[1] == 'W' && data[2] == 'S';
  bool cws = data[0] == 'C' && data[1] == 'W' && data[2] == 'S';
  if (!fws && !cws) return movie;
  uint32_t declared = static_cast<uint32_t>(data[4] | (data[5] << 8) | (data[6] << 16)) |
                      (static_cast<uint32_t>(data[7]) << 24);

  std::vector<uint8_t> inflated;
  const uint8_t* body = data + 8;
  size_t bodySize = size - 8;
  if (cws) {
    size_t limit = declared > 8 ? declared - 8 : 0;
    inflated = InflateBody(body, bodySize, limit);
    body = inflated.data();
    bodySize = inflated.size();
  }

  Bytes in(body, bodySize);
  in.startBits();
  int nbits = static_cast<int>(in.bits(5));
  int32_t xMin = in.signedBits(nbits), xMax = in.signedBits(nbits);
  int32_t yMin = in.signedBits(nbits), yMax = in.signedBits(nbits);
  in.alignBits();
  if (!in.has(4)) return movie;
  movie.valid = true;
  movie.compressed = cws;
  movie.version = data[3];
  movie.declaredLength = declared;
  movie.xMin = xMin;
  movie.xMax = xMax;
  movie.yMin = yMin;
  movie.yMax = yMax;
  movie.frameRate = in.u16();
  movie.frameCount = in.u16();

  int frame = 0;
  while (in.has(2)) {
    uint16_t head = in.u16();
    int code = head >> 6;
    size_t len = head & 0x3F;
    if (len == 0x3F) {
      if (!in.has(4)) break;
      len = in.u32();
    }
    if (code == kTagEnd) break;
    if (!in.has(len)) break;  // a truncated tag ends the walk
    const uint8_t* tag = in.here();
    switch (code) {
      case kTagShowFrame: ++frame; break;
      case kTagSetBackgroundColor:
        if (!movie.hasBackground && len >= 3) {
          movie.hasBackground = true;
          movie.background = (static_cast<uint32_t>(tag[0]) << 16) | (tag[1] << 8) | tag[2];
        }
        break;
      case kTagDoAction: ReadDoAction(tag, tag + len, frame, movie); break;
      default: break;
    }
    in.skip(len);
  }
  return movie;
}

SwfMovie LoadSwfFile(const std::string& path) {
  File file;
  if (!file.open(path, File::Mode::Read)) return {};
  std::vector<uint8_t> data;
  uint8_t buf[65536];
  long long n;
  while ((n = file.read(buf, sizeof buf)) > 0) {
    data.insert(data.end(), buf, buf + n);
    if (data.size() > kMaxBody) break;
  }
  return ParseSwf(data.data(), data.size());
}

}  // namespace vx::standin
