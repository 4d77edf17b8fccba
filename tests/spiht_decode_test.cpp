#include "spiht/spiht_decode.h"

#include <gtest/gtest.h>

#include <cmath>

#include "spiht_test_util.h"

namespace quarn {

namespace {

TEST(SpihtDecode, ExampleGroupReconstructsAtThirtyEightHundredths) {
  SmallCode code;
  code.place_example();
  code.encode(4000);
  // Found at threshold 8: 1.38 T. Refined at 4 (bits 0 and 1): 9.75, -13.75.
  const auto a = code.value_history(0, 0, 40);
  const auto b = code.value_history(1, 1, 40);
  ASSERT_GE(a.size(), 2u);
  ASSERT_GE(b.size(), 2u);
  EXPECT_EQ(a[0], 11.039999961853027);
  EXPECT_EQ(a[1], 9.75);
  EXPECT_EQ(b[0], -11.039999961853027);
  EXPECT_EQ(b[1], -13.75);
}

TEST(SpihtDecode, RefinementOffsetsAtSmallThresholds) {
  SmallCode code;
  float** p = code.coefficients.plane[0];
  p[0][0] = 2.5f;   // found at 2, then refined with a 0
  p[0][1] = 3.2f;   // found at 2, then refined with a 1
  p[1][0] = -1.2f;  // found at 1
  code.encode(4000);
  ASSERT_EQ(code.top_exponent, 1);
  const auto a = code.value_history(0, 0, 40);
  const auto b = code.value_history(0, 1, 40);
  const auto c = code.value_history(1, 0, 40);
  ASSERT_GE(a.size(), 2u);
  ASSERT_GE(b.size(), 2u);
  ASSERT_GE(c.size(), 2u);
  EXPECT_EQ(a[0], 2.759999990463257);  // even the smallest budget decodes the first group
  EXPECT_EQ(a[1], 2.4375);
  EXPECT_EQ(b[1], 3.4375);
  EXPECT_EQ(c[0], 0.0);
  EXPECT_EQ(c[1], -1.3799999952316284);
}

TEST(SpihtDecode, UnreachedCoefficientsStayZeroAndSignsAreKept) {
  SmallCode code;
  for (int k = 0; k < 3; ++k)
    for (int32_t y = 0; y < 32; ++y)
      for (int32_t x = 0; x < 32; ++x)
        code.coefficients.plane[k][y][x] = float(((y * 7 + x * 13 + k) % 19) - 9) * (y < 8 ? 4.0f : 1.0f);
  Image_3C original;
  original.ResetCoefficients(32, 32);
  for (int k = 0; k < 3; ++k)
    for (int32_t y = 0; y < 32; ++y)
      for (int32_t x = 0; x < 32; ++x) original.plane[k][y][x] = code.coefficients.plane[k][y][x];
  code.encode(60);
  Image_3C out;
  code.decode(60, &out);
  int nonzero = 0;
  for (int k = 0; k < 3; ++k)
    for (int32_t y = 0; y < 32; ++y)
      for (int32_t x = 0; x < 32; ++x) {
        const float d = out.plane[k][y][x], o = original.plane[k][y][x];
        if (d == 0.0f) continue;
        ++nonzero;
        ASSERT_EQ(d > 0.0f, o > 0.0f) << k << " " << y << "," << x;
        ASSERT_GE(std::fabs(o), std::fabs(d) / 1.38f / 2.0f);
      }
  EXPECT_GT(nonzero, 0);
}

}  // namespace

}  // namespace quarn
