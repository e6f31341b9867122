#include "common/file_size.h"

#include <cstdio>

#include "common/file.h"

namespace vx {

std::string FormatByteCount(uint32_t size) {
  static const char* const kUnits[] = {"B", "KB", "MB", "GB", "TB"};
  double value = static_cast<double>(size);
  size_t unit = 0;
  while (value > 1024.0 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
    value /= 1024.0;
    ++unit;
  }
  char text[64];
  std::snprintf(text, sizeof text, unit <= 1 ? "%.0f %s" : "%.2f %s", value, kUnits[unit]);
  return text;
}

std::string FormatFileSize(const std::string& path) {
  File file;
  if (!file.open(path, File::Mode::Read)) return "0 KB";
  FileDescription d;
  uint32_t size = file.describe(d) ? static_cast<uint32_t>(d.size & 0xFFFFFFFFu) : 0;
  file.close();
  return FormatByteCount(size);
}

}  // namespace vx
