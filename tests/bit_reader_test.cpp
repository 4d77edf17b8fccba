#include "stream/bit_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace quarn {

namespace {

TEST(BitReader, YieldsZeroBitsPastItsBufferAndKeepsCounting) {
  const std::vector<uint8_t> stream = {'n', 0xFF};
  BitReader r;
  begin_read(r, stream.data(), stream.size());
  EXPECT_EQ(get_bits(r, 8), 255);
  EXPECT_EQ(byte_count(r), 2);
  EXPECT_EQ(get_bits(r, 24), 0);
  EXPECT_EQ(byte_count(r), 5);  // the budget still sees the bytes go by
  EXPECT_EQ(peek_bits(r), 0u);

  begin_read(r, stream.data(), 0);  // nothing at all: zero bits, read from nowhere
  EXPECT_EQ(get_bits(r, 9), 0);
}

// The decoder stops at its first check that finds byte_count at or above
// byte_budget: bit_limit is the first position where that holds.
TEST(BitReader, BitLimitIsWhereTheCountReachesTheBudget) {
  const std::vector<uint8_t> stream(64, 'n');
  for (int32_t budget = -1; budget < 40; ++budget) {
    BitReader r;
    begin_read(r, stream.data(), stream.size());
    r.byte_budget = budget;
    int64_t first = -1;
    for (int64_t pos = 0; pos < 400 && first < 0; ++pos) {
      r.pos = pos;
      if (byte_count(r) >= budget) first = pos;
    }
    EXPECT_LE(bit_limit(r), first) << budget;
    r.pos = std::max<int64_t>(bit_limit(r), 0);
    EXPECT_GE(byte_count(r), budget) << budget;
    if (bit_limit(r) > 0) {
      r.pos = bit_limit(r) - 1;
      EXPECT_LT(byte_count(r), budget) << budget;
    }
  }
}

}  // namespace

}  // namespace quarn
