// BitReader and ReadSignedBits against a plain reference: the buffer spelled out as a
// string of '0' and '1' characters.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/swf_header.h"

namespace {

std::string BitString(const std::vector<uint8_t>& bytes) {
  std::string s;
  for (uint8_t b : bytes)
    for (int i = 7; i >= 0; --i) s += ((b >> i) & 1) ? '1' : '0';
  return s;
}

// Bits [pos, pos + n) of the reference, zeros past its end.
uint32_t ReferenceBits(const std::string& bits, int64_t pos, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) {
    int64_t p = pos + i;
    v = (v << 1) | (p < static_cast<int64_t>(bits.size()) && bits[p] == '1' ? 1u : 0u);
  }
  return v;
}

int64_t Position(const vx::BitReader& r) { return r.BytePos() * 8 + r.BitOffset(); }

TEST(BitReader, ReadsRandomRunsAcrossByteBoundaries) {
  std::mt19937 rng(12345);
  std::vector<uint8_t> buf(64);
  for (auto& b : buf) b = static_cast<uint8_t>(rng());
  const std::string ref = BitString(buf);
  for (int round = 0; round < 50; ++round) {
    vx::BitReader r(buf.data(), static_cast<int64_t>(buf.size()) * 8);
    int64_t pos = 0;
    while (pos + 32 <= static_cast<int64_t>(ref.size())) {
      int n = static_cast<int>(rng() % 33);
      ASSERT_EQ(r.ReadBits(n), ReferenceBits(ref, pos, n)) << "n=" << n << " at bit " << pos;
      pos += n;
      ASSERT_EQ(Position(r), pos);
      ASSERT_EQ(r.BitOffset(), pos % 8);
    }
  }
}

TEST(BitReader, ThirtyTwoBitsFromEveryBitOffset) {
  std::vector<uint8_t> buf = {0xA5, 0x3C, 0xF0, 0x0F, 0x96, 0x69};
  const std::string ref = BitString(buf);
  for (int start = 0; start < 8; ++start) {
    vx::BitReader r(buf.data(), 48);
    ASSERT_EQ(r.SeekBits(start), start);
    EXPECT_EQ(r.ReadBits(32), ReferenceBits(ref, start, 32)) << start;
    EXPECT_EQ(Position(r), start + 32);
  }
  vx::BitReader r(buf.data(), 48);
  EXPECT_EQ(r.ReadBits(3), 5u);     // 101
  EXPECT_EQ(r.ReadBits(7), 0x14u);  // 0010100
  EXPECT_EQ(r.ReadBits(6), 0x3Cu);  // 111100
  EXPECT_EQ(r.BytePos(), 2);
  EXPECT_EQ(r.BitOffset(), 0);
}

TEST(BitReader, ZeroAndOversizedCounts) {
  std::vector<uint8_t> buf = {0xFF, 0x00, 0xFF, 0x00, 0xAA};
  vx::BitReader r(buf.data(), 40);
  r.SeekBits(3);
  EXPECT_EQ(r.ReadBits(0), 0u);
  EXPECT_EQ(Position(r), 3);
  EXPECT_EQ(r.ReadBits(-4), 0u);
  EXPECT_EQ(Position(r), 3);
  // More than 32 bits reads 32.
  EXPECT_EQ(r.ReadBits(40), ReferenceBits(BitString(buf), 3, 32));
  EXPECT_EQ(Position(r), 35);
}

TEST(BitReader, SeekBitsStaysWithinTheData) {
  std::vector<uint8_t> buf = {1, 2, 3};
  vx::BitReader r(buf.data(), 24);
  EXPECT_EQ(r.SeekBits(24), 24);  // the end itself is allowed
  EXPECT_EQ(r.BytePos(), 3);
  EXPECT_EQ(r.BitOffset(), 0);
  EXPECT_EQ(r.SeekBits(1), -1);  // one past the end
  EXPECT_EQ(Position(r), 24);
  EXPECT_EQ(r.SeekBits(-11), 13);  // relative to the current position
  EXPECT_EQ(r.BytePos(), 1);
  EXPECT_EQ(r.BitOffset(), 5);
  EXPECT_EQ(r.SeekBits(-14), -1);  // before the start
  EXPECT_EQ(Position(r), 13);
  EXPECT_EQ(r.SeekBits(-13), 0);
  EXPECT_EQ(r.SeekBits(0), 0);
  // Offsets whose sum with the position would overflow are refused, not wrapped.
  r.SeekBits(7);
  EXPECT_EQ(r.SeekBits(std::numeric_limits<int64_t>::max()), -1);
  EXPECT_EQ(r.SeekBits(std::numeric_limits<int64_t>::min()), -1);
  EXPECT_EQ(Position(r), 7);
  r.Rewind();
  EXPECT_EQ(r.BytePos(), 0);
  EXPECT_EQ(r.BitOffset(), 0);
  EXPECT_EQ(r.ReadBits(8), 1u);
}

