// A coefficient found significant at threshold T is placed at 1.38 T; each
// refinement moves it to a point a little below the middle of the interval
// that its bits so far leave open, by one shared step per sorting pass.
#include "spiht/spiht_decode.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "image/image_3c.h"
#include "image/worker_pool.h"
#include "spiht/group_mask.h"
#include "spiht/lsp_walk.h"
#include "spiht/tree.h"

namespace quarn {

namespace {

using namespace lisp_flags;

class Reader {
 public:
  Reader(SpihtDecodeState& s, BitReader& r, const Image_3C& coefficients, int32_t tree_levels)
      : s_(s),
        r_(r),
        tree_levels_(tree_levels),
        cs_(coefficients.stride),
        ps_(coefficients.planeSamples) {}

  bool sorting_pass();
  bool refinement_pass();

 private:
  QUARN_HOT int32_t decode_group(BitReader& b, uint32_t row, uint32_t col, int32_t flags,
                                 float magnitude);
  QUARN_HOT int32_t decode_sets(BitReader& b, uint32_t row, uint32_t col, int32_t flags,
                                float magnitude);

  SpihtDecodeState& s_;
  BitReader& r_;
  const int32_t tree_levels_;
  const std::ptrdiff_t cs_, ps_;  // row and plane strides of the coefficients
};

// Per open member a significance bit, and after a 1 the sign bit: read for
// all four members at once from the next 8 bits. The members found go to the
// LSP with their offsets and their first values. Returns the group's flags
// with the members found marked.
int32_t Reader::decode_group(BitReader& b, uint32_t row, uint32_t col, int32_t flags,
                             float magnitude) {
  const uint32_t open = group_mask::gather(static_cast<uint32_t>(~flags & kPixelBits));
  const uint32_t read = group_mask::kGroupRead[open | (peek_bits(b) & 0xFF) << 4];
  skip_bits(b, static_cast<int>(read >> 8));
  const uint32_t found = read & 15;
  // No branch on what was found: it is rarely predictable.
  const auto at = static_cast<uint32_t>(plane(flags) * ps_ + row * cs_ + col);
  s_.lsp.add_members(at, static_cast<uint32_t>(cs_), found);
  uint32_t values[4];
  group_mask::signed_values(read >> 4 & 15, magnitude, values);
  s_.values.add_values(values, found);
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
    const int32_t found = decode_group(b, c.row, c.col, c.flags, magnitude);
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
    LispEntry& e = lisp[i];
    if ((e.flags & kPixelBits) == kPixelBits) continue;
    e.flags = decode_group(b, e.row, e.col, e.flags, magnitude);
    stop = b.pos >= limit;
  }
  int32_t kept = 0;
  for (int32_t i = 0; i < lisp.size() && !stop; ++i) {
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
    stop = walk_lsp(s_.values, first, last, [&](uint32_t& entry) {
      float value;
      std::memcpy(&value, &entry, sizeof value);
      const double step = steps[get_bit(b)];
      // value - step is value + (-step) exactly.
      value = static_cast<float>(value + (value > 0.0f ? step : -step));
      std::memcpy(&entry, &value, sizeof value);
      return b.pos >= limit;
    });
    first = last;
  }
  r_ = b;
  return stop;
}

}  // namespace

void spiht_decode(SpihtDecodeState& s, BitReader& r, const Image_3C& coefficients,
                  int32_t tree_levels, int32_t top_exponent) {
  s.threshold = static_cast<float>(std::ldexp(1.0, top_exponent));
  spiht_begin(s, tree_levels);
  s.values.begin(s.code_rows, s.code_cols);
  Reader decoder(s, r, coefficients, tree_levels);
  for (;;) {
    if (decoder.sorting_pass()) break;
    if (decoder.refinement_pass()) break;
    if (s.pass_count == SpihtState::kMaxPasses) break;
    s.threshold = s.threshold * 0.5f;
  }
}

// Each coefficient is written once, so runs of the list can be placed at
// once.
void spiht_place(SpihtDecodeState& s, Image_3C& coefficients) {
  float* const base = coefficients.plane[0][0];
  const int64_t n = s.lsp.size();
  const int64_t block = s.lsp.lsp_block_size;
  const int32_t threads = coefficients.threads;
  const int32_t parts = task_count(threads, n, int64_t{1} << 14);
  run_tasks(threads, parts, [&](int32_t t, int32_t) {
    int64_t i = n * t / parts;
    const int64_t end = n * (t + 1) / parts;
    while (i < end) {
      const int64_t b = i / block;
      const int64_t stop = std::min(end, (b + 1) * block);
      const auto* offsets = static_cast<const uint32_t*>(s.lsp.lsp_blocks[b].data);
      const auto* values = static_cast<const uint32_t*>(s.values.lsp_blocks[b].data);
      for (int64_t j = i - b * block; j < stop - b * block; ++j) {
        std::memcpy(base + offsets[j], values + j, sizeof(float));
      }
      i = stop;
    }
  });
  spiht_end(s);
}

}  // namespace quarn
