// Inverse transform: per level, coarsest first, rows then columns, each line
// interleaved (low-pass at even positions, high-pass at odd) and synthesised
// back in place; then the colour reconstruction.
#include "image/fatal.h"
#include "image/image_3c.h"
#include "image/wavelet_kernels.h"

void Image_3C::Recover() {
  if (levels < 1) FatalError("cannot recover < Image_3C >");
  RecoverPlane(plane[0]);
  RecoverPlane(plane[1]);
  RecoverPlane(plane[2]);
  InverseColour();
  levels = 0;
}

void Image_3C::RecoverPlane(float** p) {
  for (int32_t l = levels - 1; l >= 0; --l) {
    const int32_t nr = codeRows >> l;
    const int32_t nc = codeCols >> l;
    const int32_t hr = nr / 2;
    const int32_t hc = nc / 2;

    for (int32_t y = 0; y < nr; ++y) {
      const float* row = p[y];
      for (int32_t k = 0; k < hc; ++k) {
        line[2 * k] = row[k];
        line[2 * k + 1] = row[hc + k];
      }
      MirrorLine(line, line + nc - 1);
      wavelet::synthesize_line(line, hc, p[y], 1);
    }
    for (int32_t x = 0; x < nc; ++x) {
      for (int32_t k = 0; k < hr; ++k) {
        line[2 * k] = p[k][x];
        line[2 * k + 1] = p[hr + k][x];
      }
      MirrorLine(line, line + nr - 1);
      wavelet::synthesize_line(line, hr, &p[0][x], stride);
    }
  }
}
