#include "packager/core/pe_signature.h"

#include <algorithm>
#include <vector>

#include "common/byte_order.h"
#include "common/file.h"

namespace vx {

namespace {

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

bool ReadExactly(File& f, uint64_t offset, uint8_t* p, size_t n) {
  return f.seek(offset) && f.readFully(p, n) == static_cast<long long>(n);
}

bool WriteChecksum(File& f, const PeHeaders& h, uint32_t sum) {
  uint8_t bytes[4];
  StoreLE32(bytes, sum);
  return f.seek(h.checkSumOffset()) && f.write(bytes, 4);
}

}  // namespace

CertificateSpan CertificateTableSpan(const PeHeaders& h) {
  CertificateSpan span;
  uint64_t begin = h.certificateOffset, end = begin + h.certificateSize;
  if (h.certificateSize != 0 && begin >= h.endOfSections() && end <= h.fileSize) {
    span.begin = begin;
    span.end = end;
  }
  return span;
}

bool CopyPeWithoutSignature(const std::string& from, const std::string& to, std::string* error) {
  PeHeaders h;
  std::vector<PeResource> resources;
  std::string why;
  if (!ReadPeImage(from, h, resources, &why)) return Fail(error, from + ": " + why);
  if (h.sizeOfHeaders > h.fileSize || uint64_t(h.checkSumOffset()) + 4 > h.sizeOfHeaders)
    return Fail(error, from + ": truncated or damaged PE headers");
  File in, out;
  if (!in.open(from, File::Mode::Read)) return Fail(error, "cannot open " + from);
  if (!out.open(to, File::Mode::CreateReadWrite)) return Fail(error, "cannot create " + to);

  std::vector<uint8_t> head(h.sizeOfHeaders);
  if (!ReadExactly(in, 0, head.data(), head.size())) return Fail(error, "cannot read " + from);
  if (HasCertificateTable(h)) {
    StoreLE32(&head[h.dataDirectoryOffset(4)], 0);
    StoreLE32(&head[h.dataDirectoryOffset(4) + 4], 0);
  }
  StoreLE32(&head[h.checkSumOffset()], 0);

  CertificateSpan drop = CertificateTableSpan(h);
  if (drop.end == drop.begin) drop.begin = drop.end = h.fileSize;
  PeChecksumAccumulator sum(h.checkSumOffset());
  std::vector<uint8_t> buffer(1 << 16);
  auto copy = [&](uint64_t at, uint64_t end) {
    while (at < end) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(end - at, buffer.size()));
      if (!ReadExactly(in, at, buffer.data(), n) || !out.write(buffer.data(), n)) return false;
      sum.add(buffer.data(), n);
      at += n;
    }
    return true;
  };
  sum.add(head.data(), head.size());
  bool ok =
      out.write(head.data(), head.size()) && copy(head.size(), drop.begin) && copy(drop.end, h.fileSize);
  if (ok && h.checkSum != 0) ok = WriteChecksum(out, h, sum.finish());
  ok = out.close() && ok;
  if (!ok) {
    DeleteFilePath(to);
    return Fail(error, "cannot write " + to);
  }
  return true;
}

bool RefreshPeChecksum(const std::string& path, std::string* error) {
  PeHeaders h;
  std::vector<PeResource> resources;
  std::string why;
  if (!ReadPeImage(path, h, resources, &why)) return Fail(error, path + ": " + why);
  if (h.checkSum == 0) return true;
  uint32_t sum = 0;
  if (!PeChecksumOfFile(path, h.checkSumOffset(), sum, error)) return false;
  if (sum == h.checkSum) return true;
  File f;
  if (!f.open(path, File::Mode::ReadWrite)) return Fail(error, "cannot open " + path + " for writing");
  bool ok = WriteChecksum(f, h, sum);
  ok = f.close() && ok;
  return ok || Fail(error, "cannot write " + path);
}

}  // namespace vx
