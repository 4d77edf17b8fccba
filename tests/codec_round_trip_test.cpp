// Whole images through the encoder and decoder: quality rises with the
// rate, streams embed, and fixed streams keep their golden hashes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "codec_test_util.h"

namespace quarn {

namespace {

const double kRates[] = {0.1, 0.5, 2.0};

TEST(CodecRoundTrip, QualityRisesWithTheRate) {
  const RgbImage image = load_sample();
  double previous = 0.0;
  for (double rate : kRates) {
    const double q = psnr(image.pixels, decode_row(encode_row(image, rate), rate).pixels);
    EXPECT_GT(q, previous + 2.0) << rate;
    previous = q;
  }
  EXPECT_GT(previous, 40.0);
}

TEST(CodecRoundTrip, LowerDecoderRateGivesACoarserPictureOfTheSameStream) {
  const RgbImage image = load_sample();
  const std::vector<uint8_t> row = encode_row(image, 0.5);
  const double full = psnr(image.pixels, decode_row(row, 0.5).pixels);
  const double half = psnr(image.pixels, decode_row(row, 0.25).pixels);
  EXPECT_LT(half, full - 1.0);
  // Decoding a prefix at a rate equals decoding the stream coded at it.
  const std::vector<uint8_t> low = encode_row(image, 0.25);
  EXPECT_GT(psnr(decode_row(low, 0.25).pixels, decode_row(row, 0.25).pixels), 45.0);
}

TEST(CodecRoundTrip, StreamsAtLowerRatesArePrefixesOfHigherOnes) {
  const RgbImage image = crop(load_sample(), 257, 200, 100, 50);
  const std::vector<uint8_t> high = encode_row(image, 2.0);
  for (double rate : {0.02, 0.1, 0.5, 1.3}) {
    const std::vector<uint8_t> low = encode_row(image, rate);
    // All but the last two bytes: the flush byte and the one it cut.
    for (std::size_t i = 0; i + 2 < low.size(); ++i) ASSERT_EQ(low[i], high[i]) << rate << " " << i;
  }
}

TEST(CodecRoundTrip, EveryKodakPhotoAtThreeRates) {
  if (!std::filesystem::exists(kodak_path(1))) GTEST_SKIP() << "no Kodak images";
  double sum[3] = {0, 0, 0};
  for (int i = 1; i <= 24; ++i) {
    const RgbImage image = load_kodak(i);
    double previous = 0.0;
    for (int r = 0; r < 3; ++r) {
      const double q = psnr(image.pixels, decode_row(encode_row(image, kRates[r]), kRates[r]).pixels);
      EXPECT_GT(q, previous) << "kodim" << i << " at " << kRates[r];
      previous = q;
      sum[r] += q;
    }
  }
  std::printf("mean PSNR over 24 Kodak photos: %.2f dB at 0.1, %.2f at 0.5, %.2f at 2 bpp\n",
              sum[0] / 24, sum[1] / 24, sum[2] / 24);
}

// Any change to these values is a change of the coded format or of the
// arithmetic, and must be deliberate.
TEST(CodecRoundTrip, GoldenStreamsAndPixels) {
  const RgbImage sample = load_sample();
  struct Case {
    RgbImage image;
    double rate;
    uint64_t stream;
    uint64_t pixels;
  };
  const Case cases[] = {
      {crop(sample, 64, 48, 200, 150), 0.5, 0x9e9c7df3ea0bda78, 0x4679f3e37b18d609},
      {crop(sample, 100, 77, 33, 400), 2.0, 0x953742f7cad4e4ef, 0x53f6432098a9d1b6},
      {crop(sample, 257, 200, 500, 300), 0.1, 0x5c1f9a2238152ce4, 0x4a0d11e3a87d6c08},
      {sample, 0.25, 0xe2ab3d29ee4439f9, 0xcdea9aec065fa3c4},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> row = encode_row(c.image, c.rate);
    const RgbImage out = decode_row(row, c.rate);
    EXPECT_EQ(fnv1a(row), c.stream) << c.image.width << "x" << c.image.height;
    EXPECT_EQ(fnv1a(out.pixels), c.pixels) << c.image.width << "x" << c.image.height;
  }
}

}  // namespace

}  // namespace quarn
