// Loading the pixels and gathering the colour statistics in one pass; and the
// encoding pipeline's variant, which measures first and then transforms the
// colours straight from the pixels.
#include <cstdint>
#include <cstring>

#include "image/image_3c.h"
#include "image/kernels.h"

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

void Image_3C::Read(const uint8_t* pixels, int32_t newRows, int32_t newCols) {
  Allocate(newRows, newCols);
  levels = 0;
  kernels::PixelSums sums = {};
  const kernels::Table& k = kernels::active();
  for (int32_t i = 0; i < rows; ++i) {
    k.load_row(pixels + static_cast<std::size_t>(i) * cols * 3, cols, plane[0][i], plane[1][i],
               plane[2][i], &sums);
  }
  run_jacobi(*this, sums);
  ExtendBorder(0);
  ExtendBorder(1);
  ExtendBorder(2);
}

void Image_3C::Measure(const uint8_t* pixels, int32_t newRows, int32_t newCols) {
  Allocate(newRows, newCols);
  levels = 0;
  kernels::PixelSums sums = {};
  const kernels::Table& k = kernels::active();
  for (int32_t i = 0; i < rows; ++i) {
    k.pixel_sums(pixels + static_cast<std::size_t>(i) * cols * 3, cols, &sums);
  }
  run_jacobi(*this, sums);
}

// The border is made from the last column and the last row of the picture
// alone, so only those are loaded before extending.
void Image_3C::ExtendBorders(const uint8_t* pixels) {
  if (rows == codeRows && cols == codeCols) return;
  for (int32_t i = 0; i < rows; ++i) {
    const uint8_t* px = pixels + (static_cast<std::size_t>(i) * cols + (cols - 1)) * 3;
    for (int k = 0; k < 3; ++k) plane[k][i][cols - 1] = static_cast<float>(px[k]);
  }
  const uint8_t* last = pixels + static_cast<std::size_t>(rows - 1) * cols * 3;
  for (int32_t j = 0; j < cols; ++j) {
    for (int k = 0; k < 3; ++k) plane[k][rows - 1][j] = static_cast<float>(last[3 * j + k]);
  }
  ExtendBorder(0);
  ExtendBorder(1);
  ExtendBorder(2);
}

void Image_3C::ColourPixels(const uint8_t* pixels) {
  kernels::Colour c;
  std::memcpy(c.mean, mean, sizeof mean);
  std::memcpy(c.matrix, matrix, sizeof matrix);
  const kernels::Table& k = kernels::active();
  for (int32_t i = 0; i < rows; ++i) {
    k.colour_pixels(pixels + static_cast<std::size_t>(i) * cols * 3, cols, plane[0][i],
                    plane[1][i], plane[2][i], c, lineStore);
    if (cols < codeCols) {
      k.forward_colour(plane[0][i] + cols, plane[1][i] + cols, plane[2][i] + cols,
                       codeCols - cols, c);
    }
  }
  for (int32_t i = rows; i < codeRows; ++i) {
    k.forward_colour(plane[0][i], plane[1][i], plane[2][i], codeCols, c);
  }
}

}  // namespace quarn
