#include "packager/core/package_identity.h"

#include <algorithm>
#include <set>

namespace vx {

namespace {

ResourceChange Removal(const PeResource& r) {
  ResourceChange c;
  c.type = r.type;
  c.name = r.name;
  c.language = r.language;
  c.remove = true;
  return c;
}

ResourceChange Setting(const ResourceId& type, const ResourceId& name, uint16_t language,
                       std::vector<uint8_t> data) {
  ResourceChange c;
  c.type = type;
  c.name = name;
  c.language = language;
  c.data = std::move(data);
  return c;
}

}  // namespace

bool PlanIconReplacement(const std::vector<PeResource>& existing, const ResourceReader& read,
                         const std::vector<IconImage>& images, uint16_t groupId, uint16_t language,
                         std::vector<ResourceChange>& changes, std::string& why) {
  const ResourceId iconType(kResourceTypeIcon), groupType(kResourceTypeGroupIcon), group(groupId);
  std::set<uint16_t> oldIds, otherIds, iconIds;
  changes.clear();
  for (const PeResource& r : existing) {
    if (r.type == iconType && !r.name.isName()) iconIds.insert(r.name.id());
    if (r.type != groupType) continue;
    bool ours = r.name == group;
    std::vector<uint8_t> bytes;
    std::vector<IconGroupEntry> entries;
    std::string why;
    if (read(r, bytes) && ParseIconGroup(bytes.data(), bytes.size(), entries, why))
      for (const IconGroupEntry& e : entries) (ours ? oldIds : otherIds).insert(e.id);
    if (ours && r.language != language) changes.push_back(Removal(r));
  }

  // Ids the old group alone used, lowest first, then the first ids nobody has.
  std::vector<uint16_t> freed;
  for (uint16_t id : oldIds)
    if (!otherIds.count(id) && iconIds.count(id)) freed.push_back(id);
  std::vector<uint16_t> ids;
  std::set<uint16_t> taken(iconIds.begin(), iconIds.end());
  uint32_t next = 1;
  for (size_t i = 0; i < images.size(); ++i) {
    if (i < freed.size()) {
      ids.push_back(freed[i]);
      continue;
    }
    while (next <= 0xFFFF && taken.count(static_cast<uint16_t>(next))) ++next;
    if (next > 0xFFFF) {
      why = "the stub has no free icon ids left";
      return false;
    }
    ids.push_back(static_cast<uint16_t>(next));
    taken.insert(static_cast<uint16_t>(next));
  }

  // The freed images go in every language, except where a new image takes the place.
  std::set<uint16_t> reused(ids.begin(), ids.end());
  for (const PeResource& r : existing) {
    if (r.type != iconType || r.name.isName()) continue;
    uint16_t id = r.name.id();
    bool wasFreed = std::find(freed.begin(), freed.end(), id) != freed.end();
    if (wasFreed && !(reused.count(id) && r.language == language)) changes.push_back(Removal(r));
  }
  for (size_t i = 0; i < images.size(); ++i)
    changes.push_back(Setting(iconType, ResourceId(ids[i]), language, images[i].data));
  changes.push_back(Setting(groupType, group, language, IconGroupResource(images, ids)));
  return true;
}

std::vector<ResourceChange> PlanSoleResource(const std::vector<PeResource>& existing, const ResourceId& type,
                                             const ResourceId& name, uint16_t language,
                                             std::vector<uint8_t> data) {
  std::vector<ResourceChange> changes;
  for (const PeResource& r : existing)
    if (r.type == type && r.name == name && r.language != language) changes.push_back(Removal(r));
  changes.push_back(Setting(type, name, language, std::move(data)));
  return changes;
}

}  // namespace vx
