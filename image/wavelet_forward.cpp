// Forward transform: colour projection, then a dyadic 2-D 9/7 wavelet
// transform of each plane, in place, into the pyramid layout (coarsest
// low-pass band top-left, detail bands of level k beside and below it).
#include <algorithm>
#include <cstring>

#include "image/fatal.h"
#include "image/image_3c.h"
#include "image/wavelet_kernels.h"

void Image_3C::MirrorLine(float* first, float* last) {
  for (int i = 1; i <= 4; ++i) {
    first[-i] = first[i];
    last[i] = last[-i];
  }
}

void Image_3C::Transform() {
  BeginTransform();
  ForwardColour();
  TransformPlane(plane[0]);
  TransformPlane(plane[1]);
  TransformPlane(plane[2]);
}

void Image_3C::BeginTransform() {
  if (levels != 0) FatalError("cannot transform < Image_3C >");
  if (rows < 32 || cols < 32) FatalError("< Image_3C > is too small to transform");
  levels = std::min(LevelCount(codeCols), LevelCount(codeRows));
}

void Image_3C::TransformPlane(float** p) {
  for (int32_t l = 0; l < levels; ++l) {
    const int32_t nr = codeRows >> l;
    const int32_t nc = codeCols >> l;

    // Columns first: gather each column into the line buffer, filter it back
    // into the same column, low half above, high half below.
    for (int32_t x = 0; x < nc; ++x) {
      for (int32_t y = 0; y < nr; ++y) line[y] = p[y][x];
      MirrorLine(line, line + nr - 1);
      wavelet::analyze_line(line, nr / 2, &p[0][x], &p[nr / 2][x], stride);
    }
    // Then rows, the low and the high half just written alike.
    for (int32_t y = 0; y < nr; ++y) {
      std::memcpy(line, p[y], sizeof(float) * static_cast<std::size_t>(nc));
      MirrorLine(line, line + nc - 1);
      wavelet::analyze_line(line, nc / 2, p[y], p[y] + nc / 2, 1);
    }
  }
}
