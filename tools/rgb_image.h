// A picture as the codec takes it: packed 8-bit RGB, rows top to bottom.
#ifndef QUARN_TOOLS_RGB_IMAGE_H
#define QUARN_TOOLS_RGB_IMAGE_H

#include <cstdint>
#include <vector>

namespace quarn {

struct RgbImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;  // 3 bytes per pixel, rows packed
};

}  // namespace quarn

#endif  // QUARN_TOOLS_RGB_IMAGE_H
