// The PE resource reader on arbitrary bytes, and, when they parse, one round of the
// resource update on a scratch copy, whose result must parse again with the new bytes
// in place and every other resource unchanged.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "common/pe_resources.h"
#include "packager/core/resource_update.h"

namespace {

using Key = std::tuple<std::string, std::string, uint16_t, std::vector<uint8_t>>;

std::string Upper(const vx::ResourceId& id) {
  std::string s = id.isName() ? "N:" + id.name() : "I:" + std::to_string(id.id());
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool Updated(const vx::PeResource& r) {
  return (r.type == vx::ResourceId("ZIP") && r.name == vx::ResourceId(129) && r.language == 1033) ||
         (r.type == vx::ResourceId(6) && r.name == vx::ResourceId(1) && r.language == 1033);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<vx::PeResource> before;
  std::string error;
  if (!vx::ParsePeResources(data, size, before, &error)) {
    if (!before.empty() || error.empty()) abort();
    return 0;
  }
  for (const vx::PeResource& r : before)
    if (r.fileOffset + r.size > size) abort();

  static const std::string path = "/tmp/vx_fuzz_pe_" + std::to_string(getpid()) + ".exe";
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);

  static const uint8_t zip[] = {'P', 'K', 5, 6, 1, 2, 3};
  static const uint8_t title[] = {0, 0, 2, 0, 'h', 0, 'i', 0};
  vx::ResourceUpdater u;
  bool ok = u.begin(path, false) && u.update("ZIP", 129, 1033, zip, sizeof zip) &&
            u.update(vx::ResourceId(6), 1, 1033, title, sizeof title) && u.end(false);
  if (ok) {
    std::vector<vx::PeResource> after;
    if (!vx::ReadPeResources(path, after, &error)) abort();
    std::vector<Key> kept, now;
    for (const vx::PeResource& r : before)
      if (!Updated(r))
        kept.emplace_back(Upper(r.type), Upper(r.name), r.language,
                          std::vector<uint8_t>(data + r.fileOffset, data + r.fileOffset + r.size));
    bool sawZip = false, sawTitle = false;
    for (const vx::PeResource& r : after) {
      std::vector<uint8_t> bytes;
      if (!vx::ReadPeResourceData(path, r, bytes, &error)) abort();
      if (Updated(r)) {
        bool isZip = r.type == vx::ResourceId("ZIP");
        if (bytes != (isZip ? std::vector<uint8_t>(zip, zip + sizeof zip)
                            : std::vector<uint8_t>(title, title + sizeof title)))
          abort();
        (isZip ? sawZip : sawTitle) = true;
        continue;
      }
      now.emplace_back(Upper(r.type), Upper(r.name), r.language, bytes);
    }
    std::sort(kept.begin(), kept.end());
    std::sort(now.begin(), now.end());
    if (!sawZip || !sawTitle || kept != now) abort();
  } else if (u.error().empty()) {
    abort();
  }
  unlink(path.c_str());
  return 0;
}
