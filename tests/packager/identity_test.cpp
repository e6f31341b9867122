// The icon and version resources of a package: which resources an icon replacement
// touches, and the version resource reader and writer against the resource compiler's
// output (windres made the test stub's version block).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/pe_resources.h"
#include "packager/core/package_identity.h"
#include "packager/core/version_info.h"
#include "tests/support/build_tree.h"

namespace vx::test {
namespace {

const std::string kStub = BuildTreePath(VX_TEST_STUB);

struct Group {
  uint16_t name, language;
  std::vector<uint16_t> ids;  // empty: a group that cannot be read
};
struct Image {
  uint16_t id, language;
};

std::string Text(const ResourceId& type, const ResourceId& name, uint16_t language) {
  return type.toString() + "/" + name.toString() + "/" + std::to_string(language);
}

// The changes as text: "-3/5/1031" removes, "+3/1/1033" sets, "+14/128/1033:1,3" sets a
// group naming images 1 and 3.
std::vector<std::string> Plan(const std::vector<Group>& groups, const std::vector<Image>& icons,
                              size_t newImages) {
  std::vector<PeResource> existing;
  std::map<std::string, std::vector<uint8_t>> bytes;
  IconImage image;
  image.width = image.height = 16;
  image.bitCount = 32;
  image.data.assign(100, 1);
  for (const Group& g : groups) {
    PeResource r;
    r.type = ResourceId(kResourceTypeGroupIcon);
    r.name = ResourceId(g.name);
    r.language = g.language;
    existing.push_back(r);
    bytes[Text(r.type, r.name, r.language)] =
        g.ids.empty() ? std::vector<uint8_t>{1, 2, 3}
                      : IconGroupResource(std::vector<IconImage>(g.ids.size(), image), g.ids);
  }
  for (const Image& i : icons) {
    PeResource r;
    r.type = ResourceId(kResourceTypeIcon);
    r.name = ResourceId(i.id);
    r.language = i.language;
    existing.push_back(r);
  }
  auto read = [&](const PeResource& r, std::vector<uint8_t>& out) {
    out = bytes[Text(r.type, r.name, r.language)];
    return true;
  };
  std::vector<ResourceChange> changes;
  std::string why;
  EXPECT_TRUE(
      PlanIconReplacement(existing, read, std::vector<IconImage>(newImages, image), 128, 1033, changes, why))
      << why;
  std::vector<std::string> out;
  for (const ResourceChange& c : changes) {
    std::string line = (c.remove ? "-" : "+") + Text(c.type, c.name, c.language);
    std::vector<IconGroupEntry> entries;
    if (!c.remove && c.type == ResourceId(kResourceTypeGroupIcon)) {
      EXPECT_TRUE(ParseIconGroup(c.data.data(), c.data.size(), entries, why)) << why;
      for (size_t i = 0; i < entries.size(); ++i) line += (i ? "," : ":") + std::to_string(entries[i].id);
    }
    out.push_back(line);
  }
  return out;
}

TEST(IconReplacement, OldImagesGoUnlessAnotherGroupOrNoGroupHasThem) {
  struct Case {
    const char* what;
    std::vector<Group> groups;
    std::vector<Image> icons;
    size_t images;
    std::vector<std::string> changes;
  };
  const Case cases[] = {
      {"the stub's one image, three new",
       {{128, 1033, {1}}},
       {{1, 1033}},
       3,
       {"+3/1/1033", "+3/2/1033", "+3/3/1033", "+14/128/1033:1,2,3"}},
      {"three old images, one new",
       {{128, 1033, {1, 2, 3}}},
       {{1, 1033}, {2, 1033}, {3, 1033}},
       1,
       {"-3/2/1033", "-3/3/1033", "+3/1/1033", "+14/128/1033:1"}},
      {"an image another group names stays, its id is not reused",
       {{128, 1033, {1, 2}}, {200, 1033, {2}}},
       {{1, 1033}, {2, 1033}},
       2,
       {"+3/1/1033", "+3/3/1033", "+14/128/1033:1,3"}},
      {"an image no group names stays, its id is not reused",
       {{128, 1033, {2}}},
       {{1, 1033}, {2, 1033}},
       2,
       {"+3/2/1033", "+3/3/1033", "+14/128/1033:2,3"}},
      {"the group in another language goes with its images",
       {{128, 1031, {5}}, {128, 1033, {1}}},
       {{1, 1033}, {5, 1031}},
       1,
       {"-14/128/1031", "-3/5/1031", "+3/1/1033", "+14/128/1033:1"}},
      {"an old image in a second language goes too",
       {{128, 1033, {1, 2}}},
       {{1, 1033}, {2, 1031}, {2, 1033}},
       1,
       {"-3/2/1031", "-3/2/1033", "+3/1/1033", "+14/128/1033:1"}},
      {"no group yet", {}, {{1, 1033}}, 1, {"+3/2/1033", "+14/128/1033:2"}},
      {"an old group that cannot be read keeps its images",
       {{128, 1033, {}}},
       {{1, 1033}},
       1,
       {"+3/2/1033", "+14/128/1033:2"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Plan(c.groups, c.icons, c.images), c.changes) << c.what;
}

TEST(VersionResource, ReadsWhatTheResourceCompilerWroteAndWritesItAlike) {
  std::vector<PeResource> all;
  std::string error;
  ASSERT_TRUE(ReadPeResources(kStub, all, &error)) << error;
  const PeResource* r = FindPeResource(all, ResourceId(kResourceTypeVersion), ResourceId(1));
  ASSERT_NE(r, nullptr);
  std::vector<uint8_t> compiled;
  ASSERT_TRUE(ReadPeResourceData(kStub, *r, compiled, &error)) << error;

  VersionResource v;
  ASSERT_TRUE(ParseVersionResource(compiled.data(), compiled.size(), v, error)) << error;
  ASSERT_TRUE(v.hasFixedInfo);
  VersionNumber expected;
  ASSERT_TRUE(ParseVersionNumber("1.2.3.4", expected));
  EXPECT_EQ(v.fileVersion, expected);
  EXPECT_EQ(v.productVersion, expected);
  EXPECT_EQ(v.fileOS, 0x00040004u);
  EXPECT_EQ(v.fileType, 1u);
  ASSERT_EQ(v.tables.size(), 1u);
  EXPECT_EQ(v.tables[0].name, u"040904b0");
  ASSERT_NE(v.find(u"FileDescription"), nullptr);
  EXPECT_EQ(*v.find(u"FileDescription"), u"Test stub");
  EXPECT_EQ(*v.find(u"FileVersion"), u"1.2.3.4");
  EXPECT_EQ(v.translations, std::vector<uint32_t>{0x04B00409});

  // What we write from it is what the resource compiler wrote.
  std::vector<uint8_t> ours;
  ASSERT_TRUE(SerializeVersionResource(v, ours));
  EXPECT_EQ(ours, compiled);
}

TEST(VersionResource, VersionNumbers) {
  struct Case {
    const char* text;
    const char* parsed;  // null: refused
  };
  const Case cases[] = {
      {"1", "1.0.0.0"},          {"1.2", "1.2.0.0"},
      {"1.2.3", "1.2.3.0"},      {"65535.0.0.65535", "65535.0.0.65535"},
      {"007.01.0.0", "7.1.0.0"}, {"", nullptr},
      {"1.2.3.4.5", nullptr},    {"1..2", nullptr},
      {"1.", nullptr},           {".1", nullptr},
      {"65536", nullptr},        {"1.2.3.99999999999", nullptr},
      {"-1", nullptr},           {" 1", nullptr},
      {"1.2b", nullptr},         {"1,2,3,4", nullptr},
  };
  for (const Case& c : cases) {
    VersionNumber v;
    bool ok = ParseVersionNumber(c.text, v);
    EXPECT_EQ(ok, c.parsed != nullptr) << c.text;
    if (ok && c.parsed) {
      EXPECT_EQ(VersionNumberText(v), c.parsed) << c.text;
    }
  }
}

}  // namespace
}  // namespace vx::test
