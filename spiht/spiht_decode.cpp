// A coefficient found significant at threshold T is placed at 1.38 T; each
// refinement moves it to a point a little below the middle of the interval
// that its bits so far leave open, by one shared step per sorting pass.
#include "spiht/spiht_decode.h"

#include <bit>
#include <cmath>

#include "image/image_3c.h"
#include "spiht/group_mask.h"
#include "spiht/lsp_walk.h"
#include "spiht/tree.h"

namespace quarn {

namespace {

using namespace lisp_flags;

class Reader {
 public:
  Reader(SpihtDecodeState& s, BitReader& r, Image_3C& coefficients, int32_t tree_levels)
      : s_(s),
        r_(r),
        tree_levels_(tree_levels),
        base_(coefficients.plane[0][0]),
        cs_(coefficients.stride),
        ps_(coefficients.planeSamples) {}

  bool sorting_pass();
  bool refinement_pass();

 private:
  template <bool kNew>
  QUARN_HOT int32_t decode_group(BitReader& b, uint32_t row, uint32_t col, int32_t flags,
                                 float magnitude);
  QUARN_HOT int32_t decode_sets(BitReader& b, uint32_t row, uint32_t col, int32_t flags,
                                float magnitude);

  // Samples that a group a few entries ahead may write: its members, or in
  // the set phase the groups its offspring would be.
  static constexpr int32_t kAhead = 12;
  void prefetch_group(const LispEntry& e) const {
    const float* g = base_ + plane(e.flags) * ps_ + e.row * cs_ + e.col;
    __builtin_prefetch(g);
    __builtin_prefetch(g + cs_);
  }
  void prefetch_offspring(const LispEntry& e) const {
    if ((e.flags & kSetBits) == kSetBits || level(e.flags) > tree_levels_) return;
    const float* g = base_ + plane(e.flags) * ps_ + 2 * (e.row * cs_ + e.col);
    for (int r = 0; r < 4; ++r) __builtin_prefetch(g + r * cs_);
  }

