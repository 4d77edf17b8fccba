// Forward colour transform: remove the integer means and project each pixel
// onto the rows of the quantised colour matrix, over the whole coding area.
#include "image/image_3c.h"

void Image_3C::ForwardColour() {
  const double m[3] = {static_cast<double>(mean[0]), static_cast<double>(mean[1]),
                       static_cast<double>(mean[2])};
  for (int32_t i = 0; i < codeRows; ++i) {
    float* p0 = plane[0][i];
    float* p1 = plane[1][i];
    float* p2 = plane[2][i];
    for (int32_t j = 0; j < codeCols; ++j) {
      const float x[3] = {static_cast<float>(p0[j] - m[0]),
                          static_cast<float>(p1[j] - m[1]),
                          static_cast<float>(p2[j] - m[2])};
      float y[3];
      for (int e = 0; e < 3; ++e) {
        float acc = static_cast<float>(0.0 + static_cast<double>(matrix[e][0]) * x[0]);
        acc = static_cast<float>(acc + static_cast<double>(matrix[e][1]) * x[1]);
        acc = static_cast<float>(acc + static_cast<double>(matrix[e][2]) * x[2]);
        y[e] = acc;
      }
      p0[j] = y[0];
      p1[j] = y[1];
      p2[j] = y[2];
    }
  }
}
