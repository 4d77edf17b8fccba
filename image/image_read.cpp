// Reading the pixels: the colour statistics in one pass, then the last row and
// column, from which the border is extended. The pixels themselves are not
// stored: the forward colour transform reads them (colour_forward.cpp).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "image/image_3c.h"
#include "image/kernels.h"
#include "image/worker_pool.h"

namespace quarn {

namespace {

// Integer sums below 2^53 convert to exactly the double sums.
void run_jacobi(Image_3C& image, const kernels::PixelSums& sums) {
  double sum[3] = {static_cast<double>(sums.sum[0]), static_cast<double>(sums.sum[1]),
                   static_cast<double>(sums.sum[2])};
  double prod[3][3] = {{static_cast<double>(sums.prod[0]), static_cast<double>(sums.prod[1]),
                        static_cast<double>(sums.prod[2])},
                       {0.0, static_cast<double>(sums.prod[3]), static_cast<double>(sums.prod[4])},
                       {0.0, 0.0, static_cast<double>(sums.prod[5])}};
  image.Jacobi(sum, prod);
}

}  // namespace

void Image_3C::Measure(const uint8_t* pixels, std::ptrdiff_t stride, int32_t newRows,
                       int32_t newCols) {
  Allocate(newRows, newCols);
  levels = 0;
  // Each band of rows sums into its own record; integer sums are exact in
  // any grouping, so the totals do not depend on the split.
  constexpr int32_t kMostBands = 64;
  kernels::PixelSums band[kMostBands] = {};
  const int32_t bands =
      std::min(kMostBands, task_count(threads, int64_t{rows} * cols, int64_t{1} << 15));
  const kernels::Table& k = kernels::active();
  run_tasks(threads, bands, [&](int32_t t, int32_t) {
    const int32_t end = part_begin(rows, bands, t + 1);
    for (int32_t i = part_begin(rows, bands, t); i < end; ++i) {
      k.pixel_sums(pixels + i * stride, cols, &band[t]);
    }
  });
  kernels::PixelSums sums = {};
  for (int32_t t = 0; t < bands; ++t) {
    for (int c = 0; c < 3; ++c) sums.sum[c] += band[t].sum[c];
    for (int c = 0; c < 6; ++c) sums.prod[c] += band[t].prod[c];
  }
  run_jacobi(*this, sums);
}

// The border is made from the last column and the last row of the picture
// alone, so only those are loaded before extending.
void Image_3C::ExtendBorders(const uint8_t* pixels, std::ptrdiff_t stride) {
  if (rows == codeRows && cols == codeCols) return;
  for (int32_t i = 0; i < rows; ++i) {
    const uint8_t* px = pixels + i * stride + static_cast<std::ptrdiff_t>(cols - 1) * 3;
    for (int k = 0; k < 3; ++k) plane[k][i][cols - 1] = static_cast<float>(px[k]);
  }
  const uint8_t* last = pixels + (rows - 1) * stride;
  for (int32_t j = 0; j < cols; ++j) {
    for (int k = 0; k < 3; ++k) plane[k][rows - 1][j] = static_cast<float>(last[3 * j + k]);
  }
  ExtendBorder(0);
  ExtendBorder(1);
  ExtendBorder(2);
}

}  // namespace quarn
