#include "packager/core/icon_file.h"

#include <cstring>

#include "common/byte_order.h"
#include "common/crc32.h"
#include "common/file.h"

namespace vx {

namespace {

const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t kIconDirectorySize = 6;
constexpr size_t kIconDirectoryEntrySize = 16;
constexpr size_t kGroupEntrySize = 14;

uint32_t LoadBE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool Fail(std::string& why, const std::string& text) {
  why = text;
  return false;
}

bool IsPng(const uint8_t* data, size_t size) {
  return size >= sizeof kPngSignature && std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0;
}

std::string ChunkName(const uint8_t* p) {
  std::string name;
  for (int i = 0; i < 4; ++i) name += (p[i] >= 0x20 && p[i] < 0x7F) ? static_cast<char>(p[i]) : '?';
  return name;
}

std::string TooLarge(unsigned width, unsigned height) {
  return "the image is " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels; an icon image may be at most 256 x 256";
}

// A PNG: the signature, then chunks (length, type, data, CRC) from IHDR to IEND, each
// wholly inside the bytes and with a matching CRC, and at least one IDAT.
bool DescribePng(const uint8_t* data, size_t size, IconImage& out, std::string& why) {
  size_t pos = sizeof kPngSignature;
  bool sawHeader = false, sawData = false;
  uint8_t depth = 0, colorType = 0;
  for (;;) {
    if (size - pos < 12) return Fail(why, "truncated PNG image (it ends inside a chunk)");
    uint32_t length = LoadBE32(data + pos);
    const uint8_t* type = data + pos + 4;
    if (length > size - pos - 12)
      return Fail(why, "truncated PNG image (chunk " + ChunkName(type) + " runs past its end)");
    const uint8_t* body = type + 4;
    if (Crc32(0, type, 4 + size_t(length)) != LoadBE32(body + length))
      return Fail(why, "damaged PNG image (the CRC of chunk " + ChunkName(type) + " does not match)");
    pos += 12 + size_t(length);
    if (!sawHeader) {
      if (std::memcmp(type, "IHDR", 4) != 0 || length != 13)
        return Fail(why, "damaged PNG image (it does not begin with a header chunk)");
      sawHeader = true;
      out.width = LoadBE32(body);
      out.height = LoadBE32(body + 4);
      depth = body[8];
      colorType = body[9];
      static const struct {
        uint8_t type, channels;
        uint8_t depths[5];
      } kFormats[] = {
          {0, 1, {1, 2, 4, 8, 16}}, {2, 3, {8, 16}}, {3, 1, {1, 2, 4, 8}}, {4, 2, {8, 16}}, {6, 4, {8, 16}}};
      unsigned channels = 0;
      for (const auto& f : kFormats)
        if (f.type == colorType)
          for (uint8_t d : f.depths)
            if (d && d == depth) channels = f.channels;
      if (channels == 0 || body[10] != 0 || body[11] != 0 || body[12] > 1)
        return Fail(why, "damaged PNG image (its header states an unknown format)");
      if (out.width == 0 || out.height == 0) return Fail(why, "damaged PNG image (it has no pixels)");
      unsigned bits = channels * depth;
      out.bitCount = static_cast<uint16_t>(bits > 32 ? 32 : bits);
      continue;
    }
    if (std::memcmp(type, "IDAT", 4) == 0) sawData = true;
    if (std::memcmp(type, "IEND", 4) == 0) break;
  }
  if (!sawData) return Fail(why, "damaged PNG image (it has no image data)");
  if (out.width > kMaxIconDimension || out.height > kMaxIconDimension)
    return Fail(why, TooLarge(out.width, out.height));
  out.colorCount = 0;
  out.png = true;
  return true;
}

// A device-independent bitmap as an icon stores it: a BITMAPINFOHEADER (or a later,
// longer one) whose height counts the colour bitmap and the AND mask below it, the
// colour table, the pixel rows and the mask rows, each row padded to 32 bits.
bool DescribeBitmap(const uint8_t* data, size_t size, IconImage& out, std::string& why) {
  uint32_t headerSize = size >= 4 ? LoadLE32(data) : 0;
  if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124)
    return Fail(why, "neither a PNG image nor a bitmap");
  if (size < headerSize) return Fail(why, "truncated bitmap (it ends inside its header)");
  int32_t width = static_cast<int32_t>(LoadLE32(data + 4));
  int32_t height = static_cast<int32_t>(LoadLE32(data + 8));
  uint16_t planes = LoadLE16(data + 12);
  uint16_t bits = LoadLE16(data + 14);
  uint32_t compression = LoadLE32(data + 16);
  uint32_t colorsUsed = LoadLE32(data + 32);
  if (width <= 0 || height <= 1) return Fail(why, "damaged bitmap (it has no pixels)");
  unsigned w = static_cast<unsigned>(width), h = static_cast<unsigned>(height) / 2;
  if (w > kMaxIconDimension || h > kMaxIconDimension) return Fail(why, TooLarge(w, h));
  if (planes != 1 || (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32))
    return Fail(why, "damaged bitmap (" + std::to_string(bits) + " bits per pixel in " +
                         std::to_string(planes) + " planes)");
  bool bitfields = compression == 3 && (bits == 16 || bits == 32);
  if (compression != 0 && !bitfields) return Fail(why, "unsupported bitmap (its pixels are compressed)");
  uint64_t paletteMax = bits <= 8 ? (1u << bits) : 256;
  if (colorsUsed > paletteMax)
    return Fail(why, "damaged bitmap (" + std::to_string(colorsUsed) + " palette colours)");
  uint64_t colors = colorsUsed ? colorsUsed : (bits <= 8 ? (1u << bits) : 0);
  uint64_t colorRow = (uint64_t(w) * bits + 31) / 32 * 4;
  uint64_t maskRow = (uint64_t(w) + 31) / 32 * 4;
  uint64_t need =
      headerSize + (bitfields && headerSize == 40 ? 12 : 0) + 4 * colors + (colorRow + maskRow) * h;
  if (size < need)
    return Fail(why, "truncated bitmap (its pixels and mask need " + std::to_string(need) +
                         " bytes, the image has " + std::to_string(size) + ")");
  out.width = w;
  out.height = h;
  out.bitCount = bits;
  out.colorCount = bits < 8 ? static_cast<uint8_t>(1u << bits) : 0;
  out.png = false;
  return true;
}

uint8_t DirectoryDimension(unsigned pixels) { return pixels >= 256 ? 0 : static_cast<uint8_t>(pixels); }

// ParseIconFile's work: `images` may hold some images when it fails.
bool ParseIcon(const uint8_t* data, size_t size, std::vector<IconImage>& images, std::string& why);

}  // namespace

