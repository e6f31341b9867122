#include "common/encryption_keys.h"

#include <zlib.h>

namespace vx {
namespace {

// The keystream byte and the key update of every byte, with `Decrypting` choosing
// whether the plain byte is the one given or the one produced.
template <bool Decrypting>
void Transform(EncryptionKeys& keys, uint8_t* buf, size_t n) {
  static const z_crc_t* const table = get_crc_table();
  uint32_t k0 = keys.key0, k1 = keys.key1, k2 = keys.key2;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t t = (k2 & 0xFFFF) | 2u;
    const uint8_t key = static_cast<uint8_t>((t * (t ^ 1u)) >> 8);
    const uint8_t plain = Decrypting ? static_cast<uint8_t>(buf[i] ^ key) : buf[i];
    buf[i] = static_cast<uint8_t>(buf[i] ^ key);
    k0 = (k0 >> 8) ^ static_cast<uint32_t>(table[(k0 ^ plain) & 0xFF]);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1u;
    k2 = (k2 >> 8) ^ static_cast<uint32_t>(table[(k2 ^ (k1 >> 24)) & 0xFF]);
  }
  keys.key0 = k0;
  keys.key1 = k1;
  keys.key2 = k2;
}

}  // namespace

void EncryptionKeys::encrypt(uint8_t* buf, size_t n) { Transform<false>(*this, buf, n); }

void EncryptionKeys::decrypt(uint8_t* buf, size_t n) { Transform<true>(*this, buf, n); }

}  // namespace vx
