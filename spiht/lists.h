// The SPIHT lists shared by the coder and the decoder.
//
// LISP: one singly linked list of 2x2 groups for all three planes, behind a
// dummy head. A group's clear pixel bits stand for its insignificant members,
// its clear set bits for its insignificant descendant sets. Entries come from
// a pool of large chunks rather than one allocation each.
//
// LSP: references to the coefficients found significant, in the order found,
// kept in blocks of 12 x codeCols entries.
#ifndef QUARN_SPIHT_LISTS_H
#define QUARN_SPIHT_LISTS_H

#include <cstddef>
#include <cstdint>

struct LispEntry {
  int32_t row;    // top-left member's row (even)
  int32_t col;    // top-left member's column (even)
  int32_t flags;  // see the flag layout below
  LispEntry* next;
};

// Flag word of a LispEntry.
namespace lisp_flags {
inline constexpr int32_t kPixelBits = 0x55;  // bit 2k: member k significant
inline constexpr int32_t kSetBits = 0xAA;    // bit 2k+1: member k's set done
inline constexpr int32_t kDone = 0xFF;
inline constexpr int kPlaneShift = 8;        // bits 8 and 9: plane
inline constexpr int kLevelShift = 13;       // bits 13 and up: level

inline int32_t make(unsigned plane, int32_t level) {
  return static_cast<int32_t>(plane << kPlaneShift) | (level << kLevelShift);
}
inline unsigned plane(int32_t flags) {
  return static_cast<unsigned>(flags >> kPlaneShift) & 3u;
}
inline int32_t level(int32_t flags) { return flags >> kLevelShift; }
}  // namespace lisp_flags

// Chunked storage for LISP entries with a free list; everything is released
// by clear() (or the destructor).
class LispPool {
 public:
  LispPool() = default;
  ~LispPool() { clear(); }
  LispPool(const LispPool&) = delete;
  LispPool& operator=(const LispPool&) = delete;

  LispEntry* take() {
    if (free_ != nullptr) {
      LispEntry* e = free_;
      free_ = e->next;
      return e;
    }
    if (used_ == kChunkEntries) grow();
    return &chunks_->entries[used_++];
  }
  void give(LispEntry* e) {
    e->next = free_;
    free_ = e;
  }
  void clear();

 private:
  static constexpr int32_t kChunkEntries = 4096;
  struct Chunk {
    Chunk* older;
    LispEntry entries[kChunkEntries];
  };
  void grow();

  Chunk* chunks_ = nullptr;
  int32_t used_ = kChunkEntries;
  LispEntry* free_ = nullptr;
};

// The LSP's storage. Entries are counted from 0 in insertion order.
struct LspStore {
  float*** lsp_blocks = nullptr;  // codeRows / 4 slots
  int32_t lsp_block_size = 0;     // 12 x codeCols entries per block
  int32_t lsp_block_count = 0;    // blocks allocated so far
  float** lsp_block = nullptr;    // the block being filled
  int32_t lsp_free = 0;           // free slots left in it

  void begin(int32_t codeRows, int32_t codeCols);
  void end();  // frees the blocks, last first, then the table

  void add(float* coefficient) {
    if (lsp_free == 0) grow();
    lsp_block[lsp_block_size - lsp_free--] = coefficient;
  }
  // Number of entries added so far.
  int64_t size() const {
    return static_cast<int64_t>(lsp_block_count) * lsp_block_size - lsp_free;
  }
  float* at(int64_t i) const {
    return lsp_blocks[i / lsp_block_size][i % lsp_block_size];
  }

 private:
  void grow();
};

// Coder state common to both sides.
struct SpihtState {
  static constexpr int kMaxPasses = 32;

  float threshold = 0.0f;
  int32_t pass_count = 0;  // refinement passes begun
  int32_t top_rows = 0;
  int32_t top_cols = 0;
  int32_t code_rows = 0;   // SPIHT's copies of the coding size
  int32_t code_cols = 0;
  LispEntry* lisp_head = nullptr;
  LispEntry* lisp_tail = nullptr;
  LispPool lisp_pool;
  LspStore lsp;
  // pass_end[k]: the LSP size when refinement pass k began, so sorting pass k
  // added entries pass_end[k-1] .. pass_end[k]-1.
  int64_t pass_end[kMaxPasses] = {};
};

#endif  // QUARN_SPIHT_LISTS_H
