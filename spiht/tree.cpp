#include "spiht/tree.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "image/image_3c.h"

void spiht_begin(SpihtState& s, int32_t tree_levels) {
  s.lsp.begin(s.code_rows, s.code_cols);
  s.pass_count = 0;
  s.lisp_head = s.lisp_pool.take();
  s.lisp_head->next = nullptr;
  s.lisp_tail = s.lisp_head;
  s.top_rows = s.code_rows >> tree_levels;
  s.top_cols = s.code_cols >> tree_levels;
  for (unsigned p = 0; p < 3; ++p) {
    const int32_t flags = lisp_flags::make(p, tree_levels + 1) | 2;
    for (int32_t i = 0; i < s.top_rows; i += 2) {
      for (int32_t j = 0; j < s.top_cols; j += 2) tree::append(s, i, j, flags);
    }
  }
}

void spiht_end(SpihtState& s) {
  s.lsp.end();
  s.lisp_pool.clear();
  s.lisp_head = s.lisp_tail = nullptr;
}

namespace {

// kFirstAtLeast[n] is the smallest float32 M for which
// trunc(float32(ln M) / ln 2) is at least n, with the logarithm correctly
// rounded. Comparing against it gives the same exponent on every platform,
// whatever the accuracy of the local log(); near the powers of two the float32
// rounding moves the step one way or the other (8192 itself gives 12).
constexpr uint32_t kFirstAtLeast[32] = {
    0x00000000, 0x40000000, 0x40800000, 0x40ffffff, 0x417fffff, 0x41ffffff,
    0x427ffffd, 0x42fffffd, 0x437ffffd, 0x43fffffd, 0x447ffffd, 0x44fffffd,
    0x457ffff9, 0x46000001, 0x467ffff9, 0x47000001, 0x477ffff9, 0x48000001,
    0x487ffff9, 0x49000001, 0x497ffff9, 0x4a000001, 0x4a7ffff9, 0x4b000001,
    0x4b7ffff1, 0x4bfffff9, 0x4c800001, 0x4d000005, 0x4d7ffff1, 0x4dfffff9,
    0x4e800001, 0x4f000005};

// Maximum magnitude over the group at (y, x) and all its descendants, `a`
// generations including itself, storing each member's descendant maximum.
float group_max(float** coefficients, float** maxima, int32_t a, int32_t y,
                int32_t x) {
  float m = 0.0f;
  for (int k = 0; k < 4; ++k) {
    const int32_t r = y + tree::kRowOffset[k];
    const int32_t c = x + tree::kColOffset[k];
    m = std::max(m, std::fabs(coefficients[r][c]));
    if (a > 1) {
      const float d = group_max(coefficients, maxima, a - 1, 2 * r, 2 * c);
      maxima[r][c] = d;
      m = std::max(m, d);
    }
  }
  return m;
}

}  // namespace

int32_t top_exponent_of(float M) {
  if (!(M >= 1.0f)) return 0;
  const uint32_t bits = std::bit_cast<uint32_t>(M);
  int32_t n = 0;
  while (n < 31 && bits >= kFirstAtLeast[n + 1]) ++n;
  return n;
}

int32_t descendant_maxima(Image_3C& coefficients, Image_3C& maxima, SpihtState& s,
                          int32_t tree_levels) {
  maxima.ResetCoefficients(s.code_rows / 2, s.code_cols / 2);
  const int32_t top_rows = s.code_rows >> tree_levels;
  const int32_t top_cols = s.code_cols >> tree_levels;
  float M = 0.0f;
  for (unsigned p = 0; p < 3; ++p) {
    coefficients.SelectColor(p);
    maxima.SelectColor(p);
    float** c = coefficients.current;
    float** m = maxima.current;
    for (int32_t i = 0; i < top_rows; i += 2) {
      for (int32_t j = 0; j < top_cols; j += 2) {
        M = std::max(M, std::fabs(c[i][j]));
        for (int k = 1; k < 4; ++k) {
          const int32_t r = i + tree::kRowOffset[k];
          const int32_t col = j + tree::kColOffset[k];
          M = std::max(M, std::fabs(c[r][col]));
          const float d = group_max(c, m, tree_levels, i + tree::kRowOffset[k] * top_rows,
                                    j + tree::kColOffset[k] * top_cols);
          m[r][col] = d;
          M = std::max(M, d);
        }
      }
    }
  }
  return top_exponent_of(M);
}
