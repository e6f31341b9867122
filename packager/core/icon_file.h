// Icons for a package: reading a Windows icon file (.ico, images BMP- or PNG-encoded)
// or a single PNG image, and the icon-group resource (RT_GROUP_ICON) that ties the
// images, stored as RT_ICON resources, together under one id.
//
// Everything is checked before it is used: the directory must lie inside the file,
// every image inside the file and no larger than kMaxIconImageSize, and each image must
// be a well-formed PNG (signature, chunks, CRCs) or a device-independent bitmap whose
// colour table, pixels and mask are all there. A failure gives one line that says
// what is wrong and, for an image, which one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vx {

inline constexpr size_t kMaxIconImages = 64;
inline constexpr size_t kMaxIconImageSize = 1 << 20;  // 1 MiB
inline constexpr unsigned kMaxIconDimension = 256;    // pixels, the most a directory entry can say

struct IconImage {
  unsigned width = 0;  // pixels, 1 to 256
  unsigned height = 0;
  uint16_t bitCount = 0;   // bits per pixel
  uint8_t colorCount = 0;  // palette entries as a directory states them (0: 256 or more)
  bool png = false;
  std::vector<uint8_t> data;  // the image exactly as it goes into its RT_ICON resource
};

// Describes one image (everything but `data`) from its bytes: a PNG or a DIB as an
// icon stores it (the bitmap's height counts the colour bitmap and the mask). False
// with a reason when the bytes are neither or are damaged.
bool DescribeIconImage(const uint8_t* data, size_t size, IconImage& out, std::string& why);

// An .ico file or a PNG image held in memory: the images in file order.
bool ParseIconFile(const uint8_t* data, size_t size, std::vector<IconImage>& images, std::string& why);

// Reads and parses the file at `path` (nothing larger than an icon can be is read).
bool ReadIconFile(const std::string& path, std::vector<IconImage>& images, std::string& why);

// One entry of an icon-group resource.
struct IconGroupEntry {
  uint8_t width = 0;  // 0 stands for 256
  uint8_t height = 0;
  uint8_t colorCount = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t bytes = 0;  // size of the RT_ICON resource
  uint16_t id = 0;     // its id
};

// The RT_GROUP_ICON resource for `images`, image i stored as RT_ICON `ids[i]`.
std::vector<uint8_t> IconGroupResource(const std::vector<IconImage>& images,
                                       const std::vector<uint16_t>& ids);

// Reads an RT_GROUP_ICON resource; false with a reason when it is damaged.
bool ParseIconGroup(const uint8_t* data, size_t size, std::vector<IconGroupEntry>& entries, std::string& why);

}  // namespace vx
