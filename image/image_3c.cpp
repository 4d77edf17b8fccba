#include "image/image_3c.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "image/fatal.h"
#include "image/kernels.h"

namespace quarn {

namespace {

constexpr const char kOrigin[] = "< Image_3C >";
// Rows start on a 64-byte boundary: 16 samples.
constexpr std::ptrdiff_t kRowAlign = 16;

}  // namespace

int32_t Image_3C::CodingSize(int32_t n) {
  if (n < 8 || n > 16368) return 0;
  if (n < 200) return (n + 7) & 0x3FF8;
  return (n + 15) & 0x3FF0;
}

namespace {

// Work storage of a first-level run that stays in the second-level cache of
// current processors (512 KiB to 2 MiB), with room for the rest.
constexpr int64_t kRunBytes = 256 * 1024;

int32_t run_pairs(std::ptrdiff_t row_floats, int32_t rows_per_pair, int32_t fixed_rows) {
  const int64_t row_bytes = int64_t{12} * row_floats;  // three planes
  const int64_t pairs = (kRunBytes / row_bytes - fixed_rows) / rows_per_pair;
  return static_cast<int32_t>(std::clamp<int64_t>(pairs, 4, 16));
}

}  // namespace

// Forward: 2 pairs + 7 colour rows and 2 pairs rows of the column pass a
// plane. Inverse: 2 pairs + 7 rows of the row pass and 2 pairs output rows
// a plane.
int32_t Image_3C::ForwardRun(int32_t codeCols) {
  return run_pairs(RunRowFloats(codeCols), 4, 7);
}
int32_t Image_3C::InverseRun(int32_t codeCols) {
  return run_pairs(RunRowFloats(codeCols), 4, 7);
}

std::size_t Image_3C::FirstLevelFloats(int32_t codeCols) {
  const auto row = static_cast<std::size_t>(RunRowFloats(codeCols));
  const auto forward = static_cast<std::size_t>(3 * (4 * ForwardRun(codeCols) + 7));
  const auto inverse = static_cast<std::size_t>(3 * (4 * InverseRun(codeCols) + 7));
  // The rows, then the colour kernels' and the row passes' work.
  return std::max(forward, inverse) * row + 6 * row + 256;
}

int32_t Image_3C::LevelCount(int32_t n) {
  const auto u = static_cast<uint32_t>(n);
  const int32_t trailing = std::countr_zero(u);
  const int32_t halvings = static_cast<int32_t>(std::bit_width(u)) - 4;
  return std::min(trailing, halvings);
}

void Image_3C::Allocate(int32_t newRows, int32_t newCols) { AllocateStorage(newRows, newCols); }

bool Image_3C::AllocateStorage(int32_t newRows, int32_t newCols) {
  if (levels >= 0 && newRows == rows && newCols == cols) return false;
  Release();
  const int32_t cr = CodingSize(newRows);
  const int32_t cc = CodingSize(newCols);
  if (cr == 0 || cc == 0) {
    FatalError("< Image_3C > dimension is too small or negative");
  }

  // A failed allocation raises a fault and leaves the image empty: what was
  // allocated so far is freed by the next Release.
  const int32_t side = std::max(cr, cc);
  const std::size_t slot =
      std::max({kernels::work_floats(side), static_cast<std::size_t>(side) + 8,
                FirstLevelFloats(cc)});
  workSlotFloats_ = static_cast<std::ptrdiff_t>((slot + 15) / 16 * 16);
  workSlots_ = 0;
  ReserveWorkSlots(threads);

  // An odd number of cache lines per row: the passes that walk down columns
  // then spread over every cache set instead of piling into a few (768 or
  // 512 samples, 48 or 32 lines, would use only 4 or 2 of 64 sets).
  stride = (cc + kRowAlign - 1) / kRowAlign * kRowAlign;
  if ((stride / kRowAlign) % 2 == 0) stride += kRowAlign;
  planeSamples = static_cast<std::ptrdiff_t>(cr) * stride;
  samples_ = allocate_big(sizeof(float) * 3 * static_cast<std::size_t>(planeSamples));
  CheckAllocation(samples_.data, kOrigin);
  for (int k = 0; k < 3; ++k) {
    auto** rowTable = new (std::nothrow) float*[static_cast<std::size_t>(cr)];
    CheckAllocation(rowTable, kOrigin);
    float* block = static_cast<float*>(samples_.data) + k * planeSamples;
    for (int32_t r = 0; r < cr; ++r) rowTable[r] = block + r * stride;
    plane[k] = rowTable;
    current = rowTable;
  }
  rows = newRows;
  cols = newCols;
  codeRows = cr;
  codeCols = cc;
  return samples_.zeroed;
}

void Image_3C::ReserveWorkSlots(int32_t slots) {
  slots = std::max(slots, 1);
  if (slots <= workSlots_ || workSlotFloats_ == 0) return;
  release_big(work_);
  lineStore = nullptr;
  line = nullptr;
  workSlots_ = 0;
  work_ = allocate_big(sizeof(float) * static_cast<std::size_t>(workSlotFloats_) *
                       static_cast<std::size_t>(slots));
  CheckAllocation(work_.data, kOrigin);
  lineStore = static_cast<float*>(work_.data);
  line = lineStore + 4;
  workSlots_ = slots;
}

void Image_3C::Release() {
  // Each piece is freed on its own, so that storage whose allocation failed
  // part way is freed too.
  for (int k = 2; k >= 0; --k) {
    delete[] plane[k];
    plane[k] = nullptr;
  }
  release_big(samples_);
  release_big(work_);
  release_big(border_);
  workSlots_ = 0;
  lineStore = nullptr;
  line = nullptr;
  current = nullptr;
  rows = 0;
  cols = 0;
  levels = -1;
}

void Image_3C::ResetCoefficients(int32_t newRows, int32_t newCols, bool known_zero) {
  // Storage that was just made comes zeroed from the system.
  const bool kept = levels >= 0 && newRows == rows && newCols == cols;
  const bool fresh_zero = AllocateStorage(newRows, newCols);
  const bool zeroed = fresh_zero || (kept && known_zero);
  std::memset(mean, 0, sizeof mean);
  std::memset(matrix, 0, sizeof matrix);
  levels = std::min(LevelCount(codeCols), LevelCount(codeRows));
  if (!zeroed) {
    std::memset(plane[0][0], 0, sizeof(float) * 3 * static_cast<std::size_t>(planeSamples));
  }
}

void Image_3C::SelectColor(unsigned k) {
  if (k > 2) FatalError("invalid < Image_3C > color number");
  current = plane[k];
}

}  // namespace quarn
