// Colour reconstruction and byte output: apply the transpose of the colour
// matrix, add the means, round and clamp to 0..255; write the logical area.
#include "image/fatal.h"
#include "image/image_3c.h"

namespace {

// mean + (s + 0.499) truncated toward zero, then clamped to 0..255. Values
// that cannot be represented, and not-a-number, clamp without conversion.
inline float colour_value(double mean, float s) {
  const double v = mean + (static_cast<double>(s) + 0.499);
  if (v >= 255.0) return 255.0f;
  if (v > 0.0) return static_cast<float>(static_cast<int32_t>(v));
  return 0.0f;
}

}  // namespace

void Image_3C::InverseColour() {
  const double m[3] = {static_cast<double>(mean[0]), static_cast<double>(mean[1]),
                       static_cast<double>(mean[2])};
  for (int32_t i = 0; i < codeRows; ++i) {
    float* p0 = plane[0][i];
    float* p1 = plane[1][i];
    float* p2 = plane[2][i];
    for (int32_t j = 0; j < codeCols; ++j) {
      const double a = p0[j], b = p1[j], c = p2[j];
      float out[3];
      for (int k = 0; k < 3; ++k) {
        float s = static_cast<float>(0.0 + matrix[0][k] * a);
        s = static_cast<float>(s + matrix[1][k] * b);
        s = static_cast<float>(s + matrix[2][k] * c);
        out[k] = colour_value(m[k], s);
      }
      p0[j] = out[0];
      p1[j] = out[1];
      p2[j] = out[2];
    }
  }
}

void Image_3C::Write(uint8_t* out) const {
  if (levels != 0) FatalError("cannot write < Image_3C >");
  for (int32_t i = 0; i < rows; ++i) {
    const float* p0 = plane[0][i];
    const float* p1 = plane[1][i];
    const float* p2 = plane[2][i];
    for (int32_t j = 0; j < cols; ++j) {
      *out++ = static_cast<uint8_t>(static_cast<int32_t>(p0[j] + 0.499));
      *out++ = static_cast<uint8_t>(static_cast<int32_t>(p1[j] + 0.499));
      *out++ = static_cast<uint8_t>(static_cast<int32_t>(p2[j] + 0.499));
    }
  }
}
