// Whole images through the codec library's pipelines, as the tests and the
// plug-in tests compare against them: coded rows, decoded pixels, a hash
// for golden values and a PSNR. Builds with image files (QUARN_HAVE_IMAGEIO)
// also get the sample photo and crops of it (test_images.h).
#ifndef QUARN_TESTS_CODEC_TEST_UTIL_H
#define QUARN_TESTS_CODEC_TEST_UTIL_H

#include <cmath>
#include <cstdint>
#include <vector>

#include "codec/budget.h"
#include "codec/decoder.h"
#include "codec/encoder.h"
#include "tools/rgb_image.h"
#if defined(QUARN_HAVE_IMAGEIO)
#include "test_images.h"
#endif

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

// Decodes a coded row at `bitrate` into packed RGB.
inline RgbImage decode_row(const std::vector<uint8_t>& row, double bitrate) {
  static Decoder dec;
  RgbImage out;
  read_size_prefix(row.data(), &out.width, &out.height);
  std::vector<uint8_t> cells(static_cast<std::size_t>(out.width) * out.height * 4);
  decode_image(dec, out.width, out.height, row.data() + kPrefixBytes, row.size() - kPrefixBytes,
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

#endif  // QUARN_TESTS_CODEC_TEST_UTIL_H
