// Walking a run of LSP entries in insertion order, block by block.
#ifndef QUARN_SPIHT_LSP_WALK_H
#define QUARN_SPIHT_LSP_WALK_H

#include <algorithm>
#include <cstdint>

#include "spiht/lists.h"

namespace quarn {

// Calls visit(entry) for entries first .. last - 1, each by reference, until
// it returns true, and returns true when it did.
template <class Visit>
inline bool walk_lsp(LspStore& lsp, int64_t first, int64_t last, Visit&& visit) {
  const int64_t size = lsp.lsp_block_size;
  while (first < last) {
    const int64_t block = first / size;
    const int64_t begin = first - block * size;
    const int64_t end = std::min<int64_t>(size, begin + (last - first));
    auto* entries = static_cast<uint32_t*>(lsp.lsp_blocks[block].data);
    for (int64_t j = begin; j < end; ++j) {
      if (visit(entries[j])) return true;
    }
    first += end - begin;
  }
  return false;
}

}  // namespace quarn

#endif  // QUARN_SPIHT_LSP_WALK_H
