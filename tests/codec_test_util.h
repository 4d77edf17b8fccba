// Encoding and decoding whole images through the pipelines.
#ifndef QUARN_TESTS_CODEC_TEST_UTIL_H
#define QUARN_TESTS_CODEC_TEST_UTIL_H

#include <cstdint>
#include <vector>

#include "codec/budget.h"
#include "codec/decoder.h"
#include "codec/encoder.h"
#include "test_images.h"

// The coded row: size prefix and B stream bytes.
inline std::vector<uint8_t> encode_row(const RgbImage& image, double bitrate) {
  static Encoder enc;
  const int32_t B = stream_bytes(bitrate, stream_rate_for(image.width, image.height));
  std::vector<uint8_t> row(static_cast<std::size_t>(B) + kPrefixBytes);
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

#endif  // QUARN_TESTS_CODEC_TEST_UTIL_H
