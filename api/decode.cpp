// Decoding through the library: the size prefix and header are checked and
// parsed once, then the decoding pipeline writes into the caller's pixels.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "api/context.h"
#include "api/progress.h"
#include "api/status.h"
#include "codec/validate.h"
#include "image/colour_header.h"
#include "stream/budget.h"

namespace quarn::api {

namespace {

int parse(quarn_context& context, const unsigned char* data, std::size_t size,
          StreamHeader* header) {
  if (data == nullptr) return fail(context, QUARN_ERROR_ARGUMENT, "the data pointer is null");
  const std::string problem = check_stream(data, size, header);
  if (!problem.empty()) return fail(context, QUARN_ERROR_STREAM, problem);
  return QUARN_OK;
}

// 0 reads the whole stream; any other rate must be one the codec takes.
int check_rate(quarn_context& context, double bitrate) {
  if (bitrate == 0.0) return QUARN_OK;
  const std::string problem = check_bitrate(bitrate);
  return problem.empty() ? QUARN_OK : fail(context, QUARN_ERROR_BITRATE, problem);
}

// The stream bytes behind the prefix that the decoder may read.
std::size_t stream_size(std::size_t size) {
  return std::min<std::size_t>(size - kPrefixBytes, static_cast<std::size_t>(kMaxStreamBytes));
}

int decode(quarn_context& context, const unsigned char* data, std::size_t size, double bitrate,
           int format, unsigned char* pixels, std::size_t stride, std::size_t capacity) {
  if (pixels == nullptr) return fail(context, QUARN_ERROR_ARGUMENT, "the pixel pointer is null");
  if (format != QUARN_RGB && format != QUARN_RGBA) {
    return fail(context, QUARN_ERROR_ARGUMENT, "the pixel format is neither RGB nor RGBA");
  }
  const int rate_code = check_rate(context, bitrate);
  if (rate_code != QUARN_OK) return rate_code;
  StreamHeader header;
  const int code = parse(context, data, size, &header);
  if (code != QUARN_OK) return code;
  const std::size_t row = static_cast<std::size_t>(header.width) * static_cast<std::size_t>(format);
  if (stride < row) {
    return fail(context, QUARN_ERROR_ARGUMENT, "the row stride is shorter than a row");
  }
  const std::size_t height = static_cast<std::size_t>(header.height);
  if (capacity < row || (capacity - row) / stride < height - 1) {
    return fail(context, QUARN_ERROR_BUFFER,
                std::to_string(header.width) + "x" + std::to_string(header.height) +
                    " pixels do not fit in " + std::to_string(capacity) + " bytes");
  }
  // A rate of 0, like any rate above the stream's, reads all of it.
  const double rate = bitrate == 0.0 ? std::numeric_limits<double>::infinity() : bitrate;
  const unsigned char* stream = data + kPrefixBytes;
  const auto pitch = static_cast<std::ptrdiff_t>(stride);
  const int64_t read = std::min<int64_t>(
      stream_bytes(rate, stream_rate_for(header.width, header.height)),
      static_cast<int64_t>(stream_size(size)));
  watch_decode(context.progress, context.decoder.stages, int64_t{header.width} * header.height,
               read);
  if (format == QUARN_RGB) {
    decode_image_rgb(context.decoder, header, stream, stream_size(size), pixels, pitch, rate);
    return QUARN_OK;
  }
  // Cells come as 255 and the three colours; RGBA puts the 255 last.
  decode_image(context.decoder, header, stream, stream_size(size), pixels, pitch, rate);
  for (std::size_t y = 0; y < height; ++y) {
    unsigned char* p = pixels + y * stride;
    for (int x = 0; x < header.width; ++x, p += 4) {
      std::memmove(p, p + 1, 3);
      p[3] = 255;
    }
  }
  return QUARN_OK;
}

}  // namespace

}  // namespace quarn::api

using namespace quarn;

int quarn_context_read_info(quarn_context* context, const unsigned char* data, size_t size,
                            quarn_info* info) {
  if (context == nullptr) return QUARN_ERROR_ARGUMENT;
  return api::guarded(*context, [&]() -> int {
    if (info == nullptr) return api::fail(*context, QUARN_ERROR_ARGUMENT, "the info pointer is null");
    StreamHeader header;
    const int code = api::parse(*context, data, size, &header);
    if (code != QUARN_OK) return code;
    info->width = header.width;
    info->height = header.height;
    info->stream_bytes = size - kPrefixBytes;
    info->bits_per_pixel = static_cast<double>(info->stream_bytes) * 8.0 /
                           (static_cast<double>(header.width) * header.height);
    info->top_exponent = header.top_exponent;
    for (int e = 0; e < 3; ++e) {
      info->means[e] = header.mean_q[e];
      for (int r = 0; r < 3; ++r) {
        info->matrix[3 * e + r] = matrix_entry(header.matrix_q[3 * e + r]);
      }
    }
    return QUARN_OK;
  });
}

int quarn_read_info(const unsigned char* data, size_t size, quarn_info* info) {
  quarn_context scratch;
  return quarn_context_read_info(&scratch, data, size, info);
}

int quarn_decode(quarn_context* context, const unsigned char* data, size_t size, double bitrate,
                 int format, unsigned char* pixels, size_t stride, size_t capacity) {
  if (context == nullptr) return QUARN_ERROR_ARGUMENT;
  return api::guarded(*context, [&]() -> int {
    return api::decode(*context, data, size, bitrate, format, pixels, stride, capacity);
  });
}

int quarn_decode_rgb(const unsigned char* data, size_t size, double bitrate, unsigned char** rgb,
                     int* width, int* height) {
  if (rgb == nullptr || width == nullptr || height == nullptr) return QUARN_ERROR_ARGUMENT;
  *rgb = nullptr;
  *width = 0;
  *height = 0;
  std::unique_ptr<quarn_context> context(quarn_context_new());
  if (context == nullptr) return QUARN_ERROR_MEMORY;
  return api::guarded(*context, [&]() -> int {
    StreamHeader header;
    int code = api::check_rate(*context, bitrate);
    if (code == QUARN_OK) code = api::parse(*context, data, size, &header);
    if (code != QUARN_OK) return code;
    const std::size_t row = static_cast<std::size_t>(header.width) * 3;
    const std::size_t bytes = row * static_cast<std::size_t>(header.height);
    std::unique_ptr<unsigned char, decltype(&std::free)> pixels(
        static_cast<unsigned char*>(std::malloc(bytes)), &std::free);
    if (pixels == nullptr) return QUARN_ERROR_MEMORY;
    code = api::decode(*context, data, size, bitrate, QUARN_RGB, pixels.get(), row, bytes);
    if (code != QUARN_OK) return code;
    *rgb = pixels.release();
    *width = header.width;
    *height = header.height;
    return QUARN_OK;
  });
}
