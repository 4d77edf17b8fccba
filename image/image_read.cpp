// Loading the pixels and gathering the colour statistics in one pass.
#include <cstdint>

#include "image/image_3c.h"

void Image_3C::Read(const uint8_t* pixels, int32_t newRows, int32_t newCols) {
  Load(pixels, newRows, newCols);
  ExtendBorder(0);
  ExtendBorder(1);
  ExtendBorder(2);
}

void Image_3C::Load(const uint8_t* pixels, int32_t newRows, int32_t newCols) {
  Allocate(newRows, newCols);
  levels = 0;

  // Every term is an integer and every partial sum stays below 2^53 for the
  // largest image, so integer accumulation gives exactly the double sums.
  uint64_t s[3] = {0, 0, 0};
  uint64_t p00 = 0, p01 = 0, p02 = 0, p11 = 0, p12 = 0, p22 = 0;
  for (int32_t i = 0; i < rows; ++i) {
    float* r0 = plane[0][i];
    float* r1 = plane[1][i];
    float* r2 = plane[2][i];
    const uint8_t* px = pixels + static_cast<std::size_t>(i) * cols * 3;
    for (int32_t j = 0; j < cols; ++j, px += 3) {
      const uint32_t c0 = px[0], c1 = px[1], c2 = px[2];
      r0[j] = static_cast<float>(c0);
      r1[j] = static_cast<float>(c1);
      r2[j] = static_cast<float>(c2);
      s[0] += c0;
      s[1] += c1;
      s[2] += c2;
      p00 += c0 * c0;
      p01 += c0 * c1;
      p02 += c0 * c2;
      p11 += c1 * c1;
      p12 += c1 * c2;
      p22 += c2 * c2;
    }
  }

  double sum[3] = {static_cast<double>(s[0]), static_cast<double>(s[1]),
                   static_cast<double>(s[2])};
  double prod[3][3] = {
      {static_cast<double>(p00), static_cast<double>(p01), static_cast<double>(p02)},
      {0.0, static_cast<double>(p11), static_cast<double>(p12)},
      {0.0, 0.0, static_cast<double>(p22)}};
  Jacobi(sum, prod);
}
