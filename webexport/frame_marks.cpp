#include "webexport/frame_marks.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/byte_order.h"
#include "common/file.h"

namespace vx::web {

namespace {

constexpr size_t kChunk = 65536;
constexpr uint16_t kTagEnd = 0;
constexpr uint16_t kTagShowFrame = 1;
constexpr uint16_t kTagDoAction = 12;
constexpr uint16_t kTagFileAttributes = 69;
constexpr uint8_t kActionScript3Bit = 0x08;
constexpr uint8_t kActionGetUrl = 0x83;
constexpr uint8_t kActionEnd = 0x00;
constexpr uint16_t kLongTagLength = 0x3F;

// ---- where the stored movie comes from and where its copy goes ----------------------

class ByteInput {
 public:
  virtual ~ByteInput() = default;
  // Up to n bytes; 0 at the end, -1 on a read error.
  virtual long long read(void* buf, size_t n) = 0;
};

class FileInput : public ByteInput {
 public:
  explicit FileInput(File& file) : m_file(file) {}
  long long read(void* buf, size_t n) override { return m_file.read(buf, n); }

 private:
  File& m_file;
};

class MemoryInput : public ByteInput {
 public:
  MemoryInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  long long read(void* buf, size_t n) override {
    n = std::min(n, m_size - m_pos);
    if (n) std::memcpy(buf, m_data + m_pos, n);
    m_pos += n;
    return static_cast<long long>(n);
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
};

class ByteOutput {
 public:
  virtual ~ByteOutput() = default;
  virtual bool write(const void* buf, size_t n) = 0;
  // Overwrites bytes already written (the header's length).
  virtual bool patch(uint64_t position, const void* buf, size_t n) = 0;
};

class FileOutput : public ByteOutput {
 public:
  explicit FileOutput(File& file) : m_file(file) { m_buffer.reserve(kChunk); }
  bool write(const void* buf, size_t n) override {
    const auto* p = static_cast<const uint8_t*>(buf);
    if (m_buffer.size() + n > kChunk && !flush()) return false;
    if (n >= kChunk) return m_file.write(p, n);
    m_buffer.insert(m_buffer.end(), p, p + n);
    return true;
  }
  bool patch(uint64_t position, const void* buf, size_t n) override {
    return flush() && m_file.seek(position) && m_file.write(buf, n);
  }
  bool flush() {
    bool ok = m_buffer.empty() || m_file.write(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return ok;
  }

 private:
  File& m_file;
  std::vector<uint8_t> m_buffer;
};

class VectorOutput : public ByteOutput {
 public:
  explicit VectorOutput(std::vector<uint8_t>& out) : m_out(out) {}
  bool write(const void* buf, size_t n) override {
    const auto* p = static_cast<const uint8_t*>(buf);
    m_out.insert(m_out.end(), p, p + n);
    return true;
  }
  bool patch(uint64_t position, const void* buf, size_t n) override {
    if (position + n > m_out.size()) return false;
    std::memcpy(m_out.data() + position, buf, n);
    return true;
  }

 private:
  std::vector<uint8_t>& m_out;
};

// ---- the body: as it is stored, or through zlib ---------------------------------------

class BodyReader {
 public:
  BodyReader(ByteInput& in, bool compressed) : m_in(in), m_compressed(compressed), m_data(kChunk) {
    if (m_compressed) {
      m_raw.resize(kChunk);
      m_inflating = inflateInit(&m_z) == Z_OK;
      if (!m_inflating) m_damaged = true;
    }
  }
  ~BodyReader() {
    if (m_inflating) inflateEnd(&m_z);
  }
  BodyReader(const BodyReader&) = delete;
  BodyReader& operator=(const BodyReader&) = delete;

  // Up to n bytes of the body: fewer only at its end (or where it is damaged).
  size_t read(uint8_t* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
      if (m_pos == m_len && !fill()) break;
      size_t take = std::min(n - got, m_len - m_pos);
      std::memcpy(buf + got, m_data.data() + m_pos, take);
      m_pos += take;
      got += take;
    }
    return got;
  }
  bool damaged() const { return m_damaged; }

 private:
  bool fill() {
    m_pos = m_len = 0;
    if (m_ended || m_damaged) return false;
    if (!m_compressed) {
      long long n = m_in.read(m_data.data(), m_data.size());
      if (n < 0) m_damaged = true;
      if (n <= 0) {
        m_ended = true;
        return false;
      }
      m_len = static_cast<size_t>(n);
      return true;
    }
    m_z.next_out = m_data.data();
    m_z.avail_out = static_cast<uInt>(m_data.size());
    while (m_z.avail_out == m_data.size()) {
      if (m_z.avail_in == 0) {
        long long n = m_in.read(m_raw.data(), m_raw.size());
        if (n <= 0) {  // the stream stops before its end
          m_damaged = true;
          return false;
        }
        m_z.next_in = m_raw.data();
        m_z.avail_in = static_cast<uInt>(n);
      }
      int rc = inflate(&m_z, Z_NO_FLUSH);
      if (rc == Z_STREAM_END) {
        m_ended = true;
        break;
      }
      if (rc != Z_OK && rc != Z_BUF_ERROR) {
        m_damaged = true;
        return false;
      }
    }
    m_len = m_data.size() - m_z.avail_out;
    return m_len > 0;
  }

