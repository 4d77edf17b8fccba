#include "image/colour_header.h"

#include "image/image_3c.h"

namespace quarn {

void set_mean_q(ColourHeader& header, const Image_3C& image) {
  for (int e = 0; e < 3; ++e) header.mean_q[e] = image.mean[e];
}

void set_matrix_q(ColourHeader& header, const Image_3C& image) {
  for (int e = 0; e < 3; ++e) {
    for (int r = 0; r < 3; ++r) {
      const double v = (static_cast<double>(image.matrix[e][r]) + 1.0) * 10000.0;
      header.matrix_q[3 * e + r] = static_cast<int32_t>(v >= 0.0 ? v + 0.5 : v - 0.5);
    }
  }
}

float matrix_entry(int32_t q) { return static_cast<float>(static_cast<double>(q) * 0.0001 - 1.0); }

void load_colour_q(Image_3C& image, const ColourHeader& header, int32_t rows,
                   int32_t cols, bool known_zero) {
  image.ResetCoefficients(rows, cols, known_zero);
  for (int e = 0; e < 3; ++e) {
    image.mean[e] = header.mean_q[e];
    for (int r = 0; r < 3; ++r) {
      image.matrix[e][r] = matrix_entry(header.matrix_q[3 * e + r]);
    }
  }
}

}  // namespace quarn
