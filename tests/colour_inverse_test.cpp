// Colour reconstruction, rounding and clamping, and byte output.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "image/colour_header.h"
#include "image/image_3c.h"

namespace quarn {

namespace {

// An image as the inverse wavelet transform leaves it, with the identity
// colour matrix: its planes are written out as they are, plus the means.
void prepare_identity(Image_3C& image, int32_t rows, int32_t cols) {
  image.ResetCoefficients(rows, cols);
  for (int e = 0; e < 3; ++e)
    for (int r = 0; r < 3; ++r) image.matrix[e][r] = e == r ? 1.0f : 0.0f;
}

// Writes one sample s with the identity matrix and `mean` and returns the
// colour byte it gives.
int colour_of(int32_t mean, float s) {
  Image_3C image;
  prepare_identity(image, 16, 16);
  image.mean[0] = mean;
  image.plane[0][0][0] = s;
  uint8_t out[16 * 16 * 3];
  image.WriteRgb(out, 16 * 3);
  return out[0];
}

TEST(ColourInverse, RoundsJustBelowTheHalfAndClamps) {
  EXPECT_EQ(colour_of(10, 0.5f), 10);  // 10.999
  EXPECT_EQ(colour_of(10, 0.6f), 11);
  EXPECT_EQ(colour_of(0, -0.8f), 0);    // -0.3 truncates to 0
  EXPECT_EQ(colour_of(0, -2.2f), 0);    // -1.7 truncates to -1, clamped
  EXPECT_EQ(colour_of(0, 255.7f), 255);  // 256.2 clamps
  EXPECT_EQ(colour_of(200, 54.6f), 255);
  // Values no integer can hold clamp without an undefined conversion.
  EXPECT_EQ(colour_of(0, 1e30f), 255);
  EXPECT_EQ(colour_of(0, -1e30f), 0);
  EXPECT_EQ(colour_of(0, NAN), 0);
}

TEST(ColourInverse, ZeroCoefficientsDecodeToTheMeans) {
  ColourHeader header;
  const int32_t q[9] = {15774, 15774, 15774, 2000, 17000, 11111, 9000, 123, 19999};
  for (int i = 0; i < 9; ++i) header.matrix_q[i] = q[i];
  header.mean_q[0] = 12;
  header.mean_q[1] = 0;
  header.mean_q[2] = 255;
  Image_3C image;
  load_colour_q(image, header, 37, 45);
  for (int k = 0; k < 3; ++k) image.RecoverPlane(image.plane[k]);
  std::vector<uint8_t> out(37 * 45 * 3 + 1, 0xEE);
  image.WriteRgb(out.data(), 45 * 3);
  for (std::size_t i = 0; i < 37 * 45; ++i) {
    ASSERT_EQ(out[3 * i], 12);
    ASSERT_EQ(out[3 * i + 1], 0);
    ASSERT_EQ(out[3 * i + 2], 255);
  }
  EXPECT_EQ(out.back(), 0xEE);  // only the logical area is written
  EXPECT_EQ(image.levels, 0);
}

// Both layouts take the top left of the coding area, row by row at the given
// stride, and leave every sample zero for the next image of this size.
TEST(ColourInverse, WritingTakesTheTopLeftOfTheCodingAreaAndClearsIt) {
  for (const int bytes : {3, 4}) {
    Image_3C image;
    prepare_identity(image, 9, 10);  // coding size 16 x 16
    for (int k = 0; k < 3; ++k)
      for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) image.plane[k][y][x] = float(y * 16 + x + k);
    const std::ptrdiff_t stride = 10 * bytes + 2;
    std::vector<uint8_t> out(9 * stride, 0xEE);
    if (bytes == 3) {
      image.WriteRgb(out.data(), stride);
    } else {
      image.WriteCells(out.data(), stride);
    }
    for (int32_t y = 0; y < 9; ++y) {
      for (int32_t x = 0; x < 10; ++x) {
        const uint8_t* px = &out[y * stride + x * bytes];
        if (bytes == 4) {
          ASSERT_EQ(*px++, 255);
        }
        for (int k = 0; k < 3; ++k) ASSERT_EQ(px[k], (y * 16 + x + k) & 255);
      }
      ASSERT_EQ(out[y * stride + stride - 1], 0xEE);
    }
    for (int k = 0; k < 3; ++k)
      for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) ASSERT_EQ(image.plane[k][y][x], 0.0f);
  }
}

}  // namespace

}  // namespace quarn