  ByteInput& m_in;
  bool m_compressed;
  z_stream m_z{};
  bool m_inflating = false;
  std::vector<uint8_t> m_raw;
  std::vector<uint8_t> m_data;
  size_t m_pos = 0;
  size_t m_len = 0;
  bool m_ended = false;
  bool m_damaged = false;
};

class BodyWriter {
 public:
  BodyWriter(ByteOutput& out, bool compress) : m_out(out), m_compress(compress) {
    if (m_compress) {
      m_buffer.resize(kChunk);
      m_deflating = deflateInit(&m_z, Z_DEFAULT_COMPRESSION) == Z_OK;
      m_failed = !m_deflating;
    }
  }
  ~BodyWriter() {
    if (m_deflating) deflateEnd(&m_z);
  }
  BodyWriter(const BodyWriter&) = delete;
  BodyWriter& operator=(const BodyWriter&) = delete;

  bool write(const void* buf, size_t n) {
    if (m_failed) return false;
    m_length += n;
    if (!m_compress) {
      m_failed = !m_out.write(buf, n);
      return !m_failed;
    }
    m_z.next_in = static_cast<Bytef*>(const_cast<void*>(buf));
    m_z.avail_in = static_cast<uInt>(n);
    return drain(Z_NO_FLUSH);
  }
  bool finish() {
    if (m_failed) return false;
    return !m_compress || drain(Z_FINISH);
  }
  uint64_t length() const { return m_length; }

 private:
  // Runs the compressor until it has taken all its input (and, finishing, written
  // the end of the stream), writing out what it produces.
  bool drain(int flush) {
    for (;;) {
      m_z.next_out = m_buffer.data();
      m_z.avail_out = static_cast<uInt>(m_buffer.size());
      int rc = deflate(&m_z, flush);
      size_t produced = m_buffer.size() - m_z.avail_out;
      if (rc == Z_STREAM_ERROR || (produced && !m_out.write(m_buffer.data(), produced))) {
        m_failed = true;
        return false;
      }
      if (flush == Z_FINISH ? rc == Z_STREAM_END : m_z.avail_out != 0) return true;
    }
  }

