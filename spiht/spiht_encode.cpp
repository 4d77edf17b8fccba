// The coder walks one shared group list for all three planes. Each sorting
// pass first tests the insignificant members of every group (pixel phase),
// then the descendant sets (set phase), creating offspring groups as sets
// become significant; each refinement pass then emits the next magnitude bit
// of every coefficient found in earlier passes. The budget is checked after
// each group, each set step and each refinement bit, and nowhere else.
#include "spiht/spiht_encode.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "image/image_3c.h"
#include "spiht/group_mask.h"
#include "spiht/lsp_walk.h"
#include "spiht/tree.h"

namespace quarn {

namespace {

using namespace lisp_flags;

class Coder {
 public:
  Coder(SpihtState& s, BitWriter& w, const Image_3C& coefficients, const Image_3C& maxima,
        int32_t tree_levels)
      : s_(s),
        w_(w),
        tree_levels_(tree_levels),
        base_(coefficients.plane[0][0]),
        cs_(coefficients.stride),
        ps_(coefficients.planeSamples),
        mbase_(maxima.plane[0][0]),
        ms_(maxima.stride),
        mps_(maxima.planeSamples) {}

  bool sorting_pass();
  bool refinement_pass();

  // The exponents of the groups the lists start with.
  void take_all_exponents() {
    for (int32_t i = 0; i < s_.lisp.size(); ++i) {
      LispEntry& e = s_.lisp[i];
      take_exponents(e, e.row, e.col, e.flags);
    }
  }

 private:
  QUARN_HOT int32_t code_group(BitWriter& b, uint32_t row, uint32_t col, int32_t flags,
                               uint32_t value_exponents, float T, uint32_t threshold_exponent);
  QUARN_HOT int32_t code_sets(BitWriter& b, uint32_t row, uint32_t col, int32_t flags,
                              uint32_t max_exponents, float T, uint32_t threshold_exponent);

  const float* group_at(uint32_t row, uint32_t col, int32_t flags) const {
    return base_ + plane(flags) * ps_ + row * cs_ + col;
  }
  // The exponent fields of a new group's magnitudes and, when it has sets to
  // code, of its descendant maxima, into its entry; returns the former.
  uint32_t take_exponents(LispEntry& e, uint32_t row, uint32_t col, int32_t flags) const {
    const uint32_t values = group_mask::exponents(group_mask::load(group_at(row, col, flags), cs_));
    uint32_t maxima = 0;  // none below the finest groups
    if (level(flags) > 1) {
      const float* m = mbase_ + plane(flags) * mps_ + row * ms_ + col;
      maxima = group_mask::exponents(group_mask::load(m, ms_));
    }
    const uint64_t tail = static_cast<uint64_t>(maxima) | static_cast<uint64_t>(values) << 32;
    static_assert(offsetof(LispEntry, value_exponent) == offsetof(LispEntry, max_exponent) + 4);
    std::memcpy(e.max_exponent, &tail, sizeof tail);
    return values;
  }
  static uint32_t max_exponents(const LispEntry& e) {
    uint32_t bytes;
    std::memcpy(&bytes, e.max_exponent, sizeof bytes);
    return bytes;
  }
  static uint32_t value_exponents(const LispEntry& e) {
    uint32_t bytes;
    std::memcpy(&bytes, e.value_exponent, sizeof bytes);
    return bytes;
  }

