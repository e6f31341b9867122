#include <gtest/gtest.h>

#include <cstring>

#include "common/crc32.h"
#include "common/encryption_keys.h"
#include "common/package_contract.h"
#include "common/random.h"

namespace {

TEST(Crc32, KnownValues) {
  EXPECT_EQ(vx::Crc32(0, "", 0), 0u);
  EXPECT_EQ(vx::Crc32(0, "123456789", 9), 0xCBF43926u);
  // Continuing a CRC over pieces gives the CRC of the whole.
  uint32_t c = vx::Crc32(0, "1234", 4);
  EXPECT_EQ(vx::Crc32(c, "56789", 5), 0xCBF43926u);
}

TEST(Crc32, StepIsTheUncomplementedTableStep) {
  // One step over a single byte equals the complemented CRC of that byte.
  for (int b = 0; b < 256; ++b) {
    uint8_t byte = static_cast<uint8_t>(b);
    EXPECT_EQ(vx::CrcStep(0xFFFFFFFFu, byte) ^ 0xFFFFFFFFu, vx::Crc32(0, &byte, 1));
  }
}

TEST(EncryptionKeys, RoundTripAndPasswordDependence) {
  const char* pw = vx::kPackagePassword;
  ASSERT_EQ(std::strlen(pw), 10u);
  uint8_t plain[300];
  for (int i = 0; i < 300; ++i) plain[i] = static_cast<uint8_t>(i * 7);
  uint8_t buf[300];
  std::memcpy(buf, plain, sizeof buf);

  vx::EncryptionKeys enc;
  enc.init(pw, 10);
  enc.encrypt(buf, sizeof buf);
  EXPECT_NE(std::memcmp(buf, plain, sizeof buf), 0);

  vx::EncryptionKeys dec;
  dec.init(pw, 10);
  dec.decrypt(buf, sizeof buf);
  EXPECT_EQ(std::memcmp(buf, plain, sizeof buf), 0);

  vx::EncryptionKeys a, b;
  a.init("abc", 3);
  b.init("abd", 3);
  EXPECT_NE(a.key0, b.key0);
}

// The buffer forms hold the keys in locals: they must give, byte for byte and key for
// key, what the single-byte rule gives.
TEST(EncryptionKeys, BufferFormsFollowTheByteRule) {
  uint8_t buf[1000];
  for (int i = 0; i < 1000; ++i) buf[i] = static_cast<uint8_t>(i * 31 + (i >> 3));
  vx::EncryptionKeys byByte, whole;
  byByte.init(vx::kPackagePassword, 10);
  whole.init(vx::kPackagePassword, 10);
  uint8_t expected[1000];
  for (int i = 0; i < 1000; ++i) expected[i] = byByte.encrypt(buf[i]);
  whole.encrypt(buf, sizeof buf);
  EXPECT_EQ(std::memcmp(buf, expected, sizeof buf), 0);
  EXPECT_EQ(whole.key0, byByte.key0);
  EXPECT_EQ(whole.key2, byByte.key2);

  byByte.init(vx::kPackagePassword, 10);
  whole.init(vx::kPackagePassword, 10);
  for (int i = 0; i < 1000; ++i) expected[i] = byByte.decrypt(buf[i]);
  whole.decrypt(buf, sizeof buf);
  EXPECT_EQ(std::memcmp(buf, expected, sizeof buf), 0);
  EXPECT_EQ(whole.key1, byByte.key1);
}

TEST(EncryptionKeys, InitialKeysWithoutPassword) {
  vx::EncryptionKeys k;
  k.init("", 0);
  EXPECT_EQ(k.key0, 0x12345678u);
  EXPECT_EQ(k.key1, 0x23456789u);
  EXPECT_EQ(k.key2, 0x34567890u);
  // Keystream of the initial state: t = 0x7890 | 2 = 0x7892; (t*(t^1))>>8 & 0xFF.
  uint32_t t = 0x7892;
  EXPECT_EQ(k.keystream(), static_cast<uint8_t>(((t * (t ^ 1)) >> 8) & 0xFF));
}

TEST(SystemRandom, FillsAndDiffers) {
  uint8_t a[32] = {}, b[32] = {};
  ASSERT_TRUE(vx::SystemRandomBytes(a, sizeof a));
  ASSERT_TRUE(vx::SystemRandomBytes(b, sizeof b));
  EXPECT_NE(std::memcmp(a, b, sizeof a), 0);
}

}  // namespace
