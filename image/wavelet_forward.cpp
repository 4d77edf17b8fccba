// Forward transform: a dyadic 2-D 9/7 wavelet transform of each plane, after
// the colour projection, in place, into the pyramid layout (coarsest
// low-pass band top-left, detail bands of level k beside and below it).
#include <algorithm>

#include "image/fatal.h"
#include "image/image_3c.h"
#include "image/kernels.h"
#include "image/size_limits.h"
#include "image/worker_pool.h"

namespace quarn {

void Image_3C::BeginTransform() {
  if (levels != 0) FatalError("cannot transform < Image_3C >");
  if (rows < kMinSide || cols < kMinSide) FatalError("< Image_3C > is too small to transform");
  levels = std::min(LevelCount(codeCols), LevelCount(codeRows));
}

// Columns are independent, and so are rows: blocks of columns start on a
// cache line (16 samples), so that no two tasks write into one line.
void Image_3C::RunPass(Pass pass, bool by_columns, float** const* planes, int count, int32_t nr,
                       int32_t nc) {
  constexpr int32_t kLine = 16;
  const int32_t units = by_columns ? (nc + kLine - 1) / kLine : nr;
  const int64_t unit_samples = by_columns ? int64_t{nr} * kLine : nc;
  const int32_t per_plane =
      task_count(threads, int64_t{units} * unit_samples, int64_t{1} << 14) / count;
  const int32_t parts = std::max(1, std::min(per_plane, units));
  ReserveWorkSlots(threads);
  run_tasks(threads, parts * count, [&](int32_t t, int32_t slot) {
    float* p = planes[t / parts][0];
    const int32_t begin = part_begin(units, parts, t % parts);
    const int32_t end = part_begin(units, parts, t % parts + 1);
    if (by_columns) {
      const int32_t x0 = begin * kLine;
      const int32_t x1 = std::min(nc, end * kLine);
      pass(p + x0, stride, nr, x1 - x0, WorkSlot(slot));
    } else {
      pass(p + begin * stride, stride, end - begin, nc, WorkSlot(slot));
    }
  });
}

// Per level, finest first: columns, then rows (the low and the high half just
// written alike), each output filtered from an unmodified copy of its line.
void Image_3C::TransformPlane(float** p) {
  const kernels::Table& k = kernels::active();
  for (int32_t l = 0; l < levels; ++l) {
    const int32_t nr = codeRows >> l;
    const int32_t nc = codeCols >> l;
    RunPass(k.forward_columns, true, &p, 1, nr, nc);
    RunPass(k.forward_rows, false, &p, 1, nr, nc);
  }
}

// The levels after the first, all three planes in each pass.
void Image_3C::TransformDeeper() {
  const kernels::Table& k = kernels::active();
  float** const planes[3] = {plane[0], plane[1], plane[2]};
  for (int32_t l = 1; l < levels; ++l) {
    const int32_t nr = codeRows >> l;
    const int32_t nc = codeCols >> l;
    RunPass(k.forward_columns, true, planes, 3, nr, nc);
    RunPass(k.forward_rows, false, planes, 3, nr, nc);
  }
}

}  // namespace quarn