  SpihtDecodeState& s_;
  BitReader& r_;
  const int32_t tree_levels_;
  float* const base_;  // plane 0, sample (0, 0); planes ps_ apart
  const std::ptrdiff_t cs_, ps_;
};

// Per open member a significance bit, and after a 1 the sign bit: read for
// all four members at once from the next 8 bits. A new group's members are
// all still zero, so they are written without being read. Returns the
// group's flags with the members found marked.
template <bool kNew>
int32_t Reader::decode_group(BitReader& b, uint32_t row, uint32_t col, int32_t flags,
                             float magnitude) {
  const uint32_t open = group_mask::gather(static_cast<uint32_t>(~flags & kPixelBits));
  const uint32_t read = group_mask::kGroupRead[open | (peek_bits(b) & 0xFF) << 4];
  skip_bits(b, static_cast<int>(read >> 8));
  const uint32_t found = read & 15;
  // No branch on what was found: it is rarely predictable.
  float* g = base_ + plane(flags) * ps_ + row * cs_ + col;
  const uint32_t at = static_cast<uint32_t>(g - base_);
  s_.lsp.add_members(at, static_cast<uint32_t>(cs_), found);
  group_mask::Four f = kNew ? group_mask::Four{} : group_mask::load(g, cs_);
  group_mask::place(f, found, read >> 4 & 15, magnitude);
  group_mask::store(g, cs_, f);
  return flags | static_cast<int32_t>(group_mask::spread(found));
}

// The group bit unless a set is already significant, then a bit per open
// set; after a 1 the offspring group is read at once. Returns the group's
// flags with the sets found marked.
int32_t Reader::decode_sets(BitReader& b, uint32_t row, uint32_t col, int32_t flags,
                            float magnitude) {
  int32_t F = flags;
  if ((F & kSetBits) == 0 && get_bit(b) == 1) return F;
  uint32_t rest = group_mask::gather(static_cast<uint32_t>(~F & kSetBits) >> 1);
  while (rest != 0) {
    const int n = group_mask::count(rest);
    const uint32_t next = peek_bits(b) & ((1u << n) - 1);
    if (next == 0) {
      skip_bits(b, n);
      return F;
    }
    const int j = std::countr_zero(next);
    skip_bits(b, j + 1);
    const int k = group_mask::kNth[rest][static_cast<std::size_t>(j)];
    rest &= ~((2u << k) - 1);
    F |= 2 << (2 * k);
    const tree::Place c = tree::offspring(s_, row, col, flags, k, tree_levels_);
    const int32_t found = decode_group<true>(b, c.row, c.col, c.flags, magnitude);
    write_entry(s_.lisp.append(), c.row, c.col, found);
  }
  return F;
}

bool Reader::sorting_pass() {
  const float T = s_.threshold;
  const float v = static_cast<float>(0.38 * T);
  s_.pass_offset[s_.pass_count] = v;
  s_.entry_magnitude = static_cast<float>(static_cast<double>(T) + v);
  const float magnitude = s_.entry_magnitude;

  LispList& lisp = s_.lisp;
  BitReader b = r_;
  const int64_t limit = bit_limit(b);
  bool stop = false;
  const int32_t n = lisp.size();
  for (int32_t i = 0; i < n && !stop; ++i) {
    if (i + kAhead < n) prefetch_group(lisp[i + kAhead]);
    LispEntry& e = lisp[i];
    if ((e.flags & kPixelBits) == kPixelBits) continue;
    e.flags = decode_group<false>(b, e.row, e.col, e.flags, magnitude);
    stop = b.pos >= limit;
  }
  int32_t kept = 0;
  for (int32_t i = 0; i < lisp.size() && !stop; ++i) {
    if (i + kAhead < lisp.size()) prefetch_offspring(lisp[i + kAhead]);
    const uint32_t row = lisp[i].row;
    const uint32_t col = lisp[i].col;
    int32_t flags = lisp[i].flags;
    if ((flags & kSetBits) != kSetBits) {
      flags = decode_sets(b, row, col, flags, magnitude);
      if (b.pos >= limit) {
        lisp[i].flags = flags;
        stop = true;
        break;
      }
    }
    if ((flags & kDone) != kDone) write_entry(lisp[kept++], row, col, flags);
  }
  if (!stop) lisp.truncate(kept);
  r_ = b;
  return stop;
}

bool Reader::refinement_pass() {
  const double T = s_.threshold;
  s_.pass_end[s_.pass_count++] = s_.lsp.size();
  const int32_t P = s_.pass_count;
  BitReader b = r_;
  const int64_t limit = bit_limit(b);
  float* const base = base_;
  int64_t first = 0;
  bool stop = false;
  for (int32_t k = 0; k <= P - 2 && !stop; ++k) {
    const int32_t n = P - k;
    const float f = static_cast<float>((0.5 - 0.25 / static_cast<float>(n * n)) * T);
    const float diff = static_cast<float>(static_cast<double>(f) - s_.pass_offset[k]);
    const float up = static_cast<float>(T + diff);
    s_.pass_offset[k] = f;
    const double steps[2] = {diff, up};
    const int64_t last = s_.pass_end[k];
    stop = walk_lsp(s_.lsp, first, last, [&](uint32_t offset, uint32_t ahead) {
      __builtin_prefetch(base + ahead);
      float& value = base[offset];
      const double step = steps[get_bit(b)];
      // value - step is value + (-step) exactly.
      value = static_cast<float>(value + (value > 0.0f ? step : -step));
      return b.pos >= limit;
    });
    first = last;
  }
  r_ = b;
  return stop;
}

}  // namespace

void spiht_decode(SpihtDecodeState& s, BitReader& r, Image_3C& coefficients,
                  int32_t tree_levels, int32_t top_exponent) {
  s.threshold = static_cast<float>(std::ldexp(1.0, top_exponent));
  spiht_begin(s, tree_levels);
  Reader decoder(s, r, coefficients, tree_levels);
  for (;;) {
    if (decoder.sorting_pass()) break;
    if (decoder.refinement_pass()) break;
    if (s.pass_count == SpihtState::kMaxPasses) break;
    s.threshold = s.threshold * 0.5f;
  }
  spiht_end(s);
}

}  // namespace quarn
