#include "cli/package_archive.h"

#include "common/package_contract.h"

namespace vx::cli {

PackageArchive OpenPackageArchive(const std::string& path, const std::vector<PeResource>& resources,
                                  ZipDiskFile& source) {
  const PeResource* zip =
      FindPeResource(resources, ResourceId(kArchiveResourceType), ResourceId(kArchiveResourceId));
  if (!zip) return PackageArchive::Missing;
  if (!source.open(path, zip->fileOffset, zip->size)) return PackageArchive::CannotOpen;
  return source.length() == zip->size ? PackageArchive::Opened : PackageArchive::Truncated;
}

}  // namespace vx::cli
