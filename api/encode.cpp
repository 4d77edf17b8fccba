// Encoding through the library: checks first, then the encoding pipeline on
// the caller's pixels, straight into the caller's buffer.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "api/context.h"
#include "api/progress.h"
#include "api/status.h"
#include "codec/validate.h"
#include "stream/budget.h"

namespace quarn::api {

static_assert(kEncodeSlack == 64, "quarn.h promises coding in place with 64 bytes more room");

namespace {

// The checks of an encoding, and the coded file's size.
int check(quarn_context& context, int width, int height, double bitrate, std::size_t* size) {
  std::string problem = check_size(width, height);
  if (!problem.empty()) return fail(context, QUARN_ERROR_SIZE, problem);
  problem = check_encode(width, height, bitrate);
  if (!problem.empty()) return fail(context, QUARN_ERROR_BITRATE, problem);
  const int32_t B = stream_bytes(bitrate, stream_rate_for(width, height));
  *size = static_cast<std::size_t>(B) + kPrefixBytes;
  return QUARN_OK;
}

int encode(quarn_context& context, const unsigned char* pixels, int width, int height,
           std::size_t stride, int format, double bitrate, unsigned char* out, std::size_t capacity,
           std::size_t* out_size) {
  if (pixels == nullptr || out == nullptr || out_size == nullptr) {
    return fail(context, QUARN_ERROR_ARGUMENT, "a pointer argument is null");
  }
  if (format != QUARN_RGB && format != QUARN_RGBA) {
    return fail(context, QUARN_ERROR_ARGUMENT, "the pixel format is neither RGB nor RGBA");
  }
  std::size_t size = 0;
  const int code = check(context, width, height, bitrate, &size);
  if (code != QUARN_OK) return code;
  const std::size_t row = static_cast<std::size_t>(width) * static_cast<std::size_t>(format);
  if (stride < row) {
    return fail(context, QUARN_ERROR_ARGUMENT, "the row stride is shorter than a row");
  }
  if (capacity < size) {
    return fail(context, QUARN_ERROR_BUFFER,
                "the coded file needs " + std::to_string(size) + " bytes, the buffer holds " +
                    std::to_string(capacity));
  }
  const unsigned char* rgb = pixels;
  std::size_t rgb_stride = stride;
  if (format == QUARN_RGBA) {
    context.rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    for (int y = 0; y < height; ++y) {
      const unsigned char* in = pixels + static_cast<std::size_t>(y) * stride;
      unsigned char* to = context.rgb.data() + static_cast<std::size_t>(y) * width * 3;
      for (int x = 0; x < width; ++x, in += 4, to += 3) std::memcpy(to, in, 3);
    }
    rgb = context.rgb.data();
    rgb_stride = static_cast<std::size_t>(width) * 3;
  }
  watch_encode(context.progress, context.encoder.stages, int64_t{width} * height,
               static_cast<int64_t>(size - kPrefixBytes));
  encode_image(context.encoder, out, capacity, width, height, rgb,
               static_cast<std::ptrdiff_t>(rgb_stride), bitrate);
  *out_size = size;
  // A stream whose last pass ends well inside the budget is padded.
  const int32_t complete = complete_stream_bytes(context.encoder);
  if (complete > 0 && static_cast<std::size_t>(complete) + kPrefixBytes < size) {
    context.complete_size = static_cast<std::size_t>(complete) + kPrefixBytes;
  }
  return QUARN_OK;
}

}  // namespace

}  // namespace quarn::api

using namespace quarn;

int quarn_encoded_size(int width, int height, double bitrate, size_t* size) {
  quarn_context scratch;
  if (size == nullptr) return QUARN_ERROR_ARGUMENT;
  return api::guarded(scratch,
                      [&]() -> int { return api::check(scratch, width, height, bitrate, size); });
}

int quarn_encode(quarn_context* context, const unsigned char* pixels, int width, int height,
                 size_t stride, int format, double bitrate, unsigned char* out, size_t capacity,
                 size_t* out_size) {
  if (context == nullptr) return QUARN_ERROR_ARGUMENT;
  context->complete_size = 0;
  return api::guarded(*context, [&]() -> int {
    return api::encode(*context, pixels, width, height, stride, format, bitrate, out, capacity,
                       out_size);
  });
}

size_t quarn_context_complete_size(const quarn_context* context) {
  return context == nullptr ? 0 : context->complete_size;
}

int quarn_encode_rgb(const unsigned char* rgb, int width, int height, size_t stride, double bitrate,
                     unsigned char** out, size_t* out_size) {
  if (out == nullptr || out_size == nullptr) return QUARN_ERROR_ARGUMENT;
  *out = nullptr;
  *out_size = 0;
  std::unique_ptr<quarn_context> context(quarn_context_new());
  if (context == nullptr) return QUARN_ERROR_MEMORY;
  return api::guarded(*context, [&]() -> int {
    std::size_t size = 0;
    int code = api::check(*context, width, height, bitrate, &size);
    if (code != QUARN_OK) return code;
    // With the coder's slack behind the file, it is coded in place.
    const std::size_t capacity = size + kEncodeSlack;
    std::unique_ptr<unsigned char, decltype(&std::free)> buffer(
        static_cast<unsigned char*>(std::malloc(capacity)), &std::free);
    if (buffer == nullptr) return QUARN_ERROR_MEMORY;
    code = api::encode(*context, rgb, width, height, stride, QUARN_RGB, bitrate, buffer.get(),
                       capacity, out_size);
    if (code == QUARN_OK) *out = buffer.release();
    return code;
  });
}
