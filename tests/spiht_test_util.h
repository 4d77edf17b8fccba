// A small coefficient image coded and decoded by SPIHT directly, without the
// pipelines: 32 x 32 coefficients, three tree levels, a 4 x 4 top band.
#ifndef QUARN_TESTS_SPIHT_TEST_UTIL_H
#define QUARN_TESTS_SPIHT_TEST_UTIL_H

#include <cstring>
#include <vector>

#include "image/image_3c.h"
#include "spiht/spiht_decode.h"
#include "spiht/spiht_encode.h"
#include "spiht/tree.h"
#include "stream/bit_reader.h"
#include "stream/bit_writer.h"

namespace quarn {

struct SmallCode {
  static constexpr int32_t kLevels = 3;
  Image_3C coefficients;
  std::vector<uint8_t> stream = std::vector<uint8_t>(8192, 0);
  int32_t top_exponent = 0;
  int32_t written = 0;  // stream bytes, the "n" and the flush byte included

  SmallCode() { coefficients.ResetCoefficients(32, 32); }

  // A top-band group holding 9, -3, 0.5 and -12, whose members 1, 2 and 3
  // have descendant maxima 2, 9 and 7: the first threshold is 8.
  void place_example() {
    float** p = coefficients.plane[0];
    p[0][0] = 9.0f;
    p[0][1] = -3.0f;
    p[1][0] = 0.5f;
    p[1][1] = -12.0f;
    p[0][4] = 2.0f;  // offspring group of member 1
    p[4][0] = 9.0f;  // of member 2
    p[4][4] = 7.0f;  // of member 3
  }

  // The coder's lists as the last encode left them.
  SpihtState s;

  // Codes the planes with this byte budget; the stream starts with "n".
  void encode(int32_t byte_budget) {
    s.code_rows = s.code_cols = 32;
    Image_3C maxima;
    top_exponent = descendant_maxima(coefficients, maxima, s, kLevels);
    BitWriter w;
    begin_write(w, stream.data());
    w.byte_budget = byte_budget;
    spiht_encode(s, w, coefficients, maxima, kLevels, top_exponent);
    end_write(w);
    written = byte_count(w);
  }

  // Entry i of the coder's LSP: the magnitude still to code.
  float remainder(int64_t i) const {
    float r;
    std::memcpy(&r, static_cast<const uint32_t*>(s.lsp.lsp_blocks[i / s.lsp.lsp_block_size].data) +
                        i % s.lsp.lsp_block_size,
                sizeof r);
    return r;
  }

  // Bit k of the coded sequence after the "n".
  int bit(int k) const { return (stream[1 + k / 8] >> (k % 8)) & 1; }

  // Decodes the stream with this budget into `out`.
  void decode(int32_t byte_budget, Image_3C* out) const {
    out->ResetCoefficients(32, 32);
    SpihtDecodeState s;
    s.code_rows = s.code_cols = 32;
    BitReader r;
    begin_read(r, stream.data(), stream.size());
    r.byte_budget = byte_budget;
    spiht_decode(s, r, *out, kLevels, top_exponent);
    spiht_place(s, *out);
  }

  // The distinct values that coefficient (y, x) of plane 0 takes as the
  // decoder's budget grows, in order.
  std::vector<double> value_history(int32_t y, int32_t x, int32_t max_budget) const {
    std::vector<double> seen;
    for (int32_t b = 0; b <= max_budget; ++b) {
      Image_3C out;
      decode(b, &out);
      const double v = out.plane[0][y][x];
      if (seen.empty() || seen.back() != v) seen.push_back(v);
    }
    return seen;
  }
};

}  // namespace quarn

#endif  // QUARN_TESTS_SPIHT_TEST_UTIL_H
