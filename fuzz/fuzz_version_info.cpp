// The version resource reader on arbitrary bytes; what it reads, written again, reads
// back the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "packager/core/version_info.h"

namespace {

bool Same(const vx::VersionResource& a, const vx::VersionResource& b) {
  if (a.hasFixedInfo != b.hasFixedInfo || a.translations != b.translations ||
      a.tables.size() != b.tables.size())
    return false;
  if (a.hasFixedInfo && (!(a.fileVersion == b.fileVersion) || !(a.productVersion == b.productVersion) ||
                         a.fileFlagsMask != b.fileFlagsMask || a.fileFlags != b.fileFlags ||
                         a.fileOS != b.fileOS || a.fileType != b.fileType || a.fileSubtype != b.fileSubtype ||
                         a.fileDateMS != b.fileDateMS || a.fileDateLS != b.fileDateLS))
    return false;
  for (size_t i = 0; i < a.tables.size(); ++i) {
    const auto& x = a.tables[i];
    const auto& y = b.tables[i];
    if (x.name != y.name || x.strings.size() != y.strings.size()) return false;
    for (size_t k = 0; k < x.strings.size(); ++k)
      if (x.strings[k].key != y.strings[k].key || x.strings[k].value != y.strings[k].value) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vx::VersionResource v;
  std::string why;
  if (!vx::ParseVersionResource(data, size, v, why)) {
    if (why.empty()) abort();
    return 0;
  }
  std::vector<uint8_t> bytes;
  if (!vx::SerializeVersionResource(v, bytes)) return 0;  // grew past 64 KiB
  vx::VersionResource again;
  if (!vx::ParseVersionResource(bytes.data(), bytes.size(), again, why) || !Same(v, again)) abort();
  return 0;
}
