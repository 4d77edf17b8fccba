// The image stages in the order the pipelines run them, for the tests of
// the image model and its transforms.
#ifndef QUARN_TESTS_IMAGE_TEST_UTIL_H
#define QUARN_TESTS_IMAGE_TEST_UTIL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/fatal.h"
#include "image/image_3c.h"
#include "image/kernels.h"

namespace quarn {

// Every instruction set this processor can run, the scalar reference first.
inline std::vector<kernels::Isa> available_isas() {
  std::vector<kernels::Isa> all;
  for (kernels::Isa isa : {kernels::Isa::kScalar, kernels::Isa::kSse2, kernels::Isa::kAvx2,
                           kernels::Isa::kAvx512}) {
    if (kernels::for_isa(isa) != nullptr) all.push_back(isa);
  }
  return all;
}

// Packed pixels to the three coefficient planes, as encode_image does it.
inline void transform_pixels(Image_3C& image, const uint8_t* px, int32_t rows, int32_t cols) {
  const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(cols) * 3;
  image.Measure(px, stride, rows, cols);
  image.ExtendBorders(px, stride);
  image.BeginTransform();
  image.ColourPixels(px, stride);
  for (int k = 0; k < 3; ++k) image.TransformPlane(image.plane[k]);
}

// The three coefficient planes back to packed pixels, as decode_image does it.
inline std::vector<uint8_t> recover_pixels(Image_3C& image) {
  std::vector<uint8_t> out(static_cast<std::size_t>(image.rows) * image.cols * 3);
  for (int k = 0; k < 3; ++k) image.RecoverPlane(image.plane[k]);
  image.WriteRgb(out.data(), static_cast<std::ptrdiff_t>(image.cols) * 3);
  return out;
}

// The message of the fault that `work` raises, or "" when it raises none.
template <class Work>
std::string fault_message(Work&& work) {
  try {
    work();
  } catch (const Fault& fault) {
    return fault.what();
  }
  return {};
}

}  // namespace quarn

#endif  // QUARN_TESTS_IMAGE_TEST_UTIL_H
