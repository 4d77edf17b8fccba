// Border extension: the samples between the logical size and the coding size
// are filled by repeated neighbour averaging, columns first, then rows, so that
// the picture runs on smoothly instead of ending in a step.
#include "image/image_3c.h"

namespace quarn {

void Image_3C::ExtendBorder(unsigned color) {
  SelectColor(color);
  float** x = current;
  const int32_t R = rows, C = cols, PR = codeRows, PC = codeCols;

  // New columns to the right, over the logical rows; each is a smoothed copy
  // of the one before it.
  for (int32_t c = C - 1; c <= PC - 2; ++c) {
    x[0][c + 1] = static_cast<float>((static_cast<double>(x[1][c]) + x[0][c]) * 0.5);
    x[R - 1][c + 1] =
        static_cast<float>((static_cast<double>(x[R - 2][c]) + x[R - 1][c]) * 0.5);
    for (int32_t r = R - 2; r >= 1; --r) {
      x[r][c + 1] = static_cast<float>(
          (static_cast<double>(x[r - 1][c]) + x[r][c] + x[r + 1][c]) / 3.0);
    }
  }

  // New rows below, across every coding column.
  for (int32_t r = R - 1; r <= PR - 2; ++r) {
    const float* above = x[r];
    float* row = x[r + 1];
    row[0] = static_cast<float>((static_cast<double>(above[1]) + above[0]) * 0.5);
    row[PC - 1] =
        static_cast<float>((static_cast<double>(above[PC - 2]) + above[PC - 1]) * 0.5);
    for (int32_t k = PC - 2; k >= 1; --k) {
      row[k] = static_cast<float>(
          (static_cast<double>(above[k - 1]) + above[k] + above[k + 1]) / 3.0);
    }
  }
}

}  // namespace quarn
