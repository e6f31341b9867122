// The archive a package carries: its resource ("ZIP" 129), read in place from its
// window of the package file, never loaded whole.
#pragma once
#include <string>
#include <vector>

#include "common/pe_resources.h"
#include "zipreader/zip_reader.h"

namespace vx::cli {

enum class PackageArchive {
  Opened,
  Missing,     // the package has no archive resource
  CannotOpen,  // the file could not be opened, or the resource starts past its end
  Truncated,   // opened, but the file ends before the resource does
};

// Opens the archive resource among the package's resources as `source`.
PackageArchive OpenPackageArchive(const std::string& path, const std::vector<PeResource>& resources,
                                  ZipDiskFile& source);

}  // namespace vx::cli
