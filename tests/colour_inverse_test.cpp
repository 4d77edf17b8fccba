// Colour reconstruction, rounding and clamping, and byte output.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "image/colour_header.h"
#include "image/image_3c.h"

namespace quarn {

namespace {

// Applies the inverse colour step with the identity matrix and `mean` to one
// sample s and returns the colour it gives.
float colour_of(int32_t mean, float s) {
  Image_3C image;
  image.Allocate(8, 8);
  for (int e = 0; e < 3; ++e)
    for (int r = 0; r < 3; ++r) image.matrix[e][r] = e == r ? 1.0f : 0.0f;
  image.mean[0] = mean;
  for (int k = 0; k < 3; ++k)
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 8; ++x) image.plane[k][y][x] = 0.0f;
  image.plane[0][0][0] = s;
  image.InverseColour();
  return image.plane[0][0][0];
}

TEST(ColourInverse, RoundsJustBelowTheHalfAndClamps) {
  EXPECT_EQ(colour_of(10, 0.5f), 10.0f);  // 10.999
  EXPECT_EQ(colour_of(10, 0.6f), 11.0f);
  EXPECT_EQ(colour_of(0, -0.8f), 0.0f);    // -0.3 truncates to 0
  EXPECT_EQ(colour_of(0, -2.2f), 0.0f);    // -1.7 truncates to -1, clamped
  EXPECT_EQ(colour_of(0, 255.7f), 255.0f);  // 256.2 clamps
  EXPECT_EQ(colour_of(200, 54.6f), 255.0f);
  // Values no integer can hold clamp without an undefined conversion.
  EXPECT_EQ(colour_of(0, 1e30f), 255.0f);
  EXPECT_EQ(colour_of(0, -1e30f), 0.0f);
  EXPECT_EQ(colour_of(0, NAN), 0.0f);
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
  image.Recover();
  std::vector<uint8_t> out(37 * 45 * 3 + 1, 0xEE);
  image.Write(out.data());
  for (std::size_t i = 0; i < 37 * 45; ++i) {
    ASSERT_EQ(out[3 * i], 12);
    ASSERT_EQ(out[3 * i + 1], 0);
    ASSERT_EQ(out[3 * i + 2], 255);
  }
  EXPECT_EQ(out.back(), 0xEE);  // only the logical area is written
  std::vector<uint8_t> again(out.size(), 0xEE);
  image.Write(again.data());
  EXPECT_EQ(again, out);
}

TEST(ColourInverse, WriteTakesTheTopLeftOfTheCodingArea) {
  Image_3C image;
  image.Allocate(9, 10);  // coding size 16 x 16
  image.levels = 0;
  for (int k = 0; k < 3; ++k)
    for (int32_t y = 0; y < 16; ++y)
      for (int32_t x = 0; x < 16; ++x) image.plane[k][y][x] = float(y * 16 + x + k);
  std::vector<uint8_t> out(9 * 10 * 3);
  image.Write(out.data());
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 10; ++x)
      for (int k = 0; k < 3; ++k) ASSERT_EQ(out[(y * 10 + x) * 3 + k], (y * 16 + x + k) & 255);
}

TEST(ColourInverseDeathTest, WriteNeedsTheColourDomain) {
  EXPECT_EXIT(
      {
        ColourHeader header;
        Image_3C image;
        load_colour_q(image, header, 32, 32);
        uint8_t out[32 * 32 * 3];
        image.Write(out);
      },
      ::testing::ExitedWithCode(1), "cannot write < Image_3C >");
}

}  // namespace

}  // namespace quarn