  // Samples that a group a few entries ahead will read: in the pixel phase
  // the members of a group that finds some; in the set phase the members,
  // and maxima, of the offspring groups that it is about to make.
  static constexpr int32_t kAhead = 12;
  void prefetch_group(const LispEntry& e, uint32_t threshold_exponent) const {
    const uint32_t open = group_mask::gather(static_cast<uint32_t>(~e.flags & kPixelBits));
    if ((group_mask::bytes_at_least(value_exponents(e), threshold_exponent) & open) == 0) return;
    const float* g = group_at(e.row, e.col, e.flags);
    __builtin_prefetch(g);
    __builtin_prefetch(g + cs_);
  }
  // Below the top band a group's four offspring groups are the 4 x 4 block
  // at twice its place: its rows are fetched whole when any set is found.
  void prefetch_sets(const LispEntry& e, uint32_t threshold_exponent) const {
    const uint32_t open = group_mask::gather(static_cast<uint32_t>(~e.flags & kSetBits) >> 1);
    uint32_t found = group_mask::bytes_at_least(max_exponents(e), threshold_exponent) & open;
    if (found == 0) return;
    if (level(e.flags) <= tree_levels_) {
      const uint32_t row = 2 * e.row, col = 2 * e.col;
      const float* g = group_at(row, col, e.flags);
      for (int r = 0; r < 4; ++r) __builtin_prefetch(g + r * cs_);
      if (level(e.flags) > 2) {
        const float* m = mbase_ + plane(e.flags) * mps_ + row * ms_ + col;
        for (int r = 0; r < 4; ++r) __builtin_prefetch(m + r * ms_);
      }
      return;
    }
    for (; found != 0; found &= found - 1) {
      const tree::Place child =
          tree::offspring(s_, e.row, e.col, e.flags, group_mask::lowest(found), tree_levels_);
      const float* g = group_at(child.row, child.col, child.flags);
      __builtin_prefetch(g);
      __builtin_prefetch(g + cs_);
      const float* m = mbase_ + plane(child.flags) * mps_ + child.row * ms_ + child.col;
      __builtin_prefetch(m);
      __builtin_prefetch(m + ms_);
    }
  }

