// Tree geometry of the SPIHT coder: 2x2 groups, their members, offspring and
// levels, plus the encoder's descendant maxima and first threshold exponent.
#ifndef QUARN_SPIHT_TREE_H
#define QUARN_SPIHT_TREE_H

#include <cstdint>

#include "spiht/lists.h"

namespace quarn {

class Image_3C;

namespace tree {

// Members of a group: 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right.
inline constexpr int32_t kRowOffset[4] = {0, 0, 1, 1};
inline constexpr int32_t kColOffset[4] = {0, 1, 0, 1};

// A group's place and flags as loose values.
struct Place {
  uint32_t row;
  uint32_t col;
  int32_t flags;
};

// The offspring group of member k of the group at (row, col) with `flags`,
// and its flags: one level less, the same plane, and all set bits set when
// it is a finest group (level 1), whose members have no descendants.
inline Place offspring(const SpihtState& s, uint32_t row, uint32_t col, int32_t flags, int k,
                       int32_t tree_levels) {
  const int32_t level = lisp_flags::level(flags);
  Place child;
  if (level == tree_levels + 1) {
    child.row = row + static_cast<uint32_t>(kRowOffset[k] * s.top_rows);
    child.col = col + static_cast<uint32_t>(kColOffset[k] * s.top_cols);
  } else {
    child.row = 2 * (row + static_cast<uint32_t>(kRowOffset[k]));
    child.col = 2 * (col + static_cast<uint32_t>(kColOffset[k]));
  }
  child.flags = lisp_flags::make(lisp_flags::plane(flags), level - 1);
  if (level - 1 == 1) child.flags |= lisp_flags::kSetBits;
  return child;
}

}  // namespace tree

// Sets up the lists for one coding call: an empty LSP, and in the LISP every
// top-band group of planes 0, 1, 2, each row-major. Member 0 of a top-band
// group has no descendants, so its set bit starts set.
void spiht_begin(SpihtState& s, int32_t tree_levels);
// Empties the lists; their storage is kept for the next image.
void spiht_end(SpihtState& s);

// Exponent n of the first threshold 2^n for the largest magnitude M:
// trunc(float32(ln M) / ln 2), and 0 when M is below 1.
int32_t top_exponent_of(float M);

// Fills `maxima` with the largest descendant magnitude of every member that
// has offspring, and returns the top exponent over all three planes.
// With `finest_done`, the members whose offspring are in the first level's
// detail bands already have theirs (finest_maxima, for every pair of rows;
// tree_levels of at least 2).
int32_t descendant_maxima(Image_3C& coefficients, Image_3C& maxima,
                          SpihtState& s, int32_t tree_levels, bool finest_done = false);

// The same in steps, so that the finest maxima are taken while the first
// wavelet level has its rows in the caches: prepare_maxima makes room for
// the maxima of a code_rows x code_cols plane; finest_maxima fills, for
// pairs y0 .. y1 - 1 of plane p (rows as RowPairsDone counts them),
// the maxima of the members whose offspring lie in those rows.
void prepare_maxima(Image_3C& maxima, int32_t code_rows, int32_t code_cols);
void finest_maxima(const Image_3C& coefficients, Image_3C& maxima, int plane, int32_t y0,
                   int32_t y1);

}  // namespace quarn

#endif  // QUARN_SPIHT_TREE_H
