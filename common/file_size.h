// The short size text the packager shows for a file ("1024 B", "1 KB", "1.50 MB").
#pragma once
#include <cstdint>
#include <string>

namespace vx {

// The size of the file at `path` as a short text; "0 KB" when the file cannot be
// opened. Only the low 32 bits of the size count, as the packager has always shown it.
std::string FormatFileSize(const std::string& path);

// The same text for a byte count: the value is divided by 1024 while it is strictly
// greater than 1024, stepping along B, KB, MB, GB, TB; B and KB are shown without
// decimals, larger units with two.
std::string FormatByteCount(uint32_t size);

}  // namespace vx
