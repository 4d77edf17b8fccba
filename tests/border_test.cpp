#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "image/image_3c.h"

namespace quarn {

namespace {

TEST(Border, NewColumnsAreSmoothedCopiesOfTheirPredecessor) {
  Image_3C image;
  image.Allocate(8, 9);  // coding size 8 x 16: seven new columns
  for (int32_t r = 0; r < 8; ++r)
    for (int32_t c = 0; c < 9; ++c) image.plane[0][r][c] = (c == 8) ? 3.0f * r : 0.0f;
  image.ExtendBorder(0);
  const float first[8] = {1.5f, 3, 6, 9, 12, 15, 18, 19.5f};
  const float second[8] = {2.25f, 3.5f, 6, 9, 12, 15, 17.5f, 18.75f};
  for (int32_t r = 0; r < 8; ++r) {
    EXPECT_EQ(image.plane[0][r][9], first[r]) << r;
    EXPECT_EQ(image.plane[0][r][10], second[r]) << r;
  }
}

TEST(Border, RowsBelowSmoothAcrossTheNewColumnsToo) {
  Image_3C image;
  image.Allocate(9, 9);  // coding size 16 x 16
  for (int32_t r = 0; r < 9; ++r)
    for (int32_t c = 0; c < 9; ++c) image.plane[1][r][c] = static_cast<float>(r * 9 + c * c);
  image.ExtendBorder(1);
  float** x = image.plane[1];
  EXPECT_EQ(image.current, x);
  // Row 9 is the horizontal smoothing of row 8 across all 16 columns.
  EXPECT_EQ(x[9][0], static_cast<float>((double(x[8][1]) + x[8][0]) * 0.5));
  EXPECT_EQ(x[9][15], static_cast<float>((double(x[8][14]) + x[8][15]) * 0.5));
  for (int32_t k = 1; k < 15; ++k) {
    EXPECT_EQ(x[9][k], static_cast<float>((double(x[8][k - 1]) + x[8][k] + x[8][k + 1]) / 3.0));
  }
}

TEST(Border, ConstantPlanesStayConstantAndFullSizeIsUntouched) {
  Image_3C image;
  image.Allocate(33, 57);
  for (int32_t r = 0; r < 33; ++r)
    for (int32_t c = 0; c < 57; ++c) image.plane[2][r][c] = 77.0f;
  image.ExtendBorder(2);
  for (int32_t r = 0; r < image.codeRows; ++r)
    for (int32_t c = 0; c < image.codeCols; ++c) ASSERT_EQ(image.plane[2][r][c], 77.0f);

  Image_3C exact;
  exact.Allocate(64, 64);
  for (int32_t r = 0; r < 64; ++r)
    for (int32_t c = 0; c < 64; ++c) exact.plane[0][r][c] = float(r - c);
  exact.ExtendBorder(0);
  for (int32_t r = 0; r < 64; ++r)
    for (int32_t c = 0; c < 64; ++c) ASSERT_EQ(exact.plane[0][r][c], float(r - c));
}

// The encoding pipeline loads only the last row and column before it extends
// the border: the border must come out as from fully loaded planes, for
// pixels whose rows lie further apart than 3 x width too.
TEST(Border, ExtendingFromTheLastRowAndColumnGivesTheWholePicturesBorder) {
  const int32_t sizes[][2] = {{64, 64}, {47, 64}, {64, 53}, {211, 417}, {33, 40}};
  for (const auto& size : sizes) {
    const int32_t rows = size[0], cols = size[1];
    const std::ptrdiff_t stride = cols * 3 + 7;
    std::vector<uint8_t> px(static_cast<std::size_t>(rows) * stride);
    uint32_t x = 7;
    for (uint8_t& b : px) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    Image_3C full, edges;
    full.Allocate(rows, cols);
    for (int k = 0; k < 3; ++k) {
      for (int32_t y = 0; y < rows; ++y)
        for (int32_t c = 0; c < cols; ++c) full.plane[k][y][c] = px[y * stride + 3 * c + k];
      full.ExtendBorder(static_cast<unsigned>(k));
    }
    edges.Measure(px.data(), stride, rows, cols);
    edges.ExtendBorders(px.data(), stride);
    for (int k = 0; k < 3; ++k) {
      for (int32_t y = 0; y < full.codeRows; ++y) {
        for (int32_t c = y < rows ? cols : 0; c < full.codeCols; ++c) {
          ASSERT_EQ(full.plane[k][y][c], edges.plane[k][y][c])
              << rows << "x" << cols << " plane " << k << " at " << y << "," << c;
        }
      }
    }
  }
}

}  // namespace

}  // namespace quarn
