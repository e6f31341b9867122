#include "common/package_description.h"

#include "common/file.h"

namespace vx {

std::string DescriptionText(bool fullScreen, const std::string& mainMovieName, PackageType type) {
  std::string text = "[";
  text += kDescriptionSection;
  text += "]\n";
  text += kKeyFullScreen;
  text += "=";
  text += fullScreen ? kValueTrue : kValueFalse;
  text += "\n";
  text += kKeyMainMovie;
  text += "=";
  text += mainMovieName;
  text += "\n";
  text += kKeyType;
  text += "=";
  text += type == PackageType::Slideshow ? kTypeSlideshow : kTypeResource;
  return text;
}

int WriteTextFile(const std::string& path, const std::string& text) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 8 + 4);
  for (char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  File file;
  if (!file.open(path, File::Mode::CreateWrite)) return -1;
  bool written = file.write(bytes.data(), bytes.size());
  bool closed = file.close();
  return written && closed ? 0 : -1;
}

std::vector<uint8_t> TitleStringBlock(const std::string& title) {
  std::u16string units = TitleToUtf16(title);
  // The length word holds at most 65535; a longer text is cut rather than miscounted.
  size_t n = units.size() > 0xFFFF ? 0xFFFF : units.size();
  std::vector<uint8_t> block(2 * (n + 2), 0);
  // Word 0 stays zero: string 0 is empty. Word 1 is the title's length.
  block[2] = static_cast<uint8_t>(n & 0xFF);
  block[3] = static_cast<uint8_t>((n >> 8) & 0xFF);
  for (size_t i = 0; i < n; ++i) {
    block[4 + 2 * i] = static_cast<uint8_t>(units[i] & 0xFF);
    block[5 + 2 * i] = static_cast<uint8_t>(units[i] >> 8);
  }
  return block;
}

bool StringFromBlock(const uint8_t* block, size_t size, unsigned index, std::u16string& out) {
  size_t pos = 0;  // in bytes
  for (unsigned i = 0;; ++i) {
    if (pos + 2 > size) return false;
    size_t len = block[pos] | (block[pos + 1] << 8);
    pos += 2;
    if (len > (size - pos) / 2) return false;
    if (i == index) {
      out.clear();
      for (size_t k = 0; k < len; ++k)
        out += static_cast<char16_t>(block[pos + 2 * k] | (block[pos + 2 * k + 1] << 8));
      return true;
    }
    pos += 2 * len;
    if (i >= 15) return false;
  }
}

}  // namespace vx
