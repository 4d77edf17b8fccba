// Border extension: the samples between the logical size and the coding size
// are filled by repeated neighbour averaging, columns first, then rows, so that
// the picture runs on smoothly instead of ending in a step.
#include <cstring>

#include "image/fatal.h"
#include "image/image_3c.h"

namespace quarn {

namespace {

// The extension of an R x C picture to PR x PC; x(r, c) is the sample at row
// r, column c. It reads only the last column and the last row of the
// picture, and writes only the border.
template <class Samples>
void extend(Samples&& x, int32_t R, int32_t C, int32_t PR, int32_t PC) {
  // New columns to the right, over the logical rows; each is a smoothed copy
  // of the one before it.
  for (int32_t c = C - 1; c <= PC - 2; ++c) {
    x(0, c + 1) = static_cast<float>((static_cast<double>(x(1, c)) + x(0, c)) * 0.5);
    x(R - 1, c + 1) =
        static_cast<float>((static_cast<double>(x(R - 2, c)) + x(R - 1, c)) * 0.5);
    for (int32_t r = R - 2; r >= 1; --r) {
      x(r, c + 1) = static_cast<float>(
          (static_cast<double>(x(r - 1, c)) + x(r, c) + x(r + 1, c)) / 3.0);
    }
  }

  // New rows below, across every coding column.
  for (int32_t r = R - 1; r <= PR - 2; ++r) {
    x(r + 1, 0) = static_cast<float>((static_cast<double>(x(r, 1)) + x(r, 0)) * 0.5);
    x(r + 1, PC - 1) =
        static_cast<float>((static_cast<double>(x(r, PC - 2)) + x(r, PC - 1)) * 0.5);
    for (int32_t k = PC - 2; k >= 1; --k) {
      x(r + 1, k) = static_cast<float>(
          (static_cast<double>(x(r, k - 1)) + x(r, k) + x(r, k + 1)) / 3.0);
    }
  }
}

}  // namespace

void Image_3C::ExtendBorder(unsigned color) {
  SelectColor(color);
  float** x = current;
  extend([x](int32_t r, int32_t c) -> float& { return x[r][c]; }, rows, cols, codeRows,
         codeCols);
}

void Image_3C::ExtendBordersAside(const uint8_t* pixels, std::ptrdiff_t stride) {
  const int32_t R = rows, C = cols;
  const std::ptrdiff_t right = static_cast<std::ptrdiff_t>(codeCols - C + 1);  // a row's floats
  borderRight_ = (R - 1) * right;
  borderColour_ = borderRight_ + static_cast<std::ptrdiff_t>(codeRows - R + 1) * codeCols;
  const std::size_t bytes = sizeof(float) * 3 * static_cast<std::size_t>(borderColour_);
  if (border_.bytes < bytes) {
    release_big(border_);
    border_ = allocate_big(bytes);
    CheckAllocation(border_.data, "< Image_3C >");
  }
  for (int k = 0; k < 3; ++k) {
    float* aside = static_cast<float*>(border_.data) + k * borderColour_;
    float* below = aside + borderRight_;  // rows R - 1 .. codeRows - 1, whole
    // The last column of rows 0 .. R - 2, and the last row.
    for (int32_t r = 0; r + 1 < R; ++r) {
      aside[r * right] = static_cast<float>(pixels[r * stride + (C - 1) * 3 + k]);
    }
    const uint8_t* last = pixels + (R - 1) * stride;
    for (int32_t c = 0; c < C; ++c) below[c] = static_cast<float>(last[3 * c + k]);
    const std::ptrdiff_t pc = codeCols;
    extend(
        [&](int32_t r, int32_t c) -> float& {
          return r >= R - 1 ? below[(r - (R - 1)) * pc + c] : aside[r * right + (c - (C - 1))];
        },
        R, C, codeRows, codeCols);
  }
}

}  // namespace quarn
