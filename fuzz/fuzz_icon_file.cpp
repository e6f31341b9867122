// The icon reader on arbitrary bytes: an icon file or PNG, one image, and an icon
// group. What it accepts must hold together: 1 to 64 images, each at most 1 MiB, each
// described again alike from its own bytes, and a group made of them reads back with
// the same ids and sizes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "packager/core/icon_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<vx::IconImage> images;
  std::string why;
  if (!vx::ParseIconFile(data, size, images, why)) {
    if (!images.empty() || why.empty()) abort();
  } else {
    if (images.empty() || images.size() > vx::kMaxIconImages) abort();
    std::vector<uint16_t> ids;
    for (const vx::IconImage& image : images) {
      vx::IconImage again;
      if (image.data.empty() || image.data.size() > vx::kMaxIconImageSize) abort();
      if (!vx::DescribeIconImage(image.data.data(), image.data.size(), again, why)) abort();
      if (again.width != image.width || again.height != image.height || again.bitCount != image.bitCount)
        abort();
      if (image.width < 1 || image.width > 256 || image.height < 1 || image.height > 256) abort();
      ids.push_back(static_cast<uint16_t>(ids.size() + 7));
    }
    std::vector<uint8_t> group = vx::IconGroupResource(images, ids);
    std::vector<vx::IconGroupEntry> entries;
    if (!vx::ParseIconGroup(group.data(), group.size(), entries, why) || entries.size() != images.size())
      abort();
    for (size_t i = 0; i < entries.size(); ++i)
      if (entries[i].id != ids[i] || entries[i].bytes != images[i].data.size()) abort();
  }
  vx::IconImage one;
  vx::DescribeIconImage(data, size, one, why);
  std::vector<vx::IconGroupEntry> entries;
  vx::ParseIconGroup(data, size, entries, why);
  return 0;
}
