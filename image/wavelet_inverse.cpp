// Inverse transform: per level, coarsest first, rows then columns, each line
// interleaved (low-pass at even positions, high-pass at odd) and synthesised
// back in place. The colour reconstruction follows as the planes are written
// out (colour_inverse.cpp).
#include "image/image_3c.h"
#include "image/kernels.h"

namespace quarn {

void Image_3C::RecoverPlane(float** p) {
  const kernels::Table& k = kernels::active();
  for (int32_t l = levels - 1; l >= 0; --l) {
    const int32_t nr = codeRows >> l;
    const int32_t nc = codeCols >> l;
    k.inverse_rows(p[0], stride, nr, nc, lineStore);
    k.inverse_columns(p[0], stride, nr, nc, lineStore);
  }
}

}  // namespace quarn
