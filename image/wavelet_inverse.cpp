// Inverse transform: per level, coarsest first, rows then columns, each line
// interleaved (low-pass at even positions, high-pass at odd) and synthesised
// back in place; then the colour reconstruction.
#include "image/fatal.h"
#include "image/image_3c.h"
#include "image/kernels.h"

namespace quarn {

void Image_3C::Recover() {
  if (levels < 1) FatalError("cannot recover < Image_3C >");
  RecoverPlane(plane[0]);
  RecoverPlane(plane[1]);
  RecoverPlane(plane[2]);
  InverseColour();
  levels = 0;
}

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
