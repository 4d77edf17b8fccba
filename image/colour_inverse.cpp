// Colour reconstruction and byte output: apply the transpose of the colour
// matrix, add the means, round and clamp to 0..255, straight into the
// output's rows; only the logical area is written.
#include <cstring>

#include "image/fatal.h"
#include "image/image_3c.h"
#include "image/kernels.h"
#include "image/worker_pool.h"

namespace quarn {

void Image_3C::WriteCells(uint8_t* out, std::ptrdiff_t out_stride) {
  WritePixels(out, out_stride, 4);
}

void Image_3C::WriteRgb(uint8_t* out, std::ptrdiff_t out_stride) {
  WritePixels(out, out_stride, 3);
}

void Image_3C::WritePixels(uint8_t* out, std::ptrdiff_t out_stride, int bytes) {
  if (levels < 1) FatalError("cannot recover < Image_3C >");
  const kernels::Colour c = ColourParameters();
  const kernels::Table& k = kernels::active();
  const auto write = bytes == 4 ? k.colour_cells : k.colour_rgb;
  const std::size_t border = sizeof(float) * static_cast<std::size_t>(codeCols - cols);
  const int32_t bands = task_count(threads, int64_t{codeRows} * codeCols, int64_t{1} << 14);
  run_tasks(threads, bands, [&](int32_t t, int32_t) {
    const int32_t end = part_begin(codeRows, bands, t + 1);
    for (int32_t i = part_begin(codeRows, bands, t); i < end; ++i) {
      if (i >= rows) {
        // The border is not written out, so it is only cleared.
        for (int p = 0; p < 3; ++p) {
          std::memset(plane[p][i], 0, sizeof(float) * static_cast<std::size_t>(codeCols));
        }
        continue;
      }
      write(plane[0][i], plane[1][i], plane[2][i], cols, c, out + i * out_stride, true);
      for (int p = 0; p < 3; ++p) std::memset(plane[p][i] + cols, 0, border);
    }
  });
  levels = 0;
}

}  // namespace quarn
