// Pixels through the forward transforms and back, without coding: every
// pixel within one of the input and nearly all of them exact.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "image/colour_header.h"
#include "image/image_3c.h"
#include "test_images.h"
#include "tests/image_test_util.h"

namespace quarn {

namespace {

void expect_round_trip(const RgbImage& in, const std::string& what) {
  Image_3C enc;
  transform_pixels(enc, in.pixels.data(), in.height, in.width);
  ColourHeader header;
  set_mean_q(header, enc);
  set_matrix_q(header, enc);

  Image_3C dec;
  load_colour_q(dec, header, in.height, in.width);
  ASSERT_EQ(dec.levels, enc.levels);
  for (int k = 0; k < 3; ++k)
    for (int32_t y = 0; y < enc.codeRows; ++y)
      for (int32_t x = 0; x < enc.codeCols; ++x) dec.plane[k][y][x] = enc.plane[k][y][x];
  const std::vector<uint8_t> out = recover_pixels(dec);

  std::size_t exact = 0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    ASSERT_LE(std::abs(int(out[i]) - int(in.pixels[i])), 1) << what << " byte " << i;
    exact += out[i] == in.pixels[i];
  }
  EXPECT_GE(double(exact), 0.99 * double(out.size())) << what;
}

TEST(ImageRoundTrip, SampleAndAwkwardCrops) {
  const RgbImage sample = load_sample();
  ASSERT_EQ(sample.width, 768);
  expect_round_trip(sample, "sample");
  expect_round_trip(crop(sample, 33, 57, 300, 200), "33x57");
  expect_round_trip(crop(sample, 100, 199, 17, 5), "100x199");
  expect_round_trip(crop(sample, 257, 200, 400, 300), "257x200");
  expect_round_trip(crop(sample, 32, 32, 700, 0), "32x32");
}

TEST(ImageRoundTrip, EveryKodakPhoto) {
  if (!std::filesystem::exists(kodak_path(1))) GTEST_SKIP() << "no Kodak images";
  for (int i = 1; i <= 24; ++i) {
    const RgbImage image = load_kodak(i);
    ASSERT_GT(image.width, 0) << i;
    expect_round_trip(image, "kodim" + std::to_string(i));
  }
}

}  // namespace

}  // namespace quarn
