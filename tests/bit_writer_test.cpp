#include "codec/bit_writer.h"

#include <gtest/gtest.h>

#include <vector>

#include "codec/bit_reader.h"

namespace quarn {

namespace {

TEST(BitWriter, WorkedExampleAndItsReadBack) {
  uint8_t buffer[16] = {};
  BitWriter w;
  begin_write(w, buffer);
  put_bits(w, 6, 480 >> 8);
  put_bits(w, 6, 640 >> 8);
  put_bits(w, 8, 480 & 255);
  put_bits(w, 8, 640 & 255);
  put_bits(w, 5, 12);
  end_write(w);
  const uint8_t expected[] = {0x6E, 0x20, 0x74, 0x10, 0x60, 0x00};
  EXPECT_EQ(w.byte_count, 6);
  EXPECT_EQ(w.byte_ptr - buffer, 6);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 6), std::vector<uint8_t>(expected, expected + 6));

  BitReader r;
  begin_read(r, buffer, 6);
  EXPECT_EQ(get_bits(r, 6), 1);
  EXPECT_EQ(get_bits(r, 6), 2);
  EXPECT_EQ(get_bits(r, 8), 224);
  EXPECT_EQ(get_bits(r, 8), 128);
  EXPECT_EQ(get_bits(r, 5), 12);
  EXPECT_EQ(r.byte_count, 6);  // the fifth byte counts from its first bit on
}

TEST(BitWriter, FlushKeepsPendingBitsLowAndAlwaysAddsAByte) {
  uint8_t buffer[8] = {};
  BitWriter w;
  begin_write(w, buffer);
  put_bit(w, 1);
  put_bit(w, 1);
  put_bit(w, 0);
  end_write(w);
  EXPECT_EQ(buffer[1], 0x03);
  EXPECT_EQ(w.byte_count, 2);

  begin_write(w, buffer);
  put_bits(w, 8, 0xA5);  // 1,0,1,0,0,1,0,1: the first bit lands at bit 0
  EXPECT_EQ(w.byte_count, 2);
  end_write(w);
  EXPECT_EQ(w.byte_count, 3);
  EXPECT_EQ(buffer[1], 0xA5);
  EXPECT_EQ(buffer[2], 0x00);
}

TEST(BitWriter, SixteenBitValuesTravelAsTwoBytesAndNegativesAsLowBits) {
  uint8_t buffer[64] = {};
  BitWriter w;
  begin_write(w, buffer);
  const int32_t values[] = {0, 1, 255, 256, 20000, 65535};
  for (int32_t v : values) {
    put_bits(w, 8, v >> 8);
    put_bits(w, 8, v & 255);
  }
  put_bits(w, 8, -3);
  end_write(w);
  BitReader r;
  begin_read(r, buffer, sizeof buffer);
  for (int32_t v : values) {
    const int32_t high = get_bits(r, 8);
    EXPECT_EQ(high * 256 + get_bits(r, 8), v);
  }
  EXPECT_EQ(get_bits(r, 8), 253);
}

}  // namespace

}  // namespace quarn
