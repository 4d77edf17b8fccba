// Images for the tests: the Kodak photographs, crops of them, and a PSNR.
#ifndef QUARN_TESTS_TEST_IMAGES_H
#define QUARN_TESTS_TEST_IMAGES_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/png_io.h"

inline std::string kodak_path(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "/kodim%02d.png", index);
  return std::string(QUARN_KODAK_DIR) + name;
}

// Loads a PNG file; an empty image when it cannot be read.
inline RgbImage load_png_file(const std::string& path) {
  RgbImage image;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return image;
  std::vector<uint8_t> data;
  uint8_t chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + n);
  std::fclose(f);
  if (!read_png(data, &image).empty()) image = RgbImage{};
  return image;
}

// Kodak photograph `index` (1..24), when the set is present.
inline RgbImage load_kodak(int index) { return load_png_file(kodak_path(index)); }

// The bundled sample photograph, always present.
inline RgbImage load_sample() { return load_png_file(QUARN_SAMPLE); }

inline RgbImage crop(const RgbImage& src, int32_t width, int32_t height,
                     int32_t left = 0, int32_t top = 0) {
  RgbImage out;
  out.width = width;
  out.height = height;
  for (int32_t y = 0; y < height; ++y) {
    const auto* row = src.pixels.data() +
                      (static_cast<std::size_t>(top + y) * src.width + left) * 3;
    out.pixels.insert(out.pixels.end(), row, row + static_cast<std::size_t>(width) * 3);
  }
  return out;
}

inline double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double se = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    se += d * d;
  }
  if (se == 0.0) return INFINITY;
  return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / se);
}

#endif  // QUARN_TESTS_TEST_IMAGES_H
