#include "image/image_3c.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "image/fatal.h"

namespace {

constexpr const char kOrigin[] = "< Image_3C >";
constexpr std::size_t kAlign = 64;
// Rows start on a 64-byte boundary: 16 samples.
constexpr std::ptrdiff_t kRowAlign = 16;

float* allocate_samples(std::size_t count) {
  void* p = ::operator new[](count * sizeof(float), std::align_val_t(kAlign),
                             std::nothrow);
  CheckAllocation(p, kOrigin);
  return static_cast<float*>(p);
}

void free_samples(float* p) {
  ::operator delete[](p, std::align_val_t(kAlign));
}

}  // namespace

int32_t Image_3C::CodingSize(int32_t n) {
  if (n < 8 || n > 16368) return 0;
  if (n < 200) return (n + 7) & 0x3FF8;
  return (n + 15) & 0x3FF0;
}

int32_t Image_3C::LevelCount(int32_t n) {
  const auto u = static_cast<uint32_t>(n);
  const int32_t trailing = std::countr_zero(u);
  const int32_t halvings = static_cast<int32_t>(std::bit_width(u)) - 4;
  return std::min(trailing, halvings);
}

void Image_3C::Allocate(int32_t newRows, int32_t newCols) {
  if (levels >= 0 && newRows == rows && newCols == cols) return;
  Release();
  const int32_t cr = CodingSize(newRows);
  const int32_t cc = CodingSize(newCols);
  if (cr == 0 || cc == 0) {
    FatalError("< Image_3C > dimension is too small or negative");
  }
  rows = newRows;
  cols = newCols;
  codeRows = cr;
  codeCols = cc;

  lineStore = allocate_samples(static_cast<std::size_t>(std::max(cr, cc)) + 8);
  line = lineStore + 4;

  stride = (cc + kRowAlign - 1) / kRowAlign * kRowAlign;
  for (int k = 0; k < 3; ++k) {
    auto** rowTable = new (std::nothrow) float*[static_cast<std::size_t>(cr)];
    CheckAllocation(rowTable, kOrigin);
    float* block = allocate_samples(static_cast<std::size_t>(cr) *
                                    static_cast<std::size_t>(stride));
    for (int32_t r = 0; r < cr; ++r) rowTable[r] = block + r * stride;
    plane[k] = rowTable;
    current = rowTable;
  }
}

void Image_3C::Release() {
  // Storage is tracked by its pointers rather than by `levels`, so that an
  // image allocated but never given a state is freed as well.
  if (lineStore != nullptr) {
    for (int k = 2; k >= 0; --k) {
      if (plane[k] == nullptr) continue;
      free_samples(plane[k][0]);
      delete[] plane[k];
      plane[k] = nullptr;
    }
    free_samples(lineStore);
    lineStore = nullptr;
    line = nullptr;
    current = nullptr;
  }
  rows = 0;
  cols = 0;
  levels = -1;
}

void Image_3C::ResetCoefficients(int32_t newRows, int32_t newCols) {
  Allocate(newRows, newCols);
  std::memset(mean, 0, sizeof mean);
  std::memset(matrix, 0, sizeof matrix);
  levels = std::min(LevelCount(codeCols), LevelCount(codeRows));
  const std::size_t count =
      static_cast<std::size_t>(codeRows) * static_cast<std::size_t>(stride);
  for (int k = 0; k < 3; ++k) std::fill_n(plane[k][0], count, 0.0f);
}

void Image_3C::SelectColor(unsigned k) {
  if (k > 2) FatalError("invalid < Image_3C > color number");
  current = plane[k];
}
