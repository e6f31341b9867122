#include "common/crc32.h"

#include <zlib.h>

#include <climits>

namespace vx {

uint32_t Crc32(uint32_t crc, const void* data, size_t len) {
  const Bytef* p = static_cast<const Bytef*>(data);
  uLong c = crc;
  while (len > 0) {
    uInt piece = len > UINT_MAX ? UINT_MAX : static_cast<uInt>(len);
    c = crc32(c, p, piece);
    p += piece;
    len -= piece;
  }
  return static_cast<uint32_t>(c);
}

uint32_t CrcStep(uint32_t k, uint8_t b) {
  // zlib's table is the standard one; get_crc_table gives it without complements.
  static const z_crc_t* table = get_crc_table();
  return (k >> 8) ^ static_cast<uint32_t>(table[(k ^ b) & 0xFF]);
}

}  // namespace vx
