// player-package-tool: makes test packages that the builder would not make, by
// replacing the archive (and optionally adding a control file) in a copy of the stub.
//
//   player-package-tool STUB OUT [--archive FILE | --no-archive] [--ocx FILE]
//
// --archive FILE  becomes "ZIP" 129 byte for byte (any bytes: damaged archives too)
// --no-archive    removes "ZIP" 129
// --ocx FILE      becomes "OCX" 1091
#include <cstdio>
#include <string>
#include <vector>

#include "common/file.h"
#include "common/package_contract.h"
#include "packager/core/resource_update.h"
#include "tests/support/whole_file.h"

namespace {

int Fail(const std::string& what) {
  std::fprintf(stderr, "player-package-tool: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3)
    return Fail("usage: player-package-tool STUB OUT [--archive FILE | --no-archive] [--ocx FILE]");
  std::string stub = argv[1], out = argv[2], archive, ocx;
  bool removeArchive = false;
  for (int i = 3; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--archive" && i + 1 < argc) archive = argv[++i];
    else if (a == "--ocx" && i + 1 < argc) ocx = argv[++i];
    else if (a == "--no-archive") removeArchive = true;
    else return Fail("unknown argument " + a);
  }
  if (!vx::CopyFilePath(stub, out)) return Fail("cannot copy " + stub + " to " + out);
  vx::ResourceUpdater updater;
  if (!updater.begin(out, false)) return Fail(updater.error());
  std::vector<uint8_t> data;
  if (!archive.empty()) {
    if (!vx::test::TryReadWholeFile(archive, data)) return Fail("cannot read " + archive);
    if (!updater.update(vx::ResourceId(vx::kArchiveResourceType), vx::ResourceId(vx::kArchiveResourceId),
                        vx::kPackageLanguage, data.data(), data.size()))
      return Fail(updater.error());
  } else if (removeArchive) {
    if (!updater.update(vx::ResourceId(vx::kArchiveResourceType), vx::ResourceId(vx::kArchiveResourceId),
                        vx::kPackageLanguage, nullptr, 0))
      return Fail(updater.error());
  }
  if (!ocx.empty()) {
    std::vector<uint8_t> control;
    if (!vx::test::TryReadWholeFile(ocx, control)) return Fail("cannot read " + ocx);
    if (!updater.update(vx::ResourceId(vx::kFlashResourceType), vx::ResourceId(vx::kFlashResourceId),
                        vx::kPackageLanguage, control.data(), control.size()))
      return Fail(updater.error());
  }
  if (!updater.end(false)) return Fail(updater.error());
  return 0;
}
