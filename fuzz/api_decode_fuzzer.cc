// A coded file from anyone, decoded through the library's C API at a rate
// from the front of the input: 0 (every byte given), a plain rate, or any
// double at all. A file the API takes must decode to the size its header
// gives, the same in RGB and in RGBA at a stride, without touching the bytes
// between rows; anything else must be refused with a code, and a header
// refused through a context with one line saying why.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_helper.h"
#include "quarn/quarn.h"

namespace quarn {

namespace {

double take_rate(fuzz::Bytes& in) {
  const uint8_t mode = in.u8();
  if (mode < 0x80) return 0.0;
  if (mode < 0xF0) return in.u16() / 4096.0;
  return in.f64();
}

bool usable_rate(double rate) {
  return rate == 0.0 || (std::isfinite(rate) && rate > 0.0 && rate <= 64.0);
}

// Bytes between rows that decoding must leave alone.
constexpr std::size_t kRowSlack = 3;
constexpr uint8_t kUntouched = 0xA5;

}  // namespace

int test_one_input(const uint8_t* data, std::size_t size) {
  fuzz::Bytes in(data, size);
  const double rate = take_rate(in);
  const unsigned char* file = in.rest();
  const std::size_t file_size = in.rest_size();

  // Through a context, as the tool reads a header: a refusal says why.
  quarn_context* context = quarn_context_new();
  fuzz::require(context != nullptr, "a context is made");
  quarn_info info;
  const int read = quarn_context_read_info(context, file, file_size, &info);
  fuzz::require(read == QUARN_OK || read == QUARN_ERROR_STREAM, "a header is read or refused");
  if (read != QUARN_OK) fuzz::require_one_line(quarn_context_message(context));
  if (read == QUARN_OK && static_cast<int64_t>(info.width) * info.height > fuzz::kMaxPixels) {
    quarn_context_free(context);
    return 0;
  }

  unsigned char* rgb = nullptr;
  int width = 0;
  int height = 0;
  const int code = quarn_decode_rgb(file, file_size, rate, &rgb, &width, &height);
  if (read != QUARN_OK || !usable_rate(rate)) {
    fuzz::require(
        rgb == nullptr && code == (usable_rate(rate) ? QUARN_ERROR_STREAM : QUARN_ERROR_BITRATE),
        "what cannot be decoded is refused, the rate first");
    quarn_context_free(context);
    return 0;
  }
  fuzz::require(code == QUARN_OK && rgb != nullptr, "a readable header decodes");
  fuzz::require(width == info.width && height == info.height, "the header's size comes out");

  const std::size_t stride = static_cast<std::size_t>(width) * 4 + kRowSlack;
  std::vector<unsigned char> rgba(stride * static_cast<std::size_t>(height), kUntouched);
  fuzz::require(quarn_decode(context, file, file_size, rate, QUARN_RGBA, rgba.data(), stride,
                             rgba.size()) == QUARN_OK,
                "RGBA decodes where RGB does");
  quarn_context_free(context);
  for (int y = 0; y < height; ++y) {
    const unsigned char* row = rgba.data() + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      fuzz::require(
          std::memcmp(row + 4 * x, rgb + (static_cast<std::size_t>(y) * width + x) * 3, 3) == 0 &&
              row[4 * x + 3] == 255,
          "RGBA holds the RGB colours and alpha 255");
    }
    for (std::size_t i = static_cast<std::size_t>(width) * 4; i < stride; ++i) {
      fuzz::require(row[i] == kUntouched, "decoding stays inside the rows");
    }
  }
  quarn_free(rgb);
  return 0;
}

}  // namespace quarn

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return quarn::test_one_input(data, size);
}