  SpihtState& s_;
  BitWriter& w_;
  const int32_t tree_levels_;
  const float* const base_;  // plane 0, sample (0, 0); planes ps_ apart
  const std::ptrdiff_t cs_, ps_;
  const float* const mbase_;
  const std::ptrdiff_t ms_, mps_;
  // What a group that finds no member reads instead of the planes (so that
  // the test needs no branch): four zero samples, rows 2 apart.
  const float nothing_[4] = {};
};

// Per open member a significance bit, and after a 1 the sign bit. Which
// members are found comes from the exponents; the planes are read only for
// the signs and remainders of those found. Returns the group's flags with
// the members found marked.
int32_t Coder::code_group(BitWriter& b, uint32_t row, uint32_t col, int32_t flags,
                          uint32_t value_exponents, float T, uint32_t threshold_exponent) {
  const uint32_t open = ~flags & kPixelBits;  // spread
  const uint32_t found4 =
      group_mask::bytes_at_least(value_exponents, threshold_exponent) & group_mask::gather(open);
  // No branch on what was found: it is rarely predictable.
  const float* g = found4 != 0 ? group_at(row, col, flags) : nothing_;
  const group_mask::Four f = group_mask::load(g, found4 != 0 ? cs_ : 2);
  const uint32_t found = group_mask::spread(found4);
  const uint32_t negative = group_mask::spread(group_mask::negative(f)) & found;
  const uint32_t code = group_mask::kGroupCode[open + found + negative];
  put_code(b, code & 0xFF, static_cast<int>(code >> 8));
  // The members found go to the LSP with the part of their magnitude still
  // to code.
  uint32_t rest[4];
  group_mask::residuals(f, T, rest);
  s_.lsp.add_values(rest, found4);
  return flags | static_cast<int32_t>(found);
}

// Returns the group's flags with the sets found marked.
int32_t Coder::code_sets(BitWriter& b, uint32_t row, uint32_t col, int32_t flags,
                         uint32_t max_exponents, float T, uint32_t threshold_exponent) {
  int32_t F = flags;
  const uint32_t open = group_mask::gather(static_cast<uint32_t>(~F & kSetBits) >> 1);
  const uint32_t found = group_mask::bytes_at_least(max_exponents, threshold_exponent) & open;
  if ((F & kSetBits) == 0) {
    // The group bit: 1 when no set of the group is significant.
    put_bit(b, found == 0);
    if (found == 0) return F;
  }
  // Open members in order: a 0 for each insignificant one, a 1 for each
  // significant one followed at once by its offspring group.
  uint32_t rest = open;
  for (uint32_t f = found; f != 0; f &= f - 1) {
    const int k = group_mask::lowest(f);
    put_zeros(b, group_mask::count(rest & ((1u << k) - 1)));
    put_bit(b, 1);
    rest &= ~((2u << k) - 1);
    F |= 2 << (2 * k);
    const tree::Place c = tree::offspring(s_, row, col, flags, k, tree_levels_);
    LispEntry& child = s_.lisp.append();
    const uint32_t values = take_exponents(child, c.row, c.col, c.flags);
    write_entry(child, c.row, c.col,
                code_group(b, c.row, c.col, c.flags, values, T, threshold_exponent));
  }
  put_zeros(b, group_mask::count(rest));
  return F;
}

bool Coder::sorting_pass() {
  const float T = s_.threshold;
  // T is a power of two: a magnitude is at least T exactly when its exponent
  // field is at least T's.
  uint32_t threshold_bits;
  std::memcpy(&threshold_bits, &T, sizeof T);
  const uint32_t threshold_exponent = threshold_bits >> 23 & 0xFF;
  LispList& lisp = s_.lisp;
  BitWriter b = w_;
  const int64_t limit = bit_limit(b);
  bool stop = false;
  const int32_t n = lisp.size();
  for (int32_t i = 0; i < n && !stop; ++i) {
    if (i + kAhead < n) prefetch_group(lisp[i + kAhead], threshold_exponent);
    LispEntry& e = lisp[i];
    if ((e.flags & kPixelBits) == kPixelBits) continue;
    e.flags = code_group(b, e.row, e.col, e.flags, value_exponents(e), T, threshold_exponent);
    stop = b.pos >= limit;
  }
  // Groups appended here are reached in the same walk; finished groups are
  // dropped by moving the others down.
  int32_t kept = 0;
  for (int32_t i = 0; i < lisp.size() && !stop; ++i) {
    if (i + kAhead < lisp.size()) prefetch_sets(lisp[i + kAhead], threshold_exponent);
    const uint32_t row = lisp[i].row;
    const uint32_t col = lisp[i].col;
    int32_t flags = lisp[i].flags;
    uint64_t exponents;  // the maxima's, then the magnitudes'
    std::memcpy(&exponents, lisp[i].max_exponent, sizeof exponents);
    if ((flags & kSetBits) != kSetBits) {
      flags = code_sets(b, row, col, flags, static_cast<uint32_t>(exponents), T,
                        threshold_exponent);
      if (b.pos >= limit) {
        lisp[i].flags = flags;
        stop = true;
        break;
      }
    }
    // Written whether it is kept or not (a finished group is overwritten by
    // the next kept one): no branch on it.
    LispEntry& kept_entry = lisp[kept];
    write_entry(kept_entry, row, col, flags);
    std::memcpy(kept_entry.max_exponent, &exponents, sizeof exponents);
    kept += (flags & kDone) != kDone;
  }
  if (!stop) lisp.truncate(kept);
  w_ = b;
  return stop;
}

bool Coder::refinement_pass() {
  const float T = s_.threshold;
  s_.pass_end[s_.pass_count++] = s_.lsp.size();
  if (s_.pass_count < 2) return false;
  BitWriter b = w_;
  const int64_t limit = bit_limit(b);
  const bool stop = walk_lsp(s_.lsp, 0, s_.pass_end[s_.pass_count - 2], [&](uint32_t& entry) {
    float r;
    std::memcpy(&r, &entry, sizeof r);
    const bool bit = r >= T;
    put_bit(b, bit);
    r = r - (bit ? T : 0.0f);  // r - 0 is r
    std::memcpy(&entry, &r, sizeof r);
    return b.pos >= limit;
  });
  w_ = b;
  return stop;
}

}  // namespace

void spiht_encode(SpihtState& s, BitWriter& w, const Image_3C& coefficients,
                  const Image_3C& maxima, int32_t tree_levels, int32_t top_exponent) {
  s.threshold = static_cast<float>(std::ldexp(1.0, top_exponent));
  spiht_begin(s, tree_levels);
  Coder coder(s, w, coefficients, maxima, tree_levels);
  coder.take_all_exponents();
  for (;;) {
    if (coder.sorting_pass()) break;
    if (coder.refinement_pass()) break;
    if (s.pass_count == SpihtState::kMaxPasses) break;
    s.threshold = s.threshold * 0.5f;
  }
}

}  // namespace quarn
