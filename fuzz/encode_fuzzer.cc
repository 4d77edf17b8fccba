// The encoder on any small image, size and bitrate. The front of the input
// gives width, height, bitrate and how the output row is sized; the rest is
// tiled over the pixels. Everything goes through check_encode first, as in
// the tool and the encoder plug-in; what it accepts must encode into a row
// that the decoder's own check accepts, the same again when the library
// codes it, and decode through the library at the same rate. Where the
// library reports a padded stream whole before its end, that prefix must
// decode to the same pixels.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/encoder.h"
#include "codec/stream_header.h"
#include "codec/validate.h"
#include "fuzz/fuzz_helper.h"
#include "host/encoder_row.h"
#include "quarn/quarn.h"
#include "stream/budget.h"

namespace quarn {

namespace {

Encoder& shared_encoder() {
  static Encoder encoder;
  return encoder;
}

// Mostly rates in 0..16 in steps of 1/4096, sometimes any double at all
// (negative, zero, not-a-number, infinite, huge).
double take_bitrate(fuzz::Bytes& in) {
  const uint8_t mode = in.u8();
  if (mode >= 0xF0) return in.f64();
  return in.u16() / 4096.0;
}

// The row length: B + 4 as the tool sizes it, or as the encoder plug-in does,
// which can be one short of B + 4.
std::size_t take_capacity(fuzz::Bytes& in, int32_t width, int32_t height, double bitrate,
                          int32_t B) {
  if ((in.u8() & 1) == 0) return static_cast<std::size_t>(B) + kPrefixBytes;
  return static_cast<std::size_t>(host::encoder_row_cells(width, height, bitrate));
}

}  // namespace

int test_one_input(const uint8_t* data, std::size_t size) {
  fuzz::Bytes in(data, size);
  // 0..16383 each way: beyond both ends of the sizes the codec takes.
  const int32_t width = in.u16() & 0x3FFF;
  const int32_t height = in.u16() & 0x3FFF;
  const double bitrate = take_bitrate(in);
  const std::string problem = check_encode(width, height, bitrate);
  if (!problem.empty()) {
    fuzz::require_one_line(problem);
    return 0;
  }
  const int32_t B = stream_bytes(bitrate, stream_rate_for(width, height));
  if (static_cast<int64_t>(width) * height > fuzz::kMaxPixels || B > fuzz::kMaxStreamBytes) {
    return 0;
  }
  const std::size_t capacity = take_capacity(in, width, height, bitrate, B);
  // The plug-in refuses a rate whose row would cut the header.
  if (!host::check_row_encode(width, height, bitrate).empty() &&
      capacity != static_cast<std::size_t>(B) + kPrefixBytes) {
    return 0;
  }
  const std::size_t pixel_bytes = static_cast<std::size_t>(width) * height * 3;
  std::vector<uint8_t> rgb(pixel_bytes, 0);
  if (in.rest_size() > 0) {
    for (std::size_t i = 0; i < pixel_bytes; ++i) rgb[i] = in.rest()[i % in.rest_size()];
  }

  std::vector<uint8_t> row(capacity);
  const int32_t written =
      encode_image(shared_encoder(), row.data(), row.size(), width, height, rgb.data(), bitrate);
  fuzz::require(written >= kHeaderBytes && written <= B &&
                    static_cast<std::size_t>(written) + kPrefixBytes <= capacity,
                "the encoder writes at most B stream bytes within the row");
  row.resize(static_cast<std::size_t>(written) + kPrefixBytes);

  // The library codes the same file, in place as the tool has it code,
  // which the row holds all of or all but its last byte.
  static quarn_context* const context = quarn_context_new();
  fuzz::require(context != nullptr, "a context is made");
  const std::size_t file_size = static_cast<std::size_t>(B) + kPrefixBytes;
  std::vector<uint8_t> file(file_size + 64);
  std::size_t coded = 0;
  fuzz::require(quarn_encode(context, rgb.data(), width, height, static_cast<std::size_t>(width) * 3,
                             QUARN_RGB, bitrate, file.data(), file.size(), &coded) == QUARN_OK &&
                    coded == file_size && std::memcmp(file.data(), row.data(), row.size()) == 0,
                "the library codes the same stream");
  file.resize(file_size);
  // Where the library says a padded stream is whole, its prefix decodes to
  // the whole file's pixels and only zeros follow: --size and --psnr cut
  // there.
  const std::size_t complete = quarn_context_complete_size(context);
  if (complete > 0) {
    fuzz::require(complete >= static_cast<std::size_t>(kPrefixBytes + kHeaderBytes) &&
                      complete < file_size &&
                      std::all_of(file.begin() + static_cast<std::ptrdiff_t>(complete), file.end(),
                                  [](uint8_t b) { return b == 0; }),
                  "a padded stream is zeros past its complete size");
    unsigned char* whole = nullptr;
    unsigned char* prefix = nullptr;
    int w = 0;
    int h = 0;
    fuzz::require(quarn_decode_rgb(file.data(), file_size, 0, &whole, &w, &h) == QUARN_OK &&
                      quarn_decode_rgb(file.data(), complete, 0, &prefix, &w, &h) == QUARN_OK &&
                      std::memcmp(whole, prefix, static_cast<std::size_t>(w) * h * 3) == 0,
                  "a padded stream's complete prefix decodes to the same pixels");
    quarn_free(whole);
    quarn_free(prefix);
  }

  StreamHeader header;
  const std::string refused = check_stream(row.data(), row.size(), &header);
  fuzz::require(refused.empty() && header.width == width && header.height == height,
                "the decoder's check takes what the encoder made", refused);
  unsigned char* pixels = nullptr;
  int w = 0;
  int h = 0;
  fuzz::require(quarn_decode_rgb(row.data(), row.size(), bitrate, &pixels, &w, &h) == QUARN_OK &&
                    w == width && h == height,
                "the library decodes what the encoder made");
  quarn_free(pixels);
  return 0;
}

}  // namespace quarn

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return quarn::test_one_input(data, size);
}
