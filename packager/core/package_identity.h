// The resources that make a package look like its own product rather than like the
// player it is a copy of: its icon (group 128 and the images it names) and its version
// resource. Each function works out the resource changes from what the stub already
// carries; the builder applies them through the ResourceUpdater.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/pe_resources.h"
#include "packager/core/icon_file.h"

namespace vx {

// One change of a resource update: set (type, name, language) to `data`, or delete it.
struct ResourceChange {
  ResourceId type = ResourceId(uint16_t(0));
  ResourceId name = ResourceId(uint16_t(0));
  uint16_t language = 0;
  bool remove = false;
  std::vector<uint8_t> data;
};

// Reads the bytes of one of the stub's resources.
using ResourceReader = std::function<bool(const PeResource& resource, std::vector<uint8_t>& bytes)>;

// Replaces icon group `groupId` with `images` under `language`:
//   - every language of the old group goes, and so do the images it named, except
//     those another icon group still names;
//   - the new images take the freed ids first (lowest first), then the lowest ids that
//     no icon image of the stub has;
//   - an icon image that no group names is not ours to touch: it stays, and its id is
//     not reused.
// An old group that cannot be read is replaced all the same (its images then stay).
// False with a reason only when the stub has no free icon ids left.
bool PlanIconReplacement(const std::vector<PeResource>& existing, const ResourceReader& read,
                         const std::vector<IconImage>& images, uint16_t groupId, uint16_t language,
                         std::vector<ResourceChange>& changes, std::string& why);

// Sets (type, name) to `data` under `language` and deletes it in every other language,
// so that no lookup under another user language finds the stub's old one.
std::vector<ResourceChange> PlanSoleResource(const std::vector<PeResource>& existing, const ResourceId& type,
                                             const ResourceId& name, uint16_t language,
                                             std::vector<uint8_t> data);

}  // namespace vx
