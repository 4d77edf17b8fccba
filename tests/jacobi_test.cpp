// Loading pixels, colour statistics and the eigenvector matrix.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "image/colour_header.h"
#include "image/image_3c.h"
#include "tests/image_test_util.h"

namespace quarn {

namespace {

std::vector<uint8_t> pixels_of(int32_t rows, int32_t cols, uint8_t (*f)(int32_t, int32_t, int)) {
  std::vector<uint8_t> px;
  for (int32_t i = 0; i < rows; ++i)
    for (int32_t j = 0; j < cols; ++j)
      for (int c = 0; c < 3; ++c) px.push_back(f(i, j, c));
  return px;
}

TEST(Jacobi, ConstantImageGivesIdentityAndZeroCoefficients) {
  // At 32 x 49, 1/1568 is not exact, so the covariance holds rounding
  // residues and the matrix follows them; the samples, equal to the means,
  // still vanish.
  struct Case {
    int32_t rows, cols;
    uint8_t colour[3];
  };
  for (const Case& c : {Case{64, 64, {10, 200, 77}}, Case{32, 49, {131, 7, 250}}}) {
    std::vector<uint8_t> px;
    for (int32_t i = 0; i < c.rows * c.cols; ++i) px.insert(px.end(), c.colour, c.colour + 3);
    Image_3C image;
    image.Measure(px.data(), c.cols * 3, c.rows, c.cols);
    EXPECT_EQ(image.levels, 0);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(image.mean[k], c.colour[k]);
    if (c.rows == 64) {
      for (int e = 0; e < 3; ++e)
        for (int r = 0; r < 3; ++r) EXPECT_EQ(image.matrix[e][r], e == r ? 1.0f : 0.0f);
      ColourHeader header;
      set_mean_q(header, image);
      set_matrix_q(header, image);
      const int32_t expected[9] = {20000, 10000, 10000, 10000, 20000, 10000, 10000, 10000, 20000};
      for (int i = 0; i < 9; ++i) EXPECT_EQ(header.matrix_q[i], expected[i]);
      EXPECT_EQ(header.mean_q[1], 200);
    }
    transform_pixels(image, px.data(), c.rows, c.cols);
    for (int k = 0; k < 3; ++k)
      for (int32_t y = 0; y < image.codeRows; ++y)
        for (int32_t x = 0; x < image.codeCols; ++x)
          ASSERT_EQ(image.plane[k][y][x], 0.0f) << c.rows << "x" << c.cols;
  }
}

TEST(Jacobi, EqualColoursGiveTheDiagonalAxisFirst) {
  const auto px = pixels_of(64, 64, [](int32_t i, int32_t j, int) {
    return static_cast<uint8_t>((i * 3 + j * 5) & 255);
  });
  Image_3C image;
  image.Measure(px.data(), 64 * 3, 64, 64);
  ColourHeader header;
  set_matrix_q(header, image);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(image.matrix[0][r], static_cast<float>(5774 * 0.0001));
    EXPECT_EQ(header.matrix_q[r], 15774);
  }
}

TEST(Jacobi, MeanOfExactlyAHalfCanRoundDown) {
  // 2352 x (1 / 1568) is 1.4999999999999998 in double precision.
  const auto px = pixels_of(32, 49, [](int32_t i, int32_t j, int c) {
    return static_cast<uint8_t>(c == 0 ? ((i * 49 + j) % 2 ? 2 : 1) : 100);
  });
  Image_3C image;
  image.Measure(px.data(), 49 * 3, 32, 49);
  EXPECT_EQ(image.mean[0], 1);
  EXPECT_EQ(image.mean[1], 100);
}

TEST(Jacobi, RowsAreUnitEigenvectorsOrderedByVariance) {
  // Colour 2 varies most, colour 0 least, and they are correlated.
  const auto px = pixels_of(64, 64, [](int32_t i, int32_t j, int c) {
    const int v = (i * 7 + j * 3) % 64;
    return static_cast<uint8_t>(c == 0 ? v / 4 + (j % 5) : c == 1 ? v + (i % 3) * 9 : 3 * v);
  });
  Image_3C image;
  image.Measure(px.data(), 64 * 3, 64, 64);
  for (int e = 0; e < 3; ++e) {
    double norm = 0.0;
    for (int r = 0; r < 3; ++r) norm += double(image.matrix[e][r]) * image.matrix[e][r];
    EXPECT_NEAR(norm, 1.0, 1e-3);
    for (int f = e + 1; f < 3; ++f) {
      double dot = 0.0;
      for (int r = 0; r < 3; ++r) dot += double(image.matrix[e][r]) * image.matrix[f][r];
      EXPECT_NEAR(dot, 0.0, 1e-3);
    }
  }
  EXPECT_GT(std::fabs(image.matrix[0][2]), std::fabs(image.matrix[0][0]));
  // The projection leaves the largest variance in plane 0.
  transform_pixels(image, px.data(), 64, 64);
  double energy[3] = {0, 0, 0};
  for (int k = 0; k < 3; ++k)
    for (int32_t y = 0; y < 64; ++y)
      for (int32_t x = 0; x < 64; ++x) energy[k] += double(image.plane[k][y][x]) * image.plane[k][y][x];
  EXPECT_GT(energy[0], energy[1]);
  EXPECT_GT(energy[1], energy[2]);
}

TEST(ColourHeader, EveryQuantisedEntrySurvivesTheHeaderBitForBit) {
  Image_3C image;
  image.Allocate(8, 8);
  ColourHeader header;
  for (int n = -10000; n <= 10000; ++n) {
    const float entry = static_cast<float>(static_cast<double>(n) * 0.0001);
    for (int e = 0; e < 3; ++e)
      for (int r = 0; r < 3; ++r) image.matrix[e][r] = entry;
    set_matrix_q(header, image);
    ASSERT_EQ(header.matrix_q[4], 10000 + n);
    Image_3C decoded;
    load_colour_q(decoded, header, 16, 16);
    ASSERT_EQ(decoded.matrix[1][1], entry) << n;
  }
}

TEST(ColourHeader, LoadColourResetsAndSetsTheParameters) {
  ColourHeader header;
  for (int e = 0; e < 3; ++e) {
    header.mean_q[e] = 30 + e;
    for (int r = 0; r < 3; ++r) header.matrix_q[3 * e + r] = e == r ? 20000 : 10000;
  }
  Image_3C image;
  load_colour_q(image, header, 240, 320);
  EXPECT_EQ(image.levels, 4);
  EXPECT_EQ(image.mean[2], 32);
  for (int e = 0; e < 3; ++e)
    for (int r = 0; r < 3; ++r) EXPECT_EQ(image.matrix[e][r], e == r ? 1.0f : 0.0f);
  EXPECT_EQ(image.plane[0][0][0], 0.0f);
}

void decompose_not_a_number() {
  Image_3C image;
  image.Allocate(8, 8);
  double sum[3];
  double prod[3][3];
  for (int k = 0; k < 3; ++k) {
    sum[k] = NAN;
    for (int l = 0; l < 3; ++l) prod[k][l] = NAN;
  }
  image.Jacobi(sum, prod);
}

TEST(JacobiFault, NotANumberCannotBeDecomposed) {
  EXPECT_EQ(fault_message([&] { decompose_not_a_number(); }), "Incorrect decomposition");
}

}  // namespace

}  // namespace quarn
