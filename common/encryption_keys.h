// Traditional PKWARE encryption state: three 32-bit keys, set up from a password and
// updated with every plain byte.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/crc32.h"

namespace vx {

struct EncryptionKeys {
  uint32_t key0 = 0x12345678;
  uint32_t key1 = 0x23456789;
  uint32_t key2 = 0x34567890;

  // Resets the keys and feeds every byte of the password (no terminator).
  void init(const char* password, size_t len) {
    key0 = 0x12345678;
    key1 = 0x23456789;
    key2 = 0x34567890;
    for (size_t i = 0; i < len; ++i) update(static_cast<uint8_t>(password[i]));
  }

  void update(uint8_t plain) {
    key0 = CrcStep(key0, plain);
    key1 = (key1 + (key0 & 0xFF)) * 134775813u + 1u;
    key2 = CrcStep(key2, static_cast<uint8_t>(key1 >> 24));
  }

  uint8_t keystream() const {
    uint32_t t = (key2 & 0xFFFF) | 2u;
    return static_cast<uint8_t>(((t * (t ^ 1u)) >> 8) & 0xFF);
  }

  uint8_t encrypt(uint8_t plain) {
    uint8_t x = plain ^ keystream();
    update(plain);
    return x;
  }

  uint8_t decrypt(uint8_t cipher) {
    uint8_t p = cipher ^ keystream();
    update(p);
    return p;
  }

  // Whole buffers in place, byte for byte as above but with the keys held in locals
  // and the CRC table looked up directly: every byte of an encrypted entry's data
  // passes through here.
  void encrypt(uint8_t* buf, size_t n);
  void decrypt(uint8_t* buf, size_t n);
};

}  // namespace vx
