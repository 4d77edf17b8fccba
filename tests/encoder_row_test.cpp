#include "host/encoder_row.h"

#include <gtest/gtest.h>

#include "stream/budget.h"

namespace quarn::host {

namespace {

// The encoder plug-in's row can be one byte shorter than B + 4; at the lowest
// rate it must still hold the whole header (at 32x83, B = 27 at 0.0813253
// while the row has 30 cells).
TEST(EncoderRow, TheLowestRateHoldsTheHeaderInTheRowToo) {
  EXPECT_NE(check_row_encode(32, 83, 0.0813253), "");
  for (int32_t w = 32; w < 300; ++w) {
    for (const int32_t h : {32, 83, 169, 710, 6860}) {
      const double lowest = lowest_row_bitrate(w, h);
      ASSERT_EQ(check_row_encode(w, h, lowest), "") << w << "x" << h;
      ASSERT_GE(stream_bytes(lowest, stream_rate_for(w, h)), kHeaderBytes) << w << "x" << h;
      ASSERT_GE(encoder_row_cells(w, h, lowest), kPrefixBytes + kHeaderBytes) << w << "x" << h;
    }
  }
}

// The codec's own check has no row: it takes what fits in B bytes alone.
TEST(EncoderRow, OnlyThePluginRefusesARowTooShortForTheHeader) {
  EXPECT_EQ(check_encode(32, 83, 0.0813253), "");
  EXPECT_NE(check_row_encode(32, 83, 0.0813253).find("the lowest that works is 0.0813254"),
            std::string::npos);
  EXPECT_LT(lowest_bitrate(32, 83), lowest_row_bitrate(32, 83));
}

}  // namespace

}  // namespace quarn::host
