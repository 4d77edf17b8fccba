#include "tools/png_io.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace {

struct MemoryReader {
  const std::vector<uint8_t>* file;
  std::size_t pos;
};

void read_from_memory(png_structp png, png_bytep out, png_size_t count) {
  auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (r->file->size() - r->pos < count) png_error(png, "file is truncated");
  std::memcpy(out, r->file->data() + r->pos, count);
  r->pos += count;
}

void write_to_memory(png_structp png, png_bytep data, png_size_t count) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + count);
}

void flush_nothing(png_structp) {}

void keep_message(png_structp png, png_const_charp message) {
  auto* text = static_cast<std::string*>(png_get_error_ptr(png));
  *text = message;
  png_longjmp(png, 1);
}

void ignore_warning(png_structp, png_const_charp) {}

// The largest image we accept; larger headers are refused before allocating.
constexpr png_uint_32 kMaxSide = 65535;

}  // namespace

std::string read_png(const std::vector<uint8_t>& file, RgbImage* image) {
  if (file.size() < 8 || png_sig_cmp(file.data(), 0, 8) != 0) return "not a PNG file";
  std::string error;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error,
                                           keep_message, ignore_warning);
  if (png == nullptr) return "out of memory";
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return "out of memory";
  }
  MemoryReader reader{&file, 0};
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_read_struct(&png, &info, nullptr);
    return "damaged PNG: " + error;
  }
  png_set_read_fn(png, &reader, read_from_memory);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_read_info(png, info);

  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int depth = png_get_bit_depth(png, info);
  const int type = png_get_color_type(png, info);
  if (depth == 16) png_set_strip_16(png);
  if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if ((type & PNG_COLOR_MASK_COLOR) == 0) {
    if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    png_set_gray_to_rgb(png);
  }
  if ((type & PNG_COLOR_MASK_ALPHA) != 0) png_set_strip_alpha(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * 3) {
    png_destroy_read_struct(&png, &info, nullptr);
    return "unsupported PNG layout";
  }

  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  image->pixels.assign(static_cast<std::size_t>(width) * height * 3, 0);
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) {
    rows[y] = image->pixels.data() + static_cast<std::size_t>(y) * width * 3;
  }
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return {};
}

std::string write_png(const RgbImage& image, std::vector<uint8_t>* file) {
  std::string error;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error,
                                            keep_message, ignore_warning);
  if (png == nullptr) return "out of memory";
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return "out of memory";
  }
  std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    return "cannot write PNG: " + error;
  }
  file->clear();
  png_set_write_fn(png, file, write_to_memory, flush_nothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < image.height; ++y) {
    rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(
        image.pixels.data() + static_cast<std::size_t>(y) * image.width * 3);
  }
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return {};
}