TEST(BitReader, EmptyDataRefusesEverySeekButZero) {
  vx::BitReader r(nullptr, 0);
  EXPECT_EQ(r.SeekBits(5), -1);
  EXPECT_EQ(r.SeekBits(0), 0);
  EXPECT_EQ(r.ReadBits(32), 0u);  // nothing to read, and nothing is touched
}

TEST(BitReader, BitsPastTheEndReadAsZero) {
  std::vector<uint8_t> buf = {0xFF, 0xFF};
  vx::BitReader r(buf.data(), 12);  // only the first 12 of the 16 bits are data
  EXPECT_EQ(r.ReadBits(16), 0xFFF0u);
  EXPECT_EQ(Position(r), 16);
  EXPECT_EQ(r.SeekBits(0), -1);  // standing past the end: no seek target is inside
  vx::BitReader one(buf.data(), 8);
  EXPECT_EQ(one.ReadBits(4), 0xFu);
  EXPECT_EQ(one.ReadBits(8), 0xF0u);
  EXPECT_EQ(one.ReadBits(32), 0u);
  EXPECT_EQ(Position(one), 44);
}

TEST(ReadSignedBits, SignExtendsFromTheFieldsOwnTopBit) {
  std::vector<uint8_t> ones(8, 0xFF);
  for (int n = 1; n <= 32; ++n) {
    vx::BitReader r(ones.data(), 64);
    EXPECT_EQ(vx::ReadSignedBits(r, n), -1) << n;
    EXPECT_EQ(Position(r), n);
  }
  // 1 followed by zeros: the most negative value of each width.
  for (int n = 1; n <= 32; ++n) {
    std::vector<uint8_t> buf(8, 0);
    buf[0] = 0x80;
    vx::BitReader r(buf.data(), 64);
    EXPECT_EQ(static_cast<int64_t>(vx::ReadSignedBits(r, n)), -(int64_t{1} << (n - 1))) << n;
  }
  // 0 followed by ones: the largest positive value.
  for (int n = 1; n <= 32; ++n) {
    std::vector<uint8_t> buf(8, 0xFF);
    buf[0] = 0x7F;
    vx::BitReader r(buf.data(), 64);
    EXPECT_EQ(static_cast<int64_t>(vx::ReadSignedBits(r, n)), (int64_t{1} << (n - 1)) - 1) << n;
  }
  vx::BitReader r(ones.data(), 64);
  EXPECT_EQ(vx::ReadSignedBits(r, 0), 0);
  EXPECT_EQ(Position(r), 0);
}

TEST(ReadSignedBits, TwentyBitFieldsOfAMovieRectangle) {
  // Nbits 20, Xmin all ones (-1), Xmax 11000: 10100 then 20 ones then 11000 in 20 bits.
  std::string bits = "10100" + std::string(20, '1');
  for (int i = 19; i >= 0; --i) bits += ((11000 >> i) & 1) ? '1' : '0';
  bits.resize((bits.size() + 7) / 8 * 8, '0');
  std::vector<uint8_t> buf;
  for (size_t i = 0; i < bits.size(); i += 8)
    buf.push_back(static_cast<uint8_t>(std::stoul(bits.substr(i, 8), nullptr, 2)));
  vx::BitReader r(buf.data(), static_cast<int64_t>(buf.size()) * 8);
  EXPECT_EQ(r.ReadBits(5), 20u);
  EXPECT_EQ(vx::ReadSignedBits(r, 20), -1);
  EXPECT_EQ(vx::ReadSignedBits(r, 20), 11000);
}

}  // namespace