bool DescribeIconImage(const uint8_t* data, size_t size, IconImage& out, std::string& why) {
  out = IconImage();
  return IsPng(data, size) ? DescribePng(data, size, out, why) : DescribeBitmap(data, size, out, why);
}

bool ParseIconFile(const uint8_t* data, size_t size, std::vector<IconImage>& images, std::string& why) {
  images.clear();
  std::vector<IconImage> found;
  if (!ParseIcon(data, size, found, why)) return false;
  images.swap(found);
  return true;
}

namespace {

bool ParseIcon(const uint8_t* data, size_t size, std::vector<IconImage>& images, std::string& why) {
  const std::string maxImage = std::to_string(kMaxIconImageSize);
  if (IsPng(data, size)) {
    if (size > kMaxIconImageSize)
      return Fail(why, "the image has " + std::to_string(size) +
                           " bytes; an icon image may have at most 1 MiB (" + maxImage + " bytes)");
    IconImage image;
    if (!DescribePng(data, size, image, why)) return false;
    image.data.assign(data, data + size);
    images.push_back(std::move(image));
    return true;
  }
  if (size >= 4 && LoadLE16(data) == 0 && LoadLE16(data + 2) == 2) return Fail(why, "a cursor, not an icon");
  if (size < 4 || LoadLE16(data) != 0 || LoadLE16(data + 2) != 1)
    return Fail(why, "neither a Windows icon (.ico) nor a PNG image");
  if (size < kIconDirectorySize)
    return Fail(why, "truncated icon directory (the file ends inside its header)");
  size_t count = LoadLE16(data + 4);
  if (count == 0) return Fail(why, "the icon holds no images");
  if (count > kMaxIconImages)
    return Fail(why, "the icon holds " + std::to_string(count) + " images; at most " +
                         std::to_string(kMaxIconImages) + " are allowed");
  size_t directoryEnd = kIconDirectorySize + kIconDirectoryEntrySize * count;
  if (directoryEnd > size)
    return Fail(why, "truncated icon directory (" + std::to_string(count) + " images need " +
                         std::to_string(directoryEnd) + " bytes of directory, the file has " +
                         std::to_string(size) + ")");
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = data + kIconDirectorySize + kIconDirectoryEntrySize * i;
    uint32_t bytes = LoadLE32(entry + 8);
    uint32_t offset = LoadLE32(entry + 12);
    const std::string name = "image " + std::to_string(i + 1);
    if (bytes == 0) return Fail(why, name + " is empty");
    if (bytes > kMaxIconImageSize)
      return Fail(why, name + " has " + std::to_string(bytes) +
                           " bytes; an icon image may have at most 1 MiB (" + maxImage + " bytes)");
    if (offset < directoryEnd)
      return Fail(why, name + " starts inside the icon directory (offset " + std::to_string(offset) + ")");
    if (offset > size || bytes > size - offset)
      return Fail(why, name + " lies past the end of the file (offset " + std::to_string(offset) + ", " +
                           std::to_string(bytes) + " bytes, the file has " + std::to_string(size) + ")");
    IconImage image;
    std::string problem;
    if (!DescribeIconImage(data + offset, bytes, image, problem)) return Fail(why, name + ": " + problem);
    image.data.assign(data + offset, data + offset + bytes);
    images.push_back(std::move(image));
  }
  return true;
}

}  // namespace

