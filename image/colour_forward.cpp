// Forward colour transform: remove the integer means and project each pixel
// onto the rows of the quantised colour matrix, over the whole coding area.
#include <cstring>

#include "image/image_3c.h"
#include "image/kernels.h"

namespace quarn {

void Image_3C::ForwardColour() {
  kernels::Colour c;
  std::memcpy(c.mean, mean, sizeof mean);
  std::memcpy(c.matrix, matrix, sizeof matrix);
  const kernels::Table& k = kernels::active();
  for (int32_t i = 0; i < codeRows; ++i) {
    k.forward_colour(plane[0][i], plane[1][i], plane[2][i], codeCols, c);
  }
}

}  // namespace quarn
