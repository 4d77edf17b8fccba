// Images for the tests: the Kodak photographs, crops of them, and
// the pieces the tests use to damage PNG files.
#ifndef QUARN_TESTS_TEST_IMAGES_H
#define QUARN_TESTS_TEST_IMAGES_H

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/png_io.h"

namespace quarn {

inline std::string kodak_path(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "/kodim%02d.png", index);
  return std::string(QUARN_KODAK_DIR) + name;
}

// The whole file; empty when it cannot be read.
inline std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Loads a PNG file; an empty image when it cannot be read.
inline RgbImage load_png_file(const std::string& path) {
  RgbImage image;
  if (!read_png(read_file(path), &image).empty()) image = RgbImage{};
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

// Big-endian 32-bit value at `at`, as PNG stores lengths and CRCs.
inline uint32_t get32(const std::vector<uint8_t>& f, std::size_t at) {
  return (uint32_t{f[at]} << 24) | (uint32_t{f[at + 1]} << 16) | (uint32_t{f[at + 2]} << 8) |
         f[at + 3];
}
inline void put32(std::vector<uint8_t>* f, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*f)[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// Recomputes the CRC of the PNG chunk that starts at `at` (its length field).
inline void fix_crc(std::vector<uint8_t>* f, std::size_t at) {
  const uint32_t length = get32(*f, at);
  put32(f, at + 8 + length, static_cast<uint32_t>(crc32(0, f->data() + at + 4, length + 4)));
}

}  // namespace quarn

#endif  // QUARN_TESTS_TEST_IMAGES_H
