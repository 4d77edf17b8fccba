// A coefficient found significant at threshold T is placed at 1.38 T; each
// refinement moves it to a point a little below the middle of the interval
// that its bits so far leave open, by one shared step per sorting pass.
#include "spiht/spiht_decode.h"

#include <cmath>

#include "image/image_3c.h"
#include "spiht/tree.h"

namespace {

using namespace lisp_flags;

class Reader {
 public:
  Reader(SpihtDecodeState& s, BitReader& r, Image_3C& coefficients,
          int32_t tree_levels)
      : s_(s), r_(r), image_(coefficients), tree_levels_(tree_levels) {}

  bool sorting_pass();
  bool refinement_pass();

 private:
  bool over_budget() const { return r_.byte_count >= r_.byte_budget; }
  void decode_group(LispEntry& e);
  void decode_sets(LispEntry& e);

  SpihtDecodeState& s_;
  BitReader& r_;
  Image_3C& image_;
  const int32_t tree_levels_;
};

void Reader::decode_group(LispEntry& e) {
  float** P = image_.current;
  for (int k = 0; k < 4; ++k) {
    const int32_t bit = 1 << (2 * k);
    if (e.flags & bit) continue;
    if (get_bit(r_) == 0) continue;
    float& v = P[e.row + tree::kRowOffset[k]][e.col + tree::kColOffset[k]];
    s_.lsp.add(&v);
    e.flags |= bit;
    v = get_bit(r_) ? -s_.entry_magnitude : s_.entry_magnitude;
  }
}

void Reader::decode_sets(LispEntry& e) {
  const int32_t F = e.flags;
  if ((F & kSetBits) == 0 && get_bit(r_) == 1) return;
  for (int k = 0; k < 4; ++k) {
    if (F & (2 << (2 * k))) continue;
    if (get_bit(r_) == 0) continue;
    e.flags |= 2 << (2 * k);
    decode_group(*tree::append_offspring(s_, e, k, tree_levels_));
  }
}

bool Reader::sorting_pass() {
  const float T = s_.threshold;
  const float v = static_cast<float>(0.38 * T);
  s_.pass_offset[s_.pass_count] = v;
  s_.entry_magnitude = static_cast<float>(static_cast<double>(T) + v);

  for (LispEntry* e = s_.lisp_head->next; e != nullptr; e = e->next) {
    if ((e->flags & kPixelBits) == kPixelBits) continue;
    image_.SelectColor(plane(e->flags));
    decode_group(*e);
    if (over_budget()) return true;
  }
  LispEntry* prev = s_.lisp_head;
  for (LispEntry* e = prev->next; e != nullptr;) {
    if ((e->flags & kSetBits) != kSetBits) {
      image_.SelectColor(plane(e->flags));
      decode_sets(*e);
      if (over_budget()) return true;
    }
    if ((e->flags & kDone) == kDone) {
      prev->next = e->next;
      if (s_.lisp_tail == e) s_.lisp_tail = prev;
      s_.lisp_pool.give(e);
      e = prev->next;
    } else {
      prev = e;
      e = e->next;
    }
  }
  return false;
}

bool Reader::refinement_pass() {
  const double T = s_.threshold;
  s_.pass_end[s_.pass_count++] = s_.lsp.size();
  const int32_t P = s_.pass_count;
  int64_t first = 0;
  for (int32_t k = 0; k <= P - 2; ++k) {
    const int32_t n = P - k;
    const float f =
        static_cast<float>((0.5 - 0.25 / static_cast<float>(n * n)) * T);
    const float diff = static_cast<float>(static_cast<double>(f) - s_.pass_offset[k]);
    const float up = static_cast<float>(T + diff);
    s_.pass_offset[k] = f;
    const int64_t last = s_.pass_end[k];
    for (int64_t i = first; i < last; ++i) {
      float& value = *s_.lsp.at(i);
      const double step = get_bit(r_) ? up : diff;
      value = static_cast<float>(value > 0.0f ? value + step : value - step);
      if (over_budget()) return true;
    }
    first = last;
  }
  return false;
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
