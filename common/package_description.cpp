#include "common/package_description.h"

#include "common/file.h"
#include "common/system_text.h"

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

namespace {

std::string WithCrLf(const std::string& text) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 8 + 4);
  for (char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes;
}

int WriteBytes(const std::string& path, const std::string& bytes) {
  File file;
  if (!file.open(path, File::Mode::CreateWrite)) return -1;
  bool written = file.write(bytes.data(), bytes.size());
  bool closed = file.close();
  return written && closed ? 0 : -1;
}

}  // namespace

std::string DescriptionFileBytes(const std::string& text) {
  const std::string lines = WithCrLf(text);
  bool ascii = true;
  for (char c : lines) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return lines;
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : Utf8ToUtf16(lines)) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

int WriteDescriptionFile(const std::string& path, const std::string& text) {
  return WriteBytes(path, DescriptionFileBytes(text));
}

std::string DescriptionFileText(const std::string& bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return Utf16ToUtf8(units);
  }
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
  return LegacyTextToUtf8(bytes);
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
