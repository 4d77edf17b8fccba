// Forward transform: a dyadic 2-D 9/7 wavelet transform of each plane, after
// the colour projection, in place, into the pyramid layout (coarsest
// low-pass band top-left, detail bands of level k beside and below it).
#include <algorithm>

#include "image/fatal.h"
#include "image/image_3c.h"
#include "image/kernels.h"
#include "image/size_limits.h"

namespace quarn {

void Image_3C::BeginTransform() {
  if (levels != 0) FatalError("cannot transform < Image_3C >");
  if (rows < kMinSide || cols < kMinSide) FatalError("< Image_3C > is too small to transform");
  levels = std::min(LevelCount(codeCols), LevelCount(codeRows));
}

// Per level, finest first: columns, then rows (the low and the high half just
// written alike), each output filtered from an unmodified copy of its line.
void Image_3C::TransformPlane(float** p) {
  const kernels::Table& k = kernels::active();
  for (int32_t l = 0; l < levels; ++l) {
    const int32_t nr = codeRows >> l;
    const int32_t nc = codeCols >> l;
    k.forward_columns(p[0], stride, nr, nc, lineStore);
    k.forward_rows(p[0], stride, nr, nc, lineStore);
  }
}

}  // namespace quarn
