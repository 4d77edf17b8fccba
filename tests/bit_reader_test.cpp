#include "codec/bit_reader.h"

#include <gtest/gtest.h>

namespace quarn {

namespace {

TEST(BitReader, YieldsZeroBitsPastItsBufferAndKeepsCounting) {
  const uint8_t stream[] = {'n', 0xFF};
  BitReader r;
  begin_read(r, stream, sizeof stream);
  EXPECT_EQ(get_bits(r, 8), 255);
  EXPECT_EQ(r.byte_count, 2);
  EXPECT_EQ(get_bits(r, 24), 0);
  EXPECT_EQ(r.byte_count, 5);  // the budget still sees the bytes go by
  EXPECT_EQ(r.byte_ptr, stream + sizeof stream);
}

TEST(BitReaderDeathTest, StreamMustStartWithN) {
  const uint8_t stream[] = {'m', 0};
  EXPECT_EXIT(
      {
        BitReader r;
        begin_read(r, stream, sizeof stream);
      },
      ::testing::ExitedWithCode(1), "invalid < Decoder > file");
  EXPECT_EXIT(
      {
        BitReader r;
        begin_read(r, stream, 0);
      },
      ::testing::ExitedWithCode(1), "invalid < Decoder > file");
}

}  // namespace

}  // namespace quarn
