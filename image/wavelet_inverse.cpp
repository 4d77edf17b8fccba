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
    RunPass(k.inverse_rows, false, &p, 1, nr, nc);
    RunPass(k.inverse_columns, true, &p, 1, nr, nc);
  }
}

// Every level but the first, all three planes in each pass.
void Image_3C::RecoverDeeper() {
  const kernels::Table& k = kernels::active();
  float** const planes[3] = {plane[0], plane[1], plane[2]};
  for (int32_t l = levels - 1; l >= 1; --l) {
    const int32_t nr = codeRows >> l;
    const int32_t nc = codeCols >> l;
    RunPass(k.inverse_rows, false, planes, 3, nr, nc);
    RunPass(k.inverse_columns, true, planes, 3, nr, nc);
  }
}

}  // namespace quarn