  ByteOutput& m_out;
  bool m_compress;
  z_stream m_z{};
  bool m_deflating = false;
  bool m_failed = false;
  std::vector<uint8_t> m_buffer;
  uint64_t m_length = 0;
};

// Copies n bytes of the body; false when it ends first (or the copy cannot be
// written: `writeFailed` then says so).
bool CopyBody(BodyReader& in, BodyWriter& out, uint64_t n, bool& writeFailed, uint8_t* firstByte = nullptr) {
  uint8_t buf[kChunk];
  bool first = true;
  while (n > 0) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(n, sizeof buf));
    size_t got = in.read(buf, want);
    if (got && first && firstByte) *firstByte = buf[0];
    first = false;
    if (got && !out.write(buf, got)) {
      writeFailed = true;
      return false;
    }
    if (got < want) return false;
    n -= got;
  }
  return true;
}

MarkResult Mark(ByteInput& input, ByteOutput& output, unsigned mark, MovieFacts& facts,
                std::string& problem) {
  facts = MovieFacts();
  uint8_t header[8];
  size_t got = 0;
  while (got < sizeof header) {
    long long n = input.read(header + got, sizeof header - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  if (got < sizeof header || (header[0] != 'F' && header[0] != 'C') || header[1] != 'W' || header[2] != 'S') {
    problem = "not an uncompressed (FWS) or zlib-compressed (CWS) movie";
    return MarkResult::NotMarkable;
  }
  facts.compressed = header[0] == 'C';
  facts.version = header[3];
  const auto writeFailed = [&problem]() {
    problem = "the copy could not be written";
    return MarkResult::WriteFailed;
  };
  uint8_t placeholder[8];
  std::memcpy(placeholder, header, 4);
  StoreLE32(placeholder + 4, 0);
  if (!output.write(placeholder, sizeof placeholder)) return writeFailed();

  BodyReader body(input, facts.compressed);
  BodyWriter copy(output, facts.compressed);
  const auto damaged = [&problem, &body](const char* where) {
    problem =
        body.damaged() ? "the compressed body is damaged" : std::string("the movie ends inside ") + where;
    return MarkResult::NotMarkable;
  };

  // The frame-size rectangle (its width is in its first five bits), frame rate, count.
  uint8_t start[17 + 4];
  if (body.read(start, 1) != 1) return damaged("its frame size");
  const unsigned nbits = start[0] >> 3;
  const size_t rectBytes = (5 + 4 * nbits + 7) / 8;
  if (body.read(start + 1, rectBytes - 1 + 4) != rectBytes - 1 + 4) return damaged("its frame size");
  facts.frameRate = LoadLE16(start + rectBytes);
  facts.frameCount = LoadLE16(start + rectBytes + 2);
  facts.headerRead = true;
  if (!copy.write(start, rectBytes + 4)) return writeFailed();

  unsigned frame = 1;
  bool frameMarked = false;
  bool firstTag = true;
  bool failedWrite = false;
  for (;;) {
    uint8_t tagHeader[6];
    size_t n = body.read(tagHeader, 2);
    if (n == 0 && !body.damaged()) break;  // no End tag: the movie stops here all the same
    if (n < 2) return damaged("a tag's header");
    const uint16_t codeAndLength = LoadLE16(tagHeader);
    const uint16_t code = codeAndLength >> 6;
    uint32_t length = codeAndLength & kLongTagLength;
    size_t headerBytes = 2;
    if (length == kLongTagLength) {
      if (body.read(tagHeader + 2, 4) != 4) return damaged("a tag's header");
      length = LoadLE32(tagHeader + 2);
      headerBytes = 6;
    }
    if (!frameMarked && (code == kTagDoAction || code == kTagShowFrame)) {
      const std::vector<uint8_t> markTag = FrameMarkTag(mark, frame);
      if (!copy.write(markTag.data(), markTag.size())) return writeFailed();
      frameMarked = true;
    }
    if (!copy.write(tagHeader, headerBytes)) return writeFailed();
    uint8_t firstByte = 0;
    if (!CopyBody(body, copy, length, failedWrite, &firstByte))
      return failedWrite ? writeFailed() : damaged("a tag");
    if (firstTag && code == kTagFileAttributes && length >= 1 && (firstByte & kActionScript3Bit)) {
      facts.actionScript3 = true;
      return MarkResult::ActionScript3;
    }
    firstTag = false;
    if (code == kTagShowFrame) {
      ++frame;
      frameMarked = false;
    } else if (code == kTagEnd) {
      // Whatever follows the End tag is kept as it is (the players do not read it).
      CopyBody(body, copy, UINT64_MAX, failedWrite);
      if (failedWrite) return writeFailed();
      break;
    }
  }
  if (!copy.finish()) return writeFailed();
  const uint64_t total = 8 + copy.length();
  if (total > UINT32_MAX) {
    problem = "the marked copy would be longer than a movie's length field holds";
    return MarkResult::NotMarkable;
  }
  uint8_t length[4];
  StoreLE32(length, static_cast<uint32_t>(total));
  if (!output.patch(4, length, sizeof length)) return writeFailed();
  return MarkResult::Marked;
}

}  // namespace

std::vector<uint8_t> FrameMarkTag(unsigned mark, unsigned frame) {
  const std::string url = std::string("FSCommand:") + kFrameCommand;
  const std::string args = std::to_string(mark) + " " + std::to_string(frame);
  std::vector<uint8_t> action;
  action.push_back(kActionGetUrl);
  AppendLE16(action, static_cast<uint16_t>(url.size() + 1 + args.size() + 1));
  action.insert(action.end(), url.begin(), url.end());
  action.push_back(0);
  action.insert(action.end(), args.begin(), args.end());
  action.push_back(0);
  action.push_back(kActionEnd);

  std::vector<uint8_t> tag;
  if (action.size() < kLongTagLength) {
    AppendLE16(tag, static_cast<uint16_t>((kTagDoAction << 6) | action.size()));
  } else {
    AppendLE16(tag, static_cast<uint16_t>((kTagDoAction << 6) | kLongTagLength));
    AppendLE32(tag, static_cast<uint32_t>(action.size()));
  }
  tag.insert(tag.end(), action.begin(), action.end());
  return tag;
}

MarkResult AddFrameMarks(const std::string& from, const std::string& to, unsigned mark, MovieFacts& facts,
                         std::string& problem) {
  facts = MovieFacts();
  File in;
  if (!in.open(from, File::Mode::Read)) {
    problem = "the movie cannot be opened";
    return MarkResult::NotMarkable;
  }
  File out;
  if (!out.open(to, File::Mode::CreateWrite)) {
    problem = "the copy cannot be created";
    return MarkResult::WriteFailed;
  }
  FileInput input(in);
  FileOutput output(out);
  MarkResult result = Mark(input, output, mark, facts, problem);
  if (result == MarkResult::Marked && !(output.flush() && out.close())) {
    problem = "the copy could not be written";
    result = MarkResult::WriteFailed;
  }
  if (result != MarkResult::Marked) {
    out.close();
    DeleteFilePath(to);
  }
  return result;
}

MarkResult AddFrameMarks(const uint8_t* movie, size_t size, unsigned mark, std::vector<uint8_t>& out,
                         MovieFacts& facts, std::string& problem) {
  out.clear();
  MemoryInput input(movie, size);
  VectorOutput output(out);
  MarkResult result = Mark(input, output, mark, facts, problem);
  if (result != MarkResult::Marked) out.clear();
  return result;
}

}  // namespace vx::web
