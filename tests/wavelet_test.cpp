// Forward and inverse 9/7 wavelet transforms.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "image/image_3c.h"
#include "tests/image_test_util.h"

namespace quarn {

namespace {

// An image in the pixel state whose planes hold `value` after the colour
// projection, over the whole coding area.
void prepare_planes(Image_3C& image, int32_t rows, int32_t cols, float value) {
  image.Allocate(rows, cols);
  image.levels = 0;
  for (int k = 0; k < 3; ++k)
    for (int32_t y = 0; y < image.codeRows; ++y)
      for (int32_t x = 0; x < image.codeCols; ++x) image.plane[k][y][x] = value;
}

// The wavelet half of the encoder's transform.
void transform_planes(Image_3C& image) {
  image.BeginTransform();
  for (int k = 0; k < 3; ++k) image.TransformPlane(image.plane[k]);
}

TEST(Wavelet, ConstantPlaneGainsTwoPerLevelInTheLowBandOnly) {
  Image_3C image;
  prepare_planes(image, 32, 32, 100.0f);
  transform_planes(image);
  ASSERT_EQ(image.levels, 2);
  const double band = 100.0 * 4;  // v * 2^L; the coarsest band is 8 x 8
  for (int32_t y = 0; y < 32; ++y) {
    for (int32_t x = 0; x < 32; ++x) {
      const double c = image.plane[1][y][x];
      if (y < 8 && x < 8) {
        EXPECT_NEAR(c, band, band * 5e-5);
      } else {
        EXPECT_LT(std::fabs(c), band * 1e-6) << y << "," << x;
      }
    }
  }
}

TEST(Wavelet, ForwardThenInverseReturnsRandomSamples) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> sample(-128.0f, 128.0f);
  // 64 gives 3 levels, 128 x 96 gives 4 (and the 32-sample edge case on the
  // narrow side at the last level).
  for (const auto& size : {std::pair{64, 64}, std::pair{128, 96}, std::pair{40, 72}}) {
    Image_3C image;
    image.Allocate(size.first, size.second);
    image.levels = std::min(Image_3C::LevelCount(image.codeRows),
                            Image_3C::LevelCount(image.codeCols));
    std::vector<float> original;
    for (int32_t y = 0; y < image.codeRows; ++y)
      for (int32_t x = 0; x < image.codeCols; ++x) original.push_back(image.plane[0][y][x] = sample(rng));
    image.TransformPlane(image.plane[0]);
    image.RecoverPlane(image.plane[0]);
    std::size_t i = 0;
    for (int32_t y = 0; y < image.codeRows; ++y)
      for (int32_t x = 0; x < image.codeCols; ++x, ++i)
        ASSERT_NEAR(image.plane[0][y][x], original[i], 1e-3) << y << "," << x;
  }
}

TEST(Wavelet, SingleCoarseCoefficientSpreadsIntoASymmetricBump) {
  Image_3C image;
  image.ResetCoefficients(64, 64);
  ASSERT_EQ(image.levels, 3);
  image.plane[0][0][0] = 100.0f;
  image.RecoverPlane(image.plane[0]);
  const float peak = image.plane[0][0][0];
  EXPECT_NEAR(peak, 18.0, 1.0);
  for (int32_t y = 0; y < 64; ++y) {
    for (int32_t x = 0; x < 64; ++x) {
      EXPECT_NEAR(image.plane[0][y][x], image.plane[0][x][y], 1e-4);
      EXPECT_LE(image.plane[0][y][x], peak);
    }
  }
  EXPECT_EQ(image.plane[0][40][40], 0.0f);  // far corner untouched
}

TEST(Wavelet, ConstantLowBandRecoversToItsShare) {
  Image_3C image;
  image.ResetCoefficients(128, 128);  // 4 levels, 8 x 8 coarsest band
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) image.plane[2][y][x] = 1600.0f;
  image.RecoverPlane(image.plane[2]);
  for (int32_t y = 0; y < 128; ++y)
    for (int32_t x = 0; x < 128; ++x) ASSERT_NEAR(image.plane[2][y][x], 100.0, 100.0 * 5e-5);
}

TEST(WaveletFault, StatesAndSizesAreChecked) {
  EXPECT_EQ(fault_message([&] { Image_3C().BeginTransform(); }), "cannot transform < Image_3C >");
  EXPECT_EQ(fault_message([&] {
              Image_3C image;
              prepare_planes(image, 32, 32, 1.0f);
              transform_planes(image);
              transform_planes(image);
            }),
            "cannot transform < Image_3C >");
  EXPECT_EQ(fault_message([&] {
              Image_3C image;
              prepare_planes(image, 31, 100, 1.0f);  // coding size 32 x 104
              transform_planes(image);
            }),
            "< Image_3C > is too small to transform");
  EXPECT_EQ(fault_message([&] {
              Image_3C image;
              image.ResetCoefficients(8, 64);  // coding size 8 allows no level
              recover_pixels(image);
            }),
            "cannot recover < Image_3C >");
  EXPECT_EQ(fault_message([&] {
              Image_3C image;
              image.ResetCoefficients(9, 9);  // coding size 16: one level
              recover_pixels(image);
              recover_pixels(image);
            }),
            "cannot recover < Image_3C >");
}

}  // namespace

}  // namespace quarn
