#include "test_archive.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

#include "common/crc32.h"
#include "common/empty_folder.h"
#include "common/encryption_keys.h"
#include "common/file.h"
#include "common/byte_order.h"
#include "common/zip_format.h"

namespace vxtest {

using vx::AppendLE16;
using vx::AppendLE32;
namespace zip = vx::zip;

namespace {
void AppendBytes(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
}  // namespace

Bytes Deflate(const Bytes& data, int level) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes PatternBytes(size_t size, uint32_t seed) {
  Bytes b(size);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& c : b) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<uint8_t>(x);
  }
  return b;
}

Bytes TextLikeBytes(size_t size, uint32_t seed) {
  static const char* words[] = {"movie ", "frame ",  "<item id=\"", "\"/>\n", "stage ",
                                "sound ", "vellum ", "player ",     "1024 ",  "loop "};
  Bytes b;
  b.reserve(size);
  uint32_t x = seed + 7;
  while (b.size() < size) {
    x = x * 1103515245u + 12345u;
    const char* w = words[(x >> 16) % 10];
    for (const char* p = w; *p && b.size() < size; ++p) b.push_back(static_cast<uint8_t>(*p));
  }
  return b;
}

TestArchive BuildArchive(const std::vector<TestEntry>& entries, const Bytes& comment) {
  TestArchive a;
  Bytes& out = a.bytes;
  struct Final {
    uint32_t crc, csize, usize;
    uint16_t flags;
  };
  std::vector<Final> finals;
  for (const TestEntry& e : entries) {
    EntryLayout lay;
    Bytes body = !e.rawCompressed.empty()           ? e.rawCompressed
                 : e.method == zip::kMethodDeflated ? Deflate(e.data)
                                                    : e.data;
    uint32_t crc = vx::Crc32(0, e.data.data(), e.data.size());
    uint16_t flags = static_cast<uint16_t>((e.password.empty() ? 0 : zip::kFlagEncrypted) |
                                           (e.dataDescriptor ? zip::kFlagDataDescriptor : 0) | e.moreFlags);
    if (!e.password.empty()) {
      vx::EncryptionKeys keys;
      keys.init(e.password.data(), e.password.size());
      Bytes header = PatternBytes(zip::kEncryptionHeaderSize, crc ^ 0x5A5A);
      header[zip::kEncryptionHeaderSize - 1] =
          e.dataDescriptor ? static_cast<uint8_t>(e.dosTime >> 8) : static_cast<uint8_t>(crc >> 24);
      keys.encrypt(header.data(), header.size());
      keys.encrypt(body.data(), body.size());
      header.insert(header.end(), body.begin(), body.end());
      body.swap(header);
    }
    Final f{crc, static_cast<uint32_t>(body.size()), static_cast<uint32_t>(e.data.size()), flags};
    bool zeroLocal = e.dataDescriptor && e.zeroLocalSizes;

    lay.localHeader = out.size();
    AppendLE32(out, zip::kLocalHeaderSignature);
    AppendLE16(out, zip::kVersionNeeded);
    AppendLE16(out, flags);
    AppendLE16(out, e.method);
    AppendLE16(out, e.dosTime);
    AppendLE16(out, e.dosDate);
    AppendLE32(out, zeroLocal ? 0 : f.crc);
    AppendLE32(out, zeroLocal ? 0 : f.csize);
    AppendLE32(out, zeroLocal ? 0 : f.usize);
    AppendLE16(out, static_cast<uint16_t>(e.name.size()));
    AppendLE16(out, static_cast<uint16_t>(e.localExtra.size()));
    AppendBytes(out, TextBytes(e.name));
    AppendBytes(out, e.localExtra);
    lay.data = out.size();
    AppendBytes(out, body);
    lay.dataEnd = out.size();
    if (e.dataDescriptor) {
      lay.descriptor = out.size();
      if (e.descriptorSignature) AppendLE32(out, zip::kDataDescriptorSignature);
      AppendLE32(out, f.crc);
      AppendLE32(out, f.csize);
      AppendLE32(out, f.usize);
    }
    a.entries.push_back(lay);
    finals.push_back(f);
  }
  a.centralDirectory = out.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    const TestEntry& e = entries[i];
    const Final& f = finals[i];
    a.entries[i].central = out.size();
    AppendLE32(out, zip::kCentralHeaderSignature);
    AppendLE16(out, e.versionMadeBy);
    AppendLE16(out, zip::kVersionNeeded);
    AppendLE16(out, f.flags);
    AppendLE16(out, e.method);
    AppendLE16(out, e.dosTime);
    AppendLE16(out, e.dosDate);
    AppendLE32(out, f.crc);
    AppendLE32(out, f.csize);
    AppendLE32(out, f.usize);
    AppendLE16(out, static_cast<uint16_t>(e.name.size()));
    AppendLE16(out, static_cast<uint16_t>(e.centralExtra.size()));
    AppendLE16(out, 0);  // comment length
    AppendLE16(out, 0);  // disk number start
    AppendLE16(out, 0);  // internal attributes
    AppendLE32(out, e.externalAttributes);
    AppendLE32(out, static_cast<uint32_t>(a.entries[i].localHeader));
    AppendBytes(out, TextBytes(e.name));
    AppendBytes(out, e.centralExtra);
  }
  a.endRecord = out.size();
  AppendLE32(out, zip::kEndRecordSignature);
  AppendLE16(out, 0);  // this disk
  AppendLE16(out, 0);  // the directory's disk
  AppendLE16(out, static_cast<uint16_t>(entries.size()));
  AppendLE16(out, static_cast<uint16_t>(entries.size()));
  AppendLE32(out, static_cast<uint32_t>(a.endRecord - a.centralDirectory));
  AppendLE32(out, static_cast<uint32_t>(a.centralDirectory));
  AppendLE16(out, static_cast<uint16_t>(comment.size()));
  AppendBytes(out, comment);
  return a;
}

}  // namespace vxtest
