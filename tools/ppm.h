// Binary PPM (P6, maxval 255) files: read into packed RGB, write from it.
#ifndef QUARN_TOOLS_PPM_H
#define QUARN_TOOLS_PPM_H

#include <cstdint>
#include <string>
#include <vector>

struct RgbImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;  // 3 bytes per pixel, rows packed
};

// Returns an empty string on success, else what is wrong with the file.
std::string read_ppm(const std::vector<uint8_t>& file, RgbImage* image);
std::vector<uint8_t> write_ppm(const RgbImage& image);

#endif  // QUARN_TOOLS_PPM_H
