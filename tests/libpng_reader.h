// Reads a PNG file with libpng's own simplified reader, apart from the
// tool's reader: a second opinion on the files the tool writes. libpng
// checks every chunk's CRC and zlib the stream's Adler-32.
#ifndef QUARN_TESTS_LIBPNG_READER_H
#define QUARN_TESTS_LIBPNG_READER_H

#include <png.h>

#include <cstdint>
#include <vector>

namespace quarn {

// The pixels as 8-bit RGB, with the size; empty when libpng refuses the
// file.
inline std::vector<uint8_t> read_with_libpng(const std::vector<uint8_t>& file, int32_t* width,
                                             int32_t* height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&image, file.data(), file.size()) == 0) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) {
    png_image_free(&image);
    return {};
  }
  *width = static_cast<int32_t>(image.width);
  *height = static_cast<int32_t>(image.height);
  return pixels;
}

}  // namespace quarn

#endif  // QUARN_TESTS_LIBPNG_READER_H
