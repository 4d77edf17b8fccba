// The decoder's first wavelet level, colour transform and output in one
// sweep.
//
// Output rows 2k and 2k + 1 of the column pass need the rows of the row
// pass at interleaved positions 2k - 3 .. 2k + 5: position 2m is row m of a
// plane (low-pass), 2m + 1 is row codeRows / 2 + m (high-pass). Each task
// takes a band of output pairs and works down it a run at a time: the row
// pass writes each position's row into a ring in the task's work slot (rows
// shared with the run before are kept), the column pass writes the run's
// output rows beside it, and the colour transform takes them straight to
// the output. The planes are only read, so bands need nothing from each
// other; each plane row is cleared once no band will read it again: at once
// when only its own band reads it, after all bands for the few rows that two
// bands share.
#include <algorithm>
#include <cstring>

#include "image/fatal.h"
#include "image/image_3c.h"
#include "image/kernels.h"
#include "image/worker_pool.h"

namespace quarn {

namespace {

// Line sample i of a line of n samples, whole-sample mirrored at both ends.
inline int32_t mirrored(int32_t i, int32_t n) { return i < 0 ? -i : i < n ? i : 2 * n - 2 - i; }

}  // namespace

void Image_3C::RecoverCells(uint8_t* out, std::ptrdiff_t out_stride) {
  RecoverPixels(out, out_stride, 4);
}

void Image_3C::RecoverRgb(uint8_t* out, std::ptrdiff_t out_stride) {
  RecoverPixels(out, out_stride, 3);
}

void Image_3C::RecoverPixels(uint8_t* out, std::ptrdiff_t out_stride, int bytes) {
  if (levels < 1) FatalError("cannot recover < Image_3C >");
  const kernels::Colour c = ColourParameters();
  const kernels::Table& k = kernels::active();
  const auto write = bytes == 4 ? k.colour_cells : k.colour_rgb;

  const int32_t half = codeRows / 2;
  const int32_t run = InverseRun(codeCols);
  const int32_t ring = 2 * run + 7;
  const std::ptrdiff_t row_floats = RunRowFloats(codeCols);
  const std::size_t row_bytes = sizeof(float) * static_cast<std::size_t>(codeCols);
  // Bands of at least 32 pairs, up to four per thread (as the forward
  // sweep): each band computes 8 rows of the row pass more than its own.
  const int32_t bands = std::max(1, std::min(4 * threads, half / 32));
  // Band t reads rows m of [k0 - 2, k1 + 1] (low-pass row m, high-pass row
  // half + m); of those, only it reads [k0 + 2, k1 - 2), or the whole band
  // at the top and bottom edges.
  auto only_reader = [&](int32_t t, int32_t m) {
    const int32_t lo = t == 0 ? 0 : part_begin(half, bands, t) + 2;
    const int32_t hi = t == bands - 1 ? half : part_begin(half, bands, t + 1) - 2;
    return m >= lo && m < hi;
  };
  ReserveWorkSlots(threads);
  run_tasks(threads, bands, [&](int32_t t, int32_t slot) {
    float* ws = WorkSlot(slot);
    float* outputs = ws + 3 * ring * row_floats;
    float* work = outputs + 3 * 2 * run * row_floats;
    auto ring_row = [&](int p, int32_t i) { return ws + (p * ring + i % ring) * row_floats; };
    const int32_t k0 = part_begin(half, bands, t);
    const int32_t k1 = part_begin(half, bands, t + 1);
    int32_t next = 2 * k0 - 3;  // the next position of the row pass
    const float* in[3][2 * 16 + 7];
    float* synthesized[3][2 * 16];
    for (int32_t r0 = k0; r0 < k1; r0 += run) {
      const int32_t n = std::min(run, k1 - r0);
      const int32_t first = 2 * r0 - 3;
      const int32_t last = 2 * (r0 + n) + 3;
      for (int32_t i = std::max(next, first); i <= last; ++i) {
        if (i < 0 || i >= codeRows) continue;
        const int32_t m = i / 2;
        const int32_t row = i % 2 == 0 ? m : half + m;
        // The rows two positions on come from memory while this one is
        // worked on.
        if (i + 2 < codeRows) {
          const int32_t ahead = i % 2 == 0 ? m + 1 : half + m + 1;
          for (int p = 0; p < 3; ++p) {
            for (int32_t x = 0; x < codeCols; x += 16) __builtin_prefetch(plane[p][ahead] + x);
          }
        }
        for (int p = 0; p < 3; ++p) {
          k.inverse_rows_to(plane[p][row], stride, 1, codeCols, ring_row(p, i), 0, work);
          if (only_reader(t, m)) std::memset(plane[p][row], 0, row_bytes);
        }
      }
      next = last + 1;
      for (int p = 0; p < 3; ++p) {
        for (int32_t j = 0; j < 2 * n + 7; ++j) in[p][j] = ring_row(p, mirrored(first + j, codeRows));
        for (int32_t j = 0; j < 2 * n; ++j) {
          synthesized[p][j] = outputs + (p * 2 * run + j) * row_floats;
        }
        k.synthesize_columns(in[p], n, codeCols, synthesized[p]);
      }
      for (int32_t j = 0; j < 2 * n && 2 * r0 + j < rows; ++j) {
        write(synthesized[0][j], synthesized[1][j], synthesized[2][j], cols, c,
              out + (2 * r0 + j) * out_stride, false);
      }
    }
  });
  for (int32_t t = 1; t < bands; ++t) {
    const int32_t edge = part_begin(half, bands, t);
    for (int32_t m = std::max(0, edge - 2); m < std::min(half, edge + 2); ++m) {
      for (int p = 0; p < 3; ++p) {
        std::memset(plane[p][m], 0, row_bytes);
        std::memset(plane[p][half + m], 0, row_bytes);
      }
    }
  }
  levels = 0;
}

}  // namespace quarn