bool ReadIconFile(const std::string& path, std::vector<IconImage>& images, std::string& why) {
  images.clear();
  File file;
  FileDescription d;
  if (!file.open(path, File::Mode::Read) || !file.describe(d) || (d.attributes & kAttrDirectory))
    return Fail(why, "it cannot be opened for reading");
  const uint64_t largest =
      kIconDirectorySize + (kIconDirectoryEntrySize + uint64_t(kMaxIconImageSize)) * kMaxIconImages;
  if (d.size > largest)
    return Fail(why, "the file has " + std::to_string(d.size) + " bytes, more than an icon of at most " +
                         std::to_string(kMaxIconImages) + " images of 1 MiB each");
  std::vector<uint8_t> bytes(static_cast<size_t>(d.size));
  if (file.readFully(bytes.data(), bytes.size()) != static_cast<long long>(bytes.size()))
    return Fail(why, "it cannot be read");
  return ParseIconFile(bytes.data(), bytes.size(), images, why);
}

std::vector<uint8_t> IconGroupResource(const std::vector<IconImage>& images,
                                       const std::vector<uint16_t>& ids) {
  std::vector<uint8_t> out(kIconDirectorySize + kGroupEntrySize * images.size(), 0);
  StoreLE16(&out[2], 1);
  StoreLE16(&out[4], static_cast<uint16_t>(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    const IconImage& image = images[i];
    uint8_t* e = &out[kIconDirectorySize + kGroupEntrySize * i];
    e[0] = DirectoryDimension(image.width);
    e[1] = DirectoryDimension(image.height);
    e[2] = image.colorCount;
    StoreLE16(e + 4, 1);
    StoreLE16(e + 6, image.bitCount);
    StoreLE32(e + 8, static_cast<uint32_t>(image.data.size()));
    StoreLE16(e + 12, i < ids.size() ? ids[i] : 0);
  }
  return out;
}

bool ParseIconGroup(const uint8_t* data, size_t size, std::vector<IconGroupEntry>& entries,
                    std::string& why) {
  entries.clear();
  if (size < kIconDirectorySize || LoadLE16(data) != 0 || LoadLE16(data + 2) != 1)
    return Fail(why, "damaged icon group (no group header)");
  size_t count = LoadLE16(data + 4);
  if (count > (size - kIconDirectorySize) / kGroupEntrySize)
    return Fail(why, "damaged icon group (" + std::to_string(count) + " entries do not fit in " +
                         std::to_string(size) + " bytes)");
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = data + kIconDirectorySize + kGroupEntrySize * i;
    IconGroupEntry g;
    g.width = e[0];
    g.height = e[1];
    g.colorCount = e[2];
    g.planes = LoadLE16(e + 4);
    g.bitCount = LoadLE16(e + 6);
    g.bytes = LoadLE32(e + 8);
    g.id = LoadLE16(e + 12);
    entries.push_back(g);
  }
  return true;
}

}  // namespace vx
