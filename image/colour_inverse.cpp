// Colour reconstruction and byte output: apply the transpose of the colour
// matrix, add the means, round and clamp to 0..255, straight into the
// output's rows; only the logical area is written.
#include <cstring>

#include "image/fatal.h"
#include "image/image_3c.h"
#include "image/kernels.h"

namespace quarn {

void Image_3C::WriteCells(uint8_t* out, std::ptrdiff_t out_stride) {
  WritePixels(out, out_stride, 4);
}

void Image_3C::WriteRgb(uint8_t* out, std::ptrdiff_t out_stride) {
  WritePixels(out, out_stride, 3);
}

void Image_3C::WritePixels(uint8_t* out, std::ptrdiff_t out_stride, int bytes) {
  if (levels < 1) FatalError("cannot recover < Image_3C >");
  kernels::Colour c;
  std::memcpy(c.mean, mean, sizeof mean);
  std::memcpy(c.matrix, matrix, sizeof matrix);
  const kernels::Table& k = kernels::active();
  const auto write = bytes == 4 ? k.colour_cells : k.colour_rgb;
  const std::size_t border = sizeof(float) * static_cast<std::size_t>(codeCols - cols);
  for (int32_t i = 0; i < rows; ++i) {
    write(plane[0][i], plane[1][i], plane[2][i], cols, c, out + i * out_stride, true);
    for (int p = 0; p < 3; ++p) std::memset(plane[p][i] + cols, 0, border);
  }
  // The border is not written out, so it is only cleared.
  for (int p = 0; p < 3; ++p) {
    for (int32_t i = rows; i < codeRows; ++i) {
      std::memset(plane[p][i], 0, sizeof(float) * static_cast<std::size_t>(codeCols));
    }
  }
  levels = 0;
}

}  // namespace quarn
