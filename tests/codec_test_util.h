// Whole images through the codec library's pipelines, as the tests and the
// plug-in tests compare against them: a test picture, coded rows, decoded
// pixels, a hash for golden values and a PSNR. Builds with image files (QUARN_HAVE_IMAGEIO)
// also get the sample photo and crops of it (test_images.h).
#ifndef QUARN_TESTS_CODEC_TEST_UTIL_H
#define QUARN_TESTS_CODEC_TEST_UTIL_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec/decoder.h"
#include "codec/encoder.h"
#include "codec/validate.h"
#include "stream/budget.h"
#include "tools/rgb_image.h"
#if defined(QUARN_HAVE_IMAGEIO)
#include "test_images.h"
#endif

namespace quarn {

// A deterministic test picture: gradients, a disc with a hard edge, stripes
// and pseudo-random texture, made with integer arithmetic only.
inline RgbImage test_picture(int32_t width, int32_t height, uint32_t seed = 1) {
  RgbImage p{width, height, std::vector<uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  uint32_t state = seed;
  uint8_t* px = p.pixels.data();
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x, px += 3) {
      state = state * 1664525u + 1013904223u;
      const int noise = static_cast<int>(state >> 28) - 8;
      const int dx = 2 * x - width;
      const int dy = 2 * y - height;
      const bool disc = dx * dx + dy * dy < width * height / 2;
      int r = x * 255 / width;
      int g = y * 255 / height;
      int b = ((x / 8 + y / 8) % 2) * 96 + 64;
      if (disc) {
        r = 255 - r / 2;
        g = g / 3 + 40;
      }
      px[0] = static_cast<uint8_t>(std::clamp(r + noise, 0, 255));
      px[1] = static_cast<uint8_t>(std::clamp(g + noise, 0, 255));
      px[2] = static_cast<uint8_t>(std::clamp(b - noise, 0, 255));
    }
  }
  return p;
}

// The coded row: size prefix and B stream bytes, or a row of `row_length`
// bytes when one is given (the encoder plug-in's row can be one short).
inline std::vector<uint8_t> encode_row(const RgbImage& image, double bitrate,
                                       std::size_t row_length = 0) {
  static Encoder enc;
  const int32_t B = stream_bytes(bitrate, stream_rate_for(image.width, image.height));
  std::vector<uint8_t> row(row_length > 0 ? row_length : static_cast<std::size_t>(B) + kPrefixBytes);
  encode_image(enc, row.data(), row.size(), image.width, image.height, image.pixels.data(),
               bitrate);
  return row;
}

// The header of a coded row, which must pass check_stream().
inline StreamHeader header_of(const std::vector<uint8_t>& row) {
  StreamHeader header;
  const std::string problem = check_stream(row.data(), row.size(), &header);
  if (!problem.empty()) throw std::runtime_error(problem);
  return header;
}

// Decodes a coded row at `bitrate` into packed RGB.
inline RgbImage decode_row(const std::vector<uint8_t>& row, double bitrate) {
  static Decoder dec;
  RgbImage out;
  read_size_prefix(row.data(), &out.width, &out.height);
  std::vector<uint8_t> cells(static_cast<std::size_t>(out.width) * out.height * 4);
  decode_image(dec, header_of(row), row.data() + kPrefixBytes, row.size() - kPrefixBytes,
               cells.data(), static_cast<std::ptrdiff_t>(out.width) * 4, bitrate);
  out.pixels.resize(cells.size() / 4 * 3);
  for (std::size_t i = 0; i < cells.size() / 4; ++i)
    for (int c = 0; c < 3; ++c) out.pixels[3 * i + c] = cells[4 * i + 1 + c];
  return out;
}

// 64-bit FNV-1a, for golden values of streams and pixels.
inline uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
  return h;
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

}  // namespace quarn

#endif  // QUARN_TESTS_CODEC_TEST_UTIL_H
