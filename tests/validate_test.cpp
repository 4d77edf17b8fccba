#include "codec/validate.h"

#include <gtest/gtest.h>

#include <cmath>

#include "codec_test_util.h"
#include "stream/budget.h"

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

TEST(Validate, StreamsMustHoldAConsistentHeader) {
  const RgbImage image = crop(load_sample(), 48, 40);
  const std::vector<uint8_t> row = encode_row(image, 0.5);
  StreamHeader header;
  EXPECT_EQ(check_stream(row.data(), row.size(), &header), "");
  EXPECT_EQ(header.width, 48);
  EXPECT_EQ(header.height, 40);
  EXPECT_NE(check_stream(row.data(), 30, &header), "");  // shorter than prefix + header
  EXPECT_EQ(check_stream(row.data(), 31, &header), "");
  std::vector<uint8_t> bad = row;
  bad[4] = 'x';
  EXPECT_NE(check_stream(bad.data(), bad.size(), &header), "");
  bad = row;
  bad[3] = 41;  // prefix height disagrees with the header
  EXPECT_NE(check_stream(bad.data(), bad.size(), &header), "");
  bad = row;
  bad[1] = 8;  // a prefix below the smallest size
  EXPECT_NE(check_stream(bad.data(), bad.size(), &header), "");

  // The stream alone: an "n", the whole header, and sizes the codec takes.
  EXPECT_EQ(check_header(row.data() + 4, 27, &header), "");
  EXPECT_NE(check_header(row.data() + 4, 26, &header), "");
  bad = row;
  bad[4] = 'm';
  EXPECT_EQ(check_header(bad.data() + 4, bad.size() - 4, &header),
            "invalid < Decoder > file: the stream does not start with the byte \"n\"");
  bad = row;
  bad[7] = 0;  // clears the header's height (and part of its width)
  bad[6] &= 0x0F;
  EXPECT_NE(check_header(bad.data() + 4, bad.size() - 4, &header).find("stream header: "),
            std::string::npos);
}

}  // namespace

}  // namespace quarn
