// CRC-32 of the ZIP format and the single-byte step used by the traditional
// PKWARE encryption.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vx {

// Standard CRC-32 (reflected 0xEDB88320, pre- and post-complemented), continued from
// `crc` (0 to start), over `len` bytes. This is zlib's crc32.
uint32_t Crc32(uint32_t crc, const void* data, size_t len);

// One table step without complements: (k >> 8) ^ table[(k ^ b) & 0xFF].
uint32_t CrcStep(uint32_t k, uint8_t b);

}  // namespace vx
