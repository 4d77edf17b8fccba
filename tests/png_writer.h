// Writes PNG files of any colour type and bit depth for the tests, from
// samples already in the file's range (0..2^depth - 1) or palette indices.
#ifndef QUARN_TESTS_PNG_WRITER_H
#define QUARN_TESTS_PNG_WRITER_H

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <vector>

namespace quarn {

struct PngLayout {
  int colour_type = PNG_COLOR_TYPE_RGB;
  int depth = 8;
  bool interlaced = false;
  std::vector<png_color> palette;               // for PNG_COLOR_TYPE_PALETTE
  std::vector<uint8_t> palette_alpha;           // tRNS of a palette image
  bool grey_or_rgb_trns = false;                // tRNS naming sample value 0
};

// Samples per pixel of a colour type.
inline int png_channels(int colour_type) {
  return colour_type == PNG_COLOR_TYPE_RGB          ? 3
         : colour_type == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
         : colour_type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                    : 1;
}

namespace png_writer_detail {

inline void append(png_structp png, png_bytep data, png_size_t count) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + count);
}
inline void no_flush(png_structp) {}

// The part that calls setjmp holds no object with a destructor.
inline bool write(png_structp png, png_infop info, const PngLayout& layout, uint32_t width,
                  uint32_t height, png_bytep* rows, std::vector<uint8_t>* out) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_set_write_fn(png, out, append, no_flush);
  png_set_IHDR(png, info, width, height, layout.depth, layout.colour_type,
               layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!layout.palette.empty()) {
    png_set_PLTE(png, info, layout.palette.data(), static_cast<int>(layout.palette.size()));
  }
  if (!layout.palette_alpha.empty()) {
    png_set_tRNS(png, info, layout.palette_alpha.data(),
                 static_cast<int>(layout.palette_alpha.size()), nullptr);
  }
  if (layout.grey_or_rgb_trns) {
    png_color_16 transparent{};
    png_set_tRNS(png, info, nullptr, 0, &transparent);
  }
  png_write_info(png, info);
  if (layout.interlaced) png_set_interlace_handling(png);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

}  // namespace png_writer_detail

// `samples` holds channels x width x height values, row by row.
inline std::vector<uint8_t> write_png_file(const PngLayout& layout, uint32_t width, uint32_t height,
                                           const std::vector<uint16_t>& samples) {
  const std::size_t per_row = static_cast<std::size_t>(width) * png_channels(layout.colour_type);
  const std::size_t row_bytes = (per_row * layout.depth + 7) / 8;
  std::vector<uint8_t> packed(row_bytes * height, 0);
  std::vector<png_bytep> rows(height);
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = packed.data() + y * row_bytes;
    rows[y] = row;
    for (std::size_t i = 0; i < per_row; ++i) {
      const uint16_t v = samples[y * per_row + i];
      if (layout.depth == 16) {
        row[2 * i] = static_cast<uint8_t>(v >> 8);
        row[2 * i + 1] = static_cast<uint8_t>(v);
      } else if (layout.depth == 8) {
        row[i] = static_cast<uint8_t>(v);
      } else {
        const std::size_t bit = i * layout.depth;
        row[bit / 8] |= static_cast<uint8_t>(v << (8 - layout.depth - bit % 8));
      }
    }
  }
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  const bool ok = png_writer_detail::write(png, info, layout, width, height, rows.data(), &out);
  png_destroy_write_struct(&png, &info);
  if (!ok) out.clear();
  return out;
}

}  // namespace quarn

#endif  // QUARN_TESTS_PNG_WRITER_H
