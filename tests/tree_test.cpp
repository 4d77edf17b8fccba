#include "spiht/tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>
#include <vector>
#include <bit>
#include <cmath>
#include <random>

#include "codec_test_util.h"
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

// The finest maxima taken band by band as the first level makes its rows
// are those that a sweep over the finished planes takes, whatever the split
// into bands (which the thread count sets), and every pair of rows is told
// exactly once.
TEST(DescendantMaxima, FinestTakenDuringTheFirstLevelAreTheSame) {
  const std::pair<int32_t, int32_t> sizes[] = {{77, 100}, {389, 517}, {999, 40}, {64, 64}};
  for (const auto& [rows, cols] : sizes) {
    const std::vector<uint8_t> px =
        test_picture(cols, rows, static_cast<uint32_t>(rows * 7 + cols)).pixels;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(cols) * 3;
    auto coefficients = [&](Image_3C& image, int32_t threads, RowPairsDone done,
                            Image_3C* maxima) {
      image.threads = threads;
      image.Measure(px.data(), stride, rows, cols);
      image.BeginTransform();
      if (maxima != nullptr) prepare_maxima(*maxima, image.codeRows, image.codeCols);
      image.ColourFirstLevel(px.data(), stride, done);
      image.TransformDeeper();
    };
    Image_3C plain, plain_maxima;
    coefficients(plain, 1, {}, nullptr);
    SpihtState s;
    s.code_rows = plain.codeRows;
    s.code_cols = plain.codeCols;
    const int32_t L = tree_levels_for(s.code_rows, s.code_cols);
    ASSERT_GE(L, 2);
    ASSERT_EQ(s.code_rows % 4, 0);
    const int32_t expected = descendant_maxima(plain, plain_maxima, s, L);
    for (int32_t threads : {1, 2, 3, 7}) {
      struct Told {
        Image_3C image, maxima;
        std::vector<std::atomic<int>> times;
      } told{{}, {}, std::vector<std::atomic<int>>(3 * static_cast<std::size_t>(s.code_rows / 4))};
      RowPairsDone done;
      done.context = &told;
      done.call = [](void* context, int plane, int32_t y0, int32_t y1) {
        auto& t = *static_cast<Told*>(context);
        for (int32_t y = y0; y < y1; ++y) {
          ++t.times[static_cast<std::size_t>(plane * t.image.codeRows / 4 + y)];
        }
        finest_maxima(t.image, t.maxima, plane, y0, y1);
      };
      coefficients(told.image, threads, done, &told.maxima);
      EXPECT_EQ(descendant_maxima(told.image, told.maxima, s, L, true), expected);
      for (const std::atomic<int>& n : told.times) ASSERT_EQ(n.load(), 1);
      for (int k = 0; k < 3; ++k) {
        for (int32_t y = 0; y < plain_maxima.codeRows; ++y) {
          ASSERT_EQ(std::memcmp(told.maxima.plane[k][y], plain_maxima.plane[k][y],
                                sizeof(float) * static_cast<std::size_t>(plain_maxima.codeCols)),
                    0)
              << rows << "x" << cols << ", " << threads << " threads, plane " << k << " row " << y;
        }
      }
    }
  }
}

}  // namespace

}  // namespace quarn
