#include "spiht/tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>

#include "image/image_3c.h"
#include "stream/budget.h"

namespace quarn {

namespace {

TEST(TopExponent, FollowsTheFloatRoundedLogarithm) {
  EXPECT_EQ(top_exponent_of(8.0f), 3);
  EXPECT_EQ(top_exponent_of(255.9f), 7);
  EXPECT_EQ(top_exponent_of(std::nextafter(8.0f, 0.0f)), 3);  // 7.9999995: one too high
  EXPECT_EQ(top_exponent_of(8192.0f), 12);                    // one too low
  EXPECT_EQ(top_exponent_of(1.0f), 0);
  // Below 1, and a constant image's 0, start at threshold 1.
  EXPECT_EQ(top_exponent_of(0.99f), 0);
  EXPECT_EQ(top_exponent_of(0.0f), 0);
  EXPECT_EQ(top_exponent_of(1e38f), 31);
}

#ifdef __GLIBC__
// glibc's log is correctly rounded, so the direct formula must agree with
// the table everywhere, and most sharply next to the powers of two.
TEST(TopExponent, TableAgreesWithTheDirectFormula) {
  const double ln2 = std::log(2.0);
  auto direct = [&](float m) {
    return static_cast<int32_t>(static_cast<float>(std::log(static_cast<double>(m))) / ln2);
  };
  for (int n = 0; n <= 30; ++n) {
    const auto centre = std::bit_cast<uint32_t>(std::ldexp(1.0f, n));
    for (uint32_t b = centre - 64; b <= centre + 64; ++b) {
      const float m = std::bit_cast<float>(b);
      if (m < 1.0f) continue;
      ASSERT_EQ(top_exponent_of(m), direct(m)) << m;
    }
  }
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> any(1.0f, 2e9f);
  for (int i = 0; i < 100000; ++i) {
    const float m = any(rng);
    ASSERT_EQ(top_exponent_of(m), direct(m)) << m;
  }
}
#endif

// Largest magnitude below the member at (r, c) of a group of `level`,
// gathered by walking the offspring rule explicitly.
float brute_max(float** c, int32_t r, int32_t col, int32_t level, int32_t L, int32_t top_rows,
                int32_t top_cols, int k) {
  int32_t gr, gc;
  if (level == L + 1) {
    gr = r - tree::kRowOffset[k] + tree::kRowOffset[k] * top_rows;
    gc = col - tree::kColOffset[k] + tree::kColOffset[k] * top_cols;
  } else {
    gr = 2 * r;
    gc = 2 * col;
  }
  float m = 0.0f;
  for (int j = 0; j < 4; ++j) {
    const int32_t y = gr + tree::kRowOffset[j], x = gc + tree::kColOffset[j];
    m = std::max(m, std::fabs(c[y][x]));
    if (level - 1 > 1) m = std::max(m, brute_max(c, y, x, level - 1, L, top_rows, top_cols, j));
  }
  return m;
}

TEST(DescendantMaxima, EveryMemberWithOffspringHoldsItsTreeMaximum) {
  for (const auto& size : {std::pair{64, 96}, std::pair{32, 40}}) {
    Image_3C coefficients;
    coefficients.ResetCoefficients(size.first, size.second);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> sample(-300.0f, 300.0f);
    float M = 0.0f;
    for (int k = 0; k < 3; ++k)
      for (int32_t y = 0; y < coefficients.codeRows; ++y)
        for (int32_t x = 0; x < coefficients.codeCols; ++x) {
          // Larger values deeper down, so that maxima come from the trees.
          const float v = sample(rng) * (1.0f + float(y + x) / 16.0f);
          coefficients.plane[k][y][x] = v;
          M = std::max(M, std::fabs(v));
        }
    SpihtState s;
    s.code_rows = coefficients.codeRows;
    s.code_cols = coefficients.codeCols;
    const int32_t L = std::min(spiht_levels(s.code_rows), spiht_levels(s.code_cols));
    Image_3C maxima;
    EXPECT_EQ(descendant_maxima(coefficients, maxima, s, L), top_exponent_of(M));

    const int32_t top_rows = s.code_rows >> L, top_cols = s.code_cols >> L;
    for (int k = 0; k < 3; ++k) {
      // Members with offspring: in the top band (not member 0 of a group),
      // or in any group of level 2 and up.
      for (int32_t y = 0; y < s.code_rows / 2; ++y) {
        for (int32_t x = 0; x < s.code_cols / 2; ++x) {
          const bool top = y < top_rows && x < top_cols;
          if (top && y % 2 == 0 && x % 2 == 0) continue;
          // Level of the group holding (y, x): L + 1 in the top band, one
          // less for each doubling of the region needed to reach it.
          int32_t level = L + 1;
          if (!top) {
            int g = 1;
            while (y >= (top_rows << g) || x >= (top_cols << g)) ++g;
            level = L + 1 - g;
            if (level < 2) continue;
          }
          const int member = (y % 2) * 2 + (x % 2);
          ASSERT_EQ(maxima.plane[k][y][x],
                    brute_max(coefficients.plane[k], y, x, level, L, top_rows, top_cols, member))
              << size.first << "x" << size.second << " plane " << k << " at " << y << "," << x;
        }
      }
    }
  }
}

}  // namespace

}  // namespace quarn
