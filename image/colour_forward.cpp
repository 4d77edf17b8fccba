// Forward colour transform: remove the integer means and project each pixel
// onto the rows of the quantised colour matrix, over the whole coding area:
// straight from the pixels in the logical area, from the extended samples in
// the border.
#include <cstring>

#include "image/image_3c.h"
#include "image/kernels.h"

namespace quarn {

void Image_3C::ColourPixels(const uint8_t* pixels, std::ptrdiff_t stride) {
  kernels::Colour c;
  std::memcpy(c.mean, mean, sizeof mean);
  std::memcpy(c.matrix, matrix, sizeof matrix);
  const kernels::Table& k = kernels::active();
  for (int32_t i = 0; i < rows; ++i) {
    k.colour_pixels(pixels + i * stride, cols, plane[0][i], plane[1][i], plane[2][i], c,
                    lineStore);
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
