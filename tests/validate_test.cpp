#include "codec/validate.h"

#include <gtest/gtest.h>

#include <cmath>

#include "codec/budget.h"
#include "codec_test_util.h"

namespace quarn {

namespace {

TEST(Validate, SizesAndRates) {
  EXPECT_EQ(check_size(32, 8192), "");
  EXPECT_NE(check_size(31, 100), "");
  EXPECT_NE(check_size(100, 8193), "");
  EXPECT_NE(check_size(-5, 100), "");
  EXPECT_EQ(check_bitrate(0.5), "");
  EXPECT_EQ(check_bitrate(kMaxBitrate), "");
  for (double bad : {0.0, -1.0, double(NAN), double(INFINITY), kMaxBitrate * 1.01})
    EXPECT_NE(check_bitrate(bad), "") << bad;
}

TEST(Validate, TooLowARateNamesTheLowestThatWorks) {
  const std::string problem = check_encode(768, 512, 0.0005);
  ASSERT_NE(problem, "");
  const double lowest = lowest_bitrate(768, 512);
  EXPECT_NE(problem.find(std::to_string(lowest).substr(0, 6)), std::string::npos) << problem;
  EXPECT_EQ(check_encode(768, 512, lowest), "");
  EXPECT_GE(stream_bytes(lowest, stream_rate_for(768, 512)), 27);
  EXPECT_NE(check_encode(768, 512, lowest * 0.999), "");
}

// The encoder plug-in's row can be one byte shorter than B + 4; at the lowest
// rate it must still hold the whole header (at 32x83, B = 27 at 0.0813253
// while the row has 30 cells).
TEST(Validate, TheLowestRateHoldsTheHeaderInThePluginRowToo) {
  EXPECT_NE(check_encode(32, 83, 0.0813253), "");
  for (int32_t w = 32; w < 300; ++w) {
    for (const int32_t h : {32, 83, 169, 710, 6860}) {
      const double lowest = lowest_bitrate(w, h);
      ASSERT_EQ(check_encode(w, h, lowest), "") << w << "x" << h;
      ASSERT_GE(stream_bytes(lowest, stream_rate_for(w, h)), kHeaderBytes) << w << "x" << h;
      ASSERT_GE(encoder_row_cells(w, h, lowest), kPrefixBytes + kHeaderBytes) << w << "x" << h;
    }
  }
}

TEST(Validate, StreamsMustHoldAConsistentHeader) {
  const RgbImage image = crop(load_sample(), 48, 40);
  const std::vector<uint8_t> row = encode_row(image, 0.5);
  int32_t w = 0, h = 0;
  EXPECT_EQ(check_stream(row.data(), row.size(), &w, &h), "");
  EXPECT_EQ(w, 48);
  EXPECT_EQ(h, 40);
  EXPECT_NE(check_stream(row.data(), 30, &w, &h), "");  // shorter than prefix + header
  EXPECT_EQ(check_stream(row.data(), 31, &w, &h), "");
  std::vector<uint8_t> bad = row;
  bad[4] = 'x';
  EXPECT_NE(check_stream(bad.data(), bad.size(), &w, &h), "");
  bad = row;
  bad[3] = 41;  // prefix height disagrees with the header
  EXPECT_NE(check_stream(bad.data(), bad.size(), &w, &h), "");
  bad = row;
  bad[1] = 8;  // a prefix below the smallest size
  EXPECT_NE(check_stream(bad.data(), bad.size(), &w, &h), "");
}

}  // namespace

}  // namespace quarn
