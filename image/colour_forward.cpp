// Forward colour transform: remove the integer means and project each pixel
// onto the rows of the quantised colour matrix, over the whole coding area:
// straight from the pixels in the logical area, from the extended samples in
// the border.
#include <cstring>

#include "image/image_3c.h"
#include "image/kernels.h"
#include "image/worker_pool.h"

namespace quarn {

kernels::Colour Image_3C::ColourParameters() const {
  kernels::Colour c;
  std::memcpy(c.mean, mean, sizeof mean);
  std::memcpy(c.matrix, matrix, sizeof matrix);
  return c;
}

void Image_3C::ColourPixels(const uint8_t* pixels, std::ptrdiff_t stride) {
  const kernels::Colour c = ColourParameters();
  const kernels::Table& k = kernels::active();
  ReserveWorkSlots(threads);
  const int32_t bands = task_count(threads, int64_t{codeRows} * codeCols, int64_t{1} << 14);
  run_tasks(threads, bands, [&](int32_t t, int32_t slot) {
    const int32_t end = part_begin(codeRows, bands, t + 1);
    for (int32_t i = part_begin(codeRows, bands, t); i < end; ++i) {
      if (i >= rows) {
        k.forward_colour(plane[0][i], plane[1][i], plane[2][i], codeCols, c);
        continue;
      }
      k.colour_pixels(pixels + i * stride, cols, plane[0][i], plane[1][i], plane[2][i], c,
                      WorkSlot(slot));
      if (cols < codeCols) {
        k.forward_colour(plane[0][i] + cols, plane[1][i] + cols, plane[2][i] + cols,
                         codeCols - cols, c);
      }
    }
  });
}

}  // namespace quarn
