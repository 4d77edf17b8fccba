// Walking a run of LSP entries in insertion order, block by block.
#ifndef QUARN_SPIHT_LSP_WALK_H
#define QUARN_SPIHT_LSP_WALK_H

#include <algorithm>
#include <cstdint>

#include "spiht/lists.h"

namespace quarn {

// Calls visit(offset, ahead) for entries first .. last - 1 until it returns
// true, and returns true when it did; `ahead` is the offset of an entry a
// little further on (or of the last one), for prefetching.
inline constexpr int64_t kLspAhead = 16;

template <class Visit>
inline bool walk_lsp(const LspStore& lsp, int64_t first, int64_t last, Visit&& visit) {
  const int64_t size = lsp.lsp_block_size;
  while (first < last) {
    const int64_t block = first / size;
    const int64_t begin = first - block * size;
    const int64_t end = std::min<int64_t>(size, begin + (last - first));
    const auto* entries = static_cast<const uint32_t*>(lsp.lsp_blocks[block].data);
    const int64_t ahead_end = end - kLspAhead;
    int64_t j = begin;
    for (; j < ahead_end; ++j) {
      if (visit(entries[j], entries[j + kLspAhead])) return true;
    }
    for (; j < end; ++j) {
      if (visit(entries[j], entries[end - 1])) return true;
    }
    first += end - begin;
  }
  return false;
}

}  // namespace quarn

#endif  // QUARN_SPIHT_LSP_WALK_H
