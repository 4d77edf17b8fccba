// Loading the pixels and gathering the colour statistics in one pass.
#include <cstdint>

#include "image/image_3c.h"
#include "image/kernels.h"

void Image_3C::Read(const uint8_t* pixels, int32_t newRows, int32_t newCols) {
  Load(pixels, newRows, newCols);
  ExtendBorder(0);
  ExtendBorder(1);
  ExtendBorder(2);
}

void Image_3C::Load(const uint8_t* pixels, int32_t newRows, int32_t newCols) {
  Allocate(newRows, newCols);
  levels = 0;

  kernels::PixelSums sums = {};
  const kernels::Table& k = kernels::active();
  for (int32_t i = 0; i < rows; ++i) {
    k.load_row(pixels + static_cast<std::size_t>(i) * cols * 3, cols, plane[0][i], plane[1][i],
               plane[2][i], &sums);
  }

  // Integer sums below 2^53 convert to exactly the double sums.
  double sum[3] = {static_cast<double>(sums.sum[0]), static_cast<double>(sums.sum[1]),
                   static_cast<double>(sums.sum[2])};
  double prod[3][3] = {{static_cast<double>(sums.prod[0]), static_cast<double>(sums.prod[1]),
                        static_cast<double>(sums.prod[2])},
                       {0.0, static_cast<double>(sums.prod[3]), static_cast<double>(sums.prod[4])},
                       {0.0, 0.0, static_cast<double>(sums.prod[5])}};
  Jacobi(sum, prod);
}
