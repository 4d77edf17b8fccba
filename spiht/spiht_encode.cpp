// The coder walks one shared group list for all three planes. Each sorting
// pass first tests the insignificant members of every group (pixel phase),
// then the descendant sets (set phase), creating offspring groups as sets
// become significant; each refinement pass then emits the next magnitude bit
// of every coefficient found in earlier passes. The budget is checked after
// each group, each set step and each refinement bit, and nowhere else.
#include "spiht/spiht_encode.h"

#include <cmath>

#include "image/image_3c.h"
#include "spiht/tree.h"

namespace {

using namespace lisp_flags;

class Coder {
 public:
  Coder(SpihtState& s, BitWriter& w, Image_3C& coefficients, Image_3C& maxima,
        int32_t tree_levels)
      : s_(s), w_(w), image_(coefficients), maxima_(maxima), tree_levels_(tree_levels) {}

  bool sorting_pass();
  bool refinement_pass();

 private:
  bool over_budget() const { return w_.byte_count >= w_.byte_budget; }
  void code_group(LispEntry& e);
  void code_sets(LispEntry& e);

  SpihtState& s_;
  BitWriter& w_;
  Image_3C& image_;
  Image_3C& maxima_;
  const int32_t tree_levels_;
};

void Coder::code_group(LispEntry& e) {
  const float T = s_.threshold;
  float** P = image_.current;
  for (int k = 0; k < 4; ++k) {
    const int32_t bit = 1 << (2 * k);
    if (e.flags & bit) continue;
    float& v = P[e.row + tree::kRowOffset[k]][e.col + tree::kColOffset[k]];
    const float magnitude = std::fabs(v);
    if (magnitude >= T) {
      put_bit(w_, 1);
      s_.lsp.add(&v);
      e.flags |= bit;
      put_bit(w_, v < 0.0f);
      v = magnitude - T;
    } else {
      put_bit(w_, 0);
    }
  }
}

void Coder::code_sets(LispEntry& e) {
  const float T = s_.threshold;
  const int32_t F = e.flags;
  float** M = maxima_.current;
  bool significant[4];
  bool any = false;
  for (int k = 0; k < 4; ++k) {
    significant[k] = !(F & (2 << (2 * k))) &&
                     M[e.row + tree::kRowOffset[k]][e.col + tree::kColOffset[k]] >= T;
    any = any || significant[k];
  }
  if ((F & kSetBits) == 0) {
    // The group bit: 1 when no set of the group is significant.
    put_bit(w_, !any);
    if (!any) return;
  }
  for (int k = 0; k < 4; ++k) {
    if (F & (2 << (2 * k))) continue;
    put_bit(w_, significant[k]);
    if (significant[k]) {
      e.flags |= 2 << (2 * k);
      code_group(*tree::append_offspring(s_, e, k, tree_levels_));
    }
  }
}

bool Coder::sorting_pass() {
  for (LispEntry* e = s_.lisp_head->next; e != nullptr; e = e->next) {
    if ((e->flags & kPixelBits) == kPixelBits) continue;
    image_.SelectColor(plane(e->flags));
    code_group(*e);
    if (over_budget()) return true;
  }
  LispEntry* prev = s_.lisp_head;
  for (LispEntry* e = prev->next; e != nullptr;) {
    if ((e->flags & kSetBits) != kSetBits) {
      image_.SelectColor(plane(e->flags));
      maxima_.SelectColor(plane(e->flags));
      code_sets(*e);
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

bool Coder::refinement_pass() {
  const float T = s_.threshold;
  s_.pass_end[s_.pass_count++] = s_.lsp.size();
  if (s_.pass_count < 2) return false;
  const int64_t count = s_.pass_end[s_.pass_count - 2];
  for (int64_t i = 0; i < count; ++i) {
    float& r = *s_.lsp.at(i);
    if (r >= T) {
      put_bit(w_, 1);
      r = r - T;
    } else {
      put_bit(w_, 0);
    }
    if (over_budget()) return true;
  }
  return false;
}

}  // namespace

void spiht_encode(SpihtState& s, BitWriter& w, Image_3C& coefficients,
                  Image_3C& maxima, int32_t tree_levels, int32_t top_exponent) {
  s.threshold = static_cast<float>(std::ldexp(1.0, top_exponent));
  spiht_begin(s, tree_levels);
  Coder coder(s, w, coefficients, maxima, tree_levels);
  for (;;) {
    if (coder.sorting_pass()) break;
    if (coder.refinement_pass()) break;
    if (s.pass_count == SpihtState::kMaxPasses) break;
    s.threshold = s.threshold * 0.5f;
  }
  spiht_end(s);
}
