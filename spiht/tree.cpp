#include "spiht/tree.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "image/fatal.h"
#include "image/image_3c.h"
#include "image/kernels.h"
#include "image/worker_pool.h"

namespace quarn {

void spiht_begin(SpihtState& s, int32_t tree_levels) {
  s.lsp.begin(s.code_rows, s.code_cols);
  // When big buffers share huge pages, an entry per eight samples of a
  // plane (at half a bit per pixel the Kodak photographs need at most 19,000
  // of the 49,152 this gives them); else a huge page's worth.
  s.lisp.set_first_capacity(big_buffers_shared()
                                ? static_cast<int32_t>(int64_t{s.code_rows} * s.code_cols / 8)
                                : INT32_MAX);
  s.lisp.set_most(int64_t{3} * s.code_rows * s.code_cols / 4);
  s.pass_count = 0;
  s.lisp.truncate(0);
  s.top_rows = s.code_rows >> tree_levels;
  s.top_cols = s.code_cols >> tree_levels;
  for (unsigned p = 0; p < 3; ++p) {
    const int32_t flags = lisp_flags::make(p, tree_levels + 1) | 2;
    for (int32_t i = 0; i < s.top_rows; i += 2) {
      for (int32_t j = 0; j < s.top_cols; j += 2) {
        s.lisp.push(LispEntry{static_cast<uint16_t>(i), static_cast<uint16_t>(j), flags, {}, {}});
      }
    }
  }
}

void spiht_end(SpihtState& s) {
  s.lisp.truncate(0);
  s.lsp.begin(s.code_rows, s.code_cols);
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

// The largest magnitude of the 2x2 block of rows c0, c1 at columns 2x, 2x+1.
inline float block_max(const float* c0, const float* c1, int32_t x) {
  const float a = std::max(std::fabs(c0[2 * x]), std::fabs(c0[2 * x + 1]));
  const float b = std::max(std::fabs(c1[2 * x]), std::fabs(c1[2 * x + 1]));
  return std::max(a, b);
}

}  // namespace

int32_t top_exponent_of(float M) {
  if (!(M >= 1.0f)) return 0;
  const uint32_t bits = std::bit_cast<uint32_t>(M);
  int32_t n = 0;
  while (n < 31 && bits >= kFirstAtLeast[n + 1]) ++n;
  return n;
}

void prepare_maxima(Image_3C& maxima, int32_t code_rows, int32_t code_cols) {
  // Every entry is written, so the storage needs no clearing first.
  maxima.Allocate(code_rows / 2, code_cols / 2);
  std::memset(maxima.mean, 0, sizeof maxima.mean);
  std::memset(maxima.matrix, 0, sizeof maxima.matrix);
  maxima.levels = std::min(Image_3C::LevelCount(maxima.codeCols),
                           Image_3C::LevelCount(maxima.codeRows));
}

// Ring 1 of descendant_maxima below, for some of its rows: a pair y of the
// first level's rows holds the offspring of maxima row y (the right half of
// the top detail band) and of maxima row codeRows / 4 + y (the whole row).
void finest_maxima(const Image_3C& coefficients, Image_3C& maxima, int plane, int32_t y0,
                   int32_t y1) {
  const int32_t quarter = coefficients.codeRows / 4, cols = coefficients.codeCols / 2;
  const std::ptrdiff_t cs = coefficients.stride, ms = maxima.stride;
  const float* c = coefficients.plane[plane][0];
  float* m = maxima.plane[plane][0];
  const kernels::Table& kt = kernels::active();
  for (int32_t y = y0; y < y1; ++y) {
    const float* top = c + 2 * y * cs;
    kt.block_max(top, top + cs, nullptr, nullptr, m + y * ms, cols >> 1, cols);
    const float* bottom = c + 2 * (quarter + y) * cs;
    kt.block_max(bottom, bottom + cs, nullptr, nullptr, m + (quarter + y) * ms, 0, cols);
  }
}

// The maxima are gathered bottom-up, one band ring at a time from the finest:
// a member outside the top band has its offspring at twice its position, so
// its descendant maximum is the largest over that 2x2 block of each child's
// magnitude and, for children that have offspring themselves, their own
// descendant maximum. Maxima are exact, so this order gives the same values
// as walking each tree from its root.
int32_t descendant_maxima(Image_3C& coefficients, Image_3C& maxima, SpihtState& s,
                          int32_t tree_levels, bool finest_done) {
  const int32_t R = s.code_rows, C = s.code_cols, L = tree_levels;
  if (finest_done && L < 2) FatalError("descendant maxima out of order");
  if (!finest_done) prepare_maxima(maxima, R, C);
  const int32_t top_rows = R >> L;
  const int32_t top_cols = C >> L;
  const std::ptrdiff_t cs = coefficients.stride, ms = maxima.stride;
  const kernels::Table& kt = kernels::active();
  // Within a ring, rows are independent: bands of rows of each plane.
  const int32_t threads = coefficients.threads;
  for (int32_t ring = finest_done ? 2 : 1; ring < L; ++ring) {
    const int32_t rows = R >> ring, cols = C >> ring;
    const int32_t bands =
        std::max(1, task_count(threads, int64_t{rows} * cols * 3, int64_t{1} << 13) / 3);
    run_tasks(threads, 3 * bands, [&](int32_t t, int32_t) {
      const float* c = coefficients.plane[t / bands][0];
      float* m = maxima.plane[t / bands][0];
      const int32_t end = part_begin(rows, bands, t % bands + 1);
      for (int32_t y = part_begin(rows, bands, t % bands); y < end; ++y) {
        const int32_t x0 = y < (rows >> 1) ? cols >> 1 : 0;
        const float* c0 = c + 2 * y * cs;
        const float* m0 = ring == 1 ? nullptr : m + 2 * y * ms;
        kt.block_max(c0, c0 + cs, m0, m0 == nullptr ? nullptr : m0 + ms, m + y * ms, x0, cols);
      }
    });
  }
  float M = 0.0f;
  for (unsigned p = 0; p < 3; ++p) {
    const float* c = coefficients.plane[p][0];
    float* m = maxima.plane[p][0];
    // The top band: member k = 1, 2, 3 of group (i, j) has its offspring in
    // the neighbouring band; member 0 has none.
    for (int32_t i = 0; i < top_rows; i += 2) {
      for (int32_t j = 0; j < top_cols; j += 2) {
        M = std::max(M, std::fabs(c[i * cs + j]));
        m[i * ms + j] = 0.0f;
        for (int k = 1; k < 4; ++k) {
          const int32_t r = i + tree::kRowOffset[k];
          const int32_t col = j + tree::kColOffset[k];
          M = std::max(M, std::fabs(c[r * cs + col]));
          const int32_t y = i + tree::kRowOffset[k] * top_rows;
          const int32_t x = (j + tree::kColOffset[k] * top_cols) / 2;
          const float* c0 = c + y * cs;
          const float* c1 = c0 + cs;
          float d = block_max(c0, c1, x);
          if (L > 1) {
            d = std::max(d, std::max(std::max(m[y * ms + 2 * x], m[y * ms + 2 * x + 1]),
                                     std::max(m[(y + 1) * ms + 2 * x], m[(y + 1) * ms + 2 * x + 1])));
          }
          m[r * ms + col] = d;
          M = std::max(M, d);
        }
      }
    }
    // Entries of the coding area that no member owns.
    for (int32_t y = 0; y < maxima.codeRows; ++y) {
      const int32_t x0 = y < R / 2 ? C / 2 : 0;
      std::fill(m + y * ms + x0, m + y * ms + maxima.codeCols, 0.0f);
    }
  }
  return top_exponent_of(M);
}

}  // namespace quarn
