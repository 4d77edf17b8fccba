#include "stream/bit_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "stream/bit_reader.h"

namespace quarn {

namespace {

TEST(BitWriter, WorkedExampleAndItsReadBack) {
  std::vector<uint8_t> buffer(16);
  BitWriter w;
  begin_write(w, buffer.data());
  put_bits(w, 6, 480 >> 8);
  put_bits(w, 6, 640 >> 8);
  put_bits(w, 8, 480 & 255);
  put_bits(w, 8, 640 & 255);
  put_bits(w, 5, 12);
  end_write(w);
  const uint8_t expected[] = {0x6E, 0x20, 0x74, 0x10, 0x60, 0x00};
  EXPECT_EQ(byte_count(w), 6);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 6), std::vector<uint8_t>(expected, expected + 6));

  BitReader r;
  begin_read(r, buffer.data(), 6);
  EXPECT_EQ(get_bits(r, 6), 1);
  EXPECT_EQ(get_bits(r, 6), 2);
  EXPECT_EQ(get_bits(r, 8), 224);
  EXPECT_EQ(get_bits(r, 8), 128);
  EXPECT_EQ(get_bits(r, 5), 12);
  EXPECT_EQ(byte_count(r), 6);  // the fifth byte counts from its first bit on
}

TEST(BitWriter, FlushKeepsPendingBitsLowAndAlwaysAddsAByte) {
  std::vector<uint8_t> buffer(16);
  BitWriter w;
  begin_write(w, buffer.data());
  put_bit(w, 1);
  put_bit(w, 1);
  put_bit(w, 0);
  end_write(w);
  EXPECT_EQ(buffer[1], 0x03);
  EXPECT_EQ(byte_count(w), 2);

  begin_write(w, buffer.data());
  put_bits(w, 8, 0xA5);  // 1,0,1,0,0,1,0,1: the first bit lands at bit 0
  EXPECT_EQ(byte_count(w), 2);
  end_write(w);
  EXPECT_EQ(byte_count(w), 3);
  EXPECT_EQ(buffer[1], 0xA5);
  EXPECT_EQ(buffer[2], 0x00);
}

TEST(BitWriter, SixteenBitValuesTravelAsTwoBytesAndNegativesAsLowBits) {
  std::vector<uint8_t> buffer(64);
  BitWriter w;
  begin_write(w, buffer.data());
  const int32_t values[] = {0, 1, 255, 256, 20000, 65535};
  for (int32_t v : values) {
    put_bits(w, 8, v >> 8);
    put_bits(w, 8, v & 255);
  }
  put_bits(w, 8, -3);
  end_write(w);
  BitReader r;
  begin_read(r, buffer.data(), buffer.size());
  for (int32_t v : values) {
    const int32_t high = get_bits(r, 8);
    EXPECT_EQ(high * 256 + get_bits(r, 8), v);
  }
  EXPECT_EQ(get_bits(r, 8), 253);
}

// Bits written through every entry, across many word boundaries, land where
// a plain bit-by-bit writer puts them, and nothing is stored past the last
// word.
TEST(BitWriter, EveryEntryAgreesWithABitByBitWriter) {
  std::mt19937 rng(13);
  for (int round = 0; round < 50; ++round) {
    std::vector<uint8_t> buffer(512, 0xEE);
    std::vector<int> bits;  // the reference sequence after the "n"
    BitWriter w;
    begin_write(w, buffer.data());
    while (bits.size() < 2000) {
      const int kind = static_cast<int>(rng() % 4);
      const int n = static_cast<int>(rng() % 33);
      const uint32_t v = static_cast<uint32_t>(rng()) & (n == 32 ? ~0u : (1u << n) - 1);
      if (kind == 0) {
        put_bit(w, v & 7);  // any non-zero value is a 1
        bits.push_back((v & 7) != 0);
      } else if (kind == 1) {
        put_code(w, v, n);
        for (int i = 0; i < n; ++i) bits.push_back(v >> i & 1);
      } else if (kind == 2) {
        put_zeros(w, n);
        bits.insert(bits.end(), static_cast<std::size_t>(n), 0);
      } else {
        const int m = std::min(n, 31);
        put_bits(w, m, static_cast<int32_t>(v));
        for (int i = m - 1; i >= 0; --i) bits.push_back(v >> i & 1);
      }
      ASSERT_EQ(byte_count(w), 1 + static_cast<int32_t>(bits.size() / 8));
    }
    end_write(w);
    ASSERT_EQ(byte_count(w), 2 + static_cast<int32_t>(bits.size() / 8));
    ASSERT_EQ(buffer[0], 'n');
    std::vector<uint8_t> expected((bits.size() + 8) / 8, 0);
    for (std::size_t k = 0; k < bits.size(); ++k) expected[k / 8] |= static_cast<uint8_t>(bits[k] << (k % 8));
    ASSERT_EQ(std::vector<uint8_t>(buffer.begin() + 1, buffer.begin() + 1 + expected.size()), expected);
    // The last word stored ends the writer's bytes; beyond it nothing moved.
    const std::size_t stored = stored_bytes(w);
    ASSERT_GE(stored, 1 + expected.size());
    ASSERT_LE(stored, 1 + expected.size() + 8);
    ASSERT_TRUE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(stored), buffer.end(),
                            [](uint8_t b) { return b == 0xEE; }));
  }
}

// The coder stops at its first check that finds byte_count at or above
// byte_budget: bit_limit is the first position where that holds.
TEST(BitWriter, BitLimitIsWhereTheCountReachesTheBudget) {
  for (int32_t budget = -1; budget < 40; ++budget) {
    BitWriter w;
    w.byte_budget = budget;
    w.pos = std::max<int64_t>(bit_limit(w), 0);
    EXPECT_GE(byte_count(w), budget) << budget;
    if (bit_limit(w) > 0) {
      w.pos = bit_limit(w) - 1;
      EXPECT_LT(byte_count(w), budget) << budget;
    }
  }
}

}  // namespace

}  // namespace quarn
