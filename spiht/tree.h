// Tree geometry of the SPIHT coder: 2x2 groups, their members, offspring and
// levels, plus the encoder's descendant maxima and first threshold exponent.
#ifndef QUARN_SPIHT_TREE_H
#define QUARN_SPIHT_TREE_H

#include <cstdint>

#include "spiht/lists.h"

class Image_3C;

namespace tree {

// Members of a group: 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right.
inline constexpr int32_t kRowOffset[4] = {0, 0, 1, 1};
inline constexpr int32_t kColOffset[4] = {0, 1, 0, 1};

// Appends one group to the LISP.
inline LispEntry* append(SpihtState& s, int32_t row, int32_t col, int32_t flags) {
  LispEntry* e = s.lisp_pool.take();
  e->row = row;
  e->col = col;
  e->flags = flags;
  e->next = nullptr;
  s.lisp_tail->next = e;
  s.lisp_tail = e;
  return e;
}

// Appends the offspring group of member k of `parent`; its level is one less,
// and a finest group (level 1) has no sets to code.
inline LispEntry* append_offspring(SpihtState& s, const LispEntry& parent, int k,
                                   int32_t tree_levels) {
  const int32_t level = lisp_flags::level(parent.flags);
  int32_t row, col;
  if (level == tree_levels + 1) {
    row = parent.row + kRowOffset[k] * s.top_rows;
    col = parent.col + kColOffset[k] * s.top_cols;
  } else {
    row = 2 * (parent.row + kRowOffset[k]);
    col = 2 * (parent.col + kColOffset[k]);
  }
  int32_t flags = lisp_flags::make(lisp_flags::plane(parent.flags), level - 1);
  if (level - 1 == 1) flags |= lisp_flags::kSetBits;
  return append(s, row, col, flags);
}

}  // namespace tree

// Sets up the lists for one coding call: the LSP store, the dummy head and
// every top-band group of planes 0, 1, 2, each row-major. Member 0 of a
// top-band group has no descendants, so its set bit starts set.
void spiht_begin(SpihtState& s, int32_t tree_levels);
// Frees every list entry and LSP block.
void spiht_end(SpihtState& s);

// Exponent n of the first threshold 2^n for the largest magnitude M:
// trunc(float32(ln M) / ln 2), and 0 when M is below 1.
int32_t top_exponent_of(float M);

// Fills `maxima` with the largest descendant magnitude of every member that
// has offspring, and returns the top exponent over all three planes.
int32_t descendant_maxima(Image_3C& coefficients, Image_3C& maxima,
                          SpihtState& s, int32_t tree_levels);

#endif  // QUARN_SPIHT_TREE_H
