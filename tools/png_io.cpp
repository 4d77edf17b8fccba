#include "tools/png_io.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>
#include <utility>

#include "codec/validate.h"

namespace quarn {

namespace {

// Everything one libpng call sequence needs, kept outside the function that
// calls setjmp, so that an error's longjmp skips no destructor.
struct Job {
  std::span<const uint8_t> in;
  std::size_t pos = 0;
  std::string message;  // libpng's error text
  RgbImage image;
  std::vector<png_bytep> rows;
};

void read_from_memory(png_structp png, png_bytep out, png_size_t count) {
  auto* job = static_cast<Job*>(png_get_io_ptr(png));
  if (job->in.size() - job->pos < count) png_error(png, "file is truncated");
  std::memcpy(out, job->in.data() + job->pos, count);
  job->pos += count;
}

void keep_message(png_structp png, png_const_charp message) {
  auto* job = static_cast<Job*>(png_get_error_ptr(png));
  job->message = message;
  png_longjmp(png, 1);
}

void ignore_warning(png_structp, png_const_charp) {}

uint32_t big_endian_32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Looks at the IHDR chunk before libpng does: the size must be one the codec
// takes, and the file must be long enough to hold the image at deflate's
// best ratio (1032:1), so that a short file that claims a large image costs
// no allocation.
std::string check_png_header(std::span<const uint8_t> f) {
  constexpr std::size_t kIhdrEnd = 8 + 8 + 13 + 4;
  if (f.size() < kIhdrEnd) return "PNG file is truncated";
  if (std::memcmp(f.data() + 12, "IHDR", 4) != 0) return "damaged PNG: no IHDR chunk";
  const uint32_t width = big_endian_32(f.data() + 16);
  const uint32_t height = big_endian_32(f.data() + 20);
  std::string problem = check_size(width, height);
  if (!problem.empty()) return problem;
  const uint32_t depth = f[24];
  const int type = f[25];
  const uint32_t channels = type == PNG_COLOR_TYPE_RGB          ? 3
                            : type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                            : type == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                                                                : 1;
  const uint64_t row_bytes = (uint64_t{width} * channels * depth + 7) / 8 + 1;
  if (uint64_t{f.size()} * 1032 < row_bytes * height) {
    return "PNG file is truncated (too little data for a " + std::to_string(width) +
           "x" + std::to_string(height) + " image)";
  }
  return {};
}

// Returns false with job.message set when libpng stops with an error.
bool decode(Job& job) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job,
                                           keep_message, ignore_warning);
  if (png == nullptr) {
    job.message = "out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    job.message = "out of memory";
    return false;
  }
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &job, read_from_memory);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_read_info(png, info);

  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int depth = png_get_bit_depth(png, info);
  const int type = png_get_color_type(png, info);
  if (depth == 16) png_set_strip_16(png);  // the high byte
  if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if ((type & PNG_COLOR_MASK_COLOR) == 0) {
    if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    png_set_gray_to_rgb(png);
  }
  // Also drops the alpha channel that a palette's tRNS chunk expands into.
  png_set_strip_alpha(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_channels(png, info) != 3 || png_get_bit_depth(png, info) != 8 ||
      png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * 3) {
    png_error(png, "unsupported layout");
  }

  bool allocated = true;
  try {
    job.image.pixels.resize(static_cast<std::size_t>(width) * height * 3);
    job.rows.resize(height);
  } catch (const std::bad_alloc&) {
    allocated = false;
  }
  if (!allocated) png_error(png, "out of memory");
  job.image.width = static_cast<int32_t>(width);
  job.image.height = static_cast<int32_t>(height);
  for (png_uint_32 y = 0; y < height; ++y) {
    job.rows[y] = job.image.pixels.data() + static_cast<std::size_t>(y) * width * 3;
  }
  png_read_image(png, job.rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

bool looks_like_png(std::span<const uint8_t> file) {
  return file.size() >= 8 && png_sig_cmp(file.data(), 0, 8) == 0;
}

std::string read_png(std::span<const uint8_t> file, RgbImage* image) {
  if (!looks_like_png(file)) return "not a PNG file";
  std::string problem = check_png_header(file);
  if (!problem.empty()) return problem;
  Job job;
  job.in = file;
  if (!decode(job)) {
    if (job.message == "file is truncated") return "PNG file is truncated";
    return "damaged PNG: " + job.message;
  }
  *image = std::move(job.image);
  return {};
}

}  // namespace quarn
