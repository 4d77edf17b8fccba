// The encoder's colour transform and first wavelet level in one sweep.
//
// Output pair k of the column pass (rows k and codeRows / 2 + k of a plane)
// needs colour rows 2k - 4 .. 2k + 4. Each task takes a band of pairs and
// works down it a run of pairs at a time: the colour rows of the run go into
// a ring of rows in its work slot (the rows shared with the run before are
// kept), the column pass writes the run's rows beside them, and the row
// pass takes those into the planes, each plane row written once, whole. A band
// computes the four colour rows above and below it itself, so bands need
// nothing from each other, and each writes only its own rows of the planes.
// The pixels and their border are read, never the planes, so the planes can
// be written as soon as each output is known.
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

void Image_3C::ColourFirstLevel(const uint8_t* pixels, std::ptrdiff_t pstride, RowPairsDone done) {
  if (levels < 1) FatalError("cannot transform < Image_3C >");
  if (done.call != nullptr && codeRows % 4 != 0) FatalError("cannot transform < Image_3C >");
  const kernels::Colour c = ColourParameters();
  const kernels::Table& k = kernels::active();
  const bool border = rows < codeRows || cols < codeCols;
  if (border) ExtendBordersAside(pixels, pstride);
  const float* aside = static_cast<const float*>(border_.data);
  const std::ptrdiff_t right = codeCols - cols + 1;

  // Colour row i (of the coding area) into dst: the pixels, then the border
  // from the samples kept aside, as ColourPixels transforms them.
  auto colour_row = [&](int32_t i, float* const dst[3], float* work) {
    int32_t x = 0;
    const float* from[3] = {};
    if (i < rows) {
      k.colour_pixels(pixels + i * pstride, cols, dst[0], dst[1], dst[2], c, work);
      if (cols == codeCols) return;
      x = cols;
      for (int p = 0; p < 3; ++p) {
        const float* a = aside + p * borderColour_;
        from[p] = i + 1 < rows ? a + i * right + 1 : a + borderRight_ + cols;
      }
    } else {
      for (int p = 0; p < 3; ++p) {
        from[p] = aside + p * borderColour_ + borderRight_ + (i - (rows - 1)) * codeCols;
      }
    }
    const auto n = static_cast<std::size_t>(codeCols - x);
    for (int p = 0; p < 3; ++p) std::memcpy(dst[p] + x, from[p], sizeof(float) * n);
    k.forward_colour(dst[0] + x, dst[1] + x, dst[2] + x, static_cast<int32_t>(n), c);
  };

  const int32_t half = codeRows / 2;
  const int32_t run = ForwardRun(codeCols);
  const int32_t ring = 2 * run + 7;
  const std::ptrdiff_t row_floats = RunRowFloats(codeCols);
  // Bands of at least 32 pairs, up to four per thread, so that a thread
  // that starts late or is held up leaves its share to the others: each
  // band computes 8 colour rows more than its own. They begin on even rows,
  // so that each pair of rows that `done` is told of lies in one band.
  const int32_t bands = std::max(1, std::min(4 * threads, half / 32));
  ReserveWorkSlots(threads);
  run_tasks(threads, bands, [&](int32_t t, int32_t slot) {
    float* ws = WorkSlot(slot);
    float* columns = ws + 3 * ring * row_floats;  // the column pass's rows
    float* work = columns + 3 * 2 * run * row_floats;
    auto ring_row = [&](int p, int32_t i) { return ws + (p * ring + i % ring) * row_floats; };
    const int32_t k0 = 2 * part_begin(half / 2, bands, t);
    const int32_t k1 = t + 1 == bands ? half : 2 * part_begin(half / 2, bands, t + 1);
    int32_t next = 2 * k0 - 4;  // the next colour row to compute
    const float* in[3][2 * 16 + 7];
    float* low[3][16];
    float* high[3][16];
    for (int32_t r0 = k0; r0 < k1; r0 += run) {
      const int32_t n = std::min(run, k1 - r0);
      const int32_t first = 2 * r0 - 4;
      const int32_t last = 2 * (r0 + n) + 2;
      for (int32_t i = std::max(next, first); i <= last; ++i) {
        if (i < 0 || i >= codeRows) continue;
        float* const dst[3] = {ring_row(0, i), ring_row(1, i), ring_row(2, i)};
        colour_row(i, dst, work);
      }
      next = last + 1;
      for (int p = 0; p < 3; ++p) {
        for (int32_t j = 0; j < 2 * n + 7; ++j) in[p][j] = ring_row(p, mirrored(first + j, codeRows));
        float* const run_rows = columns + p * 2 * run * row_floats;
        for (int32_t j = 0; j < n; ++j) {
          low[p][j] = run_rows + j * row_floats;
          high[p][j] = run_rows + (run + j) * row_floats;
        }
        k.analyze_columns(in[p], n, codeCols, low[p], high[p]);
        k.forward_rows_to(low[p][0], row_floats, n, codeCols, plane[p][r0], stride, work);
        k.forward_rows_to(high[p][0], row_floats, n, codeCols, plane[p][half + r0], stride, work);
        // Pairs whose second row this run wrote; their first lies in this
        // run or in the one before it, of the same band.
        if (done.call != nullptr && r0 / 2 < (r0 + n) / 2) {
          done.call(done.context, p, r0 / 2, (r0 + n) / 2);
        }
      }
    }
  });
}

}  // namespace quarn
