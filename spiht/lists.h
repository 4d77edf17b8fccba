// The SPIHT lists shared by the coder and the decoder.
//
// LISP: the 2x2 groups of all three planes that still have an insignificant
// member or descendant set, in list order. A group's clear pixel bits stand
// for its insignificant members, its clear set bits for its insignificant
// descendant sets. The list is an array: new groups are appended at its end,
// and the walk of each set phase moves every unfinished group down over the
// finished ones, which keeps exactly the order of a linked list from which
// finished groups are unlinked.
//
// LSP: the coefficients found significant, in the order found, kept in
// blocks of 12 x codeCols entries, or of 2 MiB when that is more (see
// lists.cpp for huge pages shared between buffers). The coder keeps each
// one's magnitude still to be coded (its refinement passes then walk the
// list alone, in order, instead of the planes out of order); the decoder
// keeps each one's offset into the coefficient image's block of planes and,
// in a second list of the same layout, its value so far, which it writes
// into the planes once the stream is read.
//
// Both keep their storage from one image to the next while the size stays,
// and take it in huge pages where the system has them (see big_buffer.h).
#ifndef QUARN_SPIHT_LISTS_H
#define QUARN_SPIHT_LISTS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "image/big_buffer.h"

namespace quarn {

struct LispEntry {
  uint16_t row;   // top-left member's row (even)
  uint16_t col;   // top-left member's column (even)
  int32_t flags;  // see the flag layout below
  // The coder's copies of each member's descendant maximum and of its own
  // magnitude, as their float exponent fields: thresholds are powers of
  // two, so a magnitude is at least 2^t exactly when this is at least
  // t + 127 (0 for 0, so never). The coder tests its groups from these and
  // reads the planes only for the members it finds significant. Unused by
  // the decoder.
  uint8_t max_exponent[4];
  uint8_t value_exponent[4];
};

// Sets an entry's row, column and flags with a single store. The coders
// read entries whole (8 bytes, then 4), and a whole load just after stores
// to its parts waits until they have landed; so entries are written whole
// too, from values kept in registers, never field by field in place.
inline void write_entry(LispEntry& e, uint32_t row, uint32_t col, int32_t flags) {
  static_assert(offsetof(LispEntry, row) == 0 && offsetof(LispEntry, col) == 2 &&
                offsetof(LispEntry, flags) == 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  const uint64_t head = uint64_t{row} << 48 | uint64_t{col} << 32 | static_cast<uint32_t>(flags);
#else
  const uint64_t head = row | uint64_t{col} << 16 | uint64_t{static_cast<uint32_t>(flags)} << 32;
#endif
  std::memcpy(&e, &head, sizeof head);
}

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

// The LISP's storage: a growable array of entries.
class LispList {
 public:
  LispList() = default;
  ~LispList() { release(); }
  LispList(const LispList&) = delete;
  LispList& operator=(const LispList&) = delete;

  int32_t size() const { return size_; }
  LispEntry& operator[](int32_t i) { return data_[i]; }
  void push(const LispEntry& e) {
    if (size_ == capacity_) grow();
    data_[size_++] = e;
  }
  // A new last entry, for the caller to fill in with write_entry().
  LispEntry& append() {
    if (size_ == capacity_) grow();
    return data_[size_++];
  }
  void truncate(int32_t n) { size_ = n; }
  void release();
  // The capacity that the storage starts with when it is first needed, for
  // a list that will rarely grow beyond it.
  void set_first_capacity(int32_t entries);
  // The most entries the list can hold for the current image (one per group
  // of the three planes): see grow().
  void set_most(int64_t entries) { most_ = entries; }

 private:
  void grow();  // allocation failures end the process ("LISP entry")
  void adopt(BigBuffer storage, int32_t capacity);  // the entries copied into it

  BigBuffer storage_;
  LispEntry* data_ = nullptr;
  int32_t size_ = 0;
  int32_t capacity_ = 0;
  // A huge page's worth unless set_first_capacity says otherwise.
  int32_t first_ = (int32_t{2} << 20) / static_cast<int32_t>(sizeof(LispEntry));
  int64_t most_ = 0;
};

// The LSP's storage. Entries are counted from 0 in insertion order.
struct LspStore {
  BigBuffer* lsp_blocks = nullptr;  // enough slots for 3 x codeRows x codeCols entries
  int32_t lsp_slots = 0;            // slots of lsp_blocks
  int32_t lsp_block_size = 0;       // entries per block
  int32_t lsp_block_count = 0;      // blocks holding entries
  int32_t lsp_blocks_kept = 0;      // blocks allocated, kept for later images
  uint32_t* lsp_block = nullptr;    // the block being filled
  int32_t lsp_free = 0;             // free slots left in it

  LspStore() = default;
  ~LspStore() { release(); }
  LspStore(const LspStore&) = delete;
  LspStore& operator=(const LspStore&) = delete;

  // Empties the store for an image of this coding size.
  void begin(int32_t codeRows, int32_t codeCols);
  void release();

  void add(uint32_t offset) {
    if (lsp_free == 0) grow();
    lsp_block[lsp_block_size - lsp_free--] = offset;
  }
  // Adds v[k] for the members k in mask4 (bit k: member k), in member
  // order, without a branch per member.
  void add_values(const uint32_t v[4], uint32_t mask4) {
    if (lsp_free < 4) {
      for (int k = 0; k < 4; ++k)
        if (mask4 >> k & 1) add(v[k]);
      return;
    }
    uint32_t* tail = lsp_block + (lsp_block_size - lsp_free);
    uint32_t n = 0;
    tail[n] = v[0];
    n += mask4 & 1;
    tail[n] = v[1];
    n += mask4 >> 1 & 1;
    tail[n] = v[2];
    n += mask4 >> 2 & 1;
    tail[n] = v[3];
    n += mask4 >> 3 & 1;
    lsp_free -= static_cast<int32_t>(n);
  }
  // Adds the offsets of the members in mask4 of the group whose top-left
  // member is at `at` (bit k: member k; members 2 and 3 are `row` further
  // on), in member order, without a branch per member.
  void add_members(uint32_t at, uint32_t row, uint32_t mask4) {
    if (lsp_free < 4) {
      const uint32_t offsets[4] = {at, at + 1, at + row, at + row + 1};
      for (int k = 0; k < 4; ++k)
        if (mask4 >> k & 1) add(offsets[k]);
      return;
    }
    uint32_t* tail = lsp_block + (lsp_block_size - lsp_free);
    uint32_t n = 0;
    tail[n] = at;
    n += mask4 & 1;
    tail[n] = at + 1;
    n += mask4 >> 1 & 1;
    tail[n] = at + row;
    n += mask4 >> 2 & 1;
    tail[n] = at + row + 1;
    n += mask4 >> 3 & 1;
    lsp_free -= static_cast<int32_t>(n);
  }
  // Number of entries added so far.
  int64_t size() const {
    return static_cast<int64_t>(lsp_block_count) * lsp_block_size - lsp_free;
  }

 private:
  void grow();  // allocation failures end the process ("LSP")
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
  LispList lisp;
  LspStore lsp;
  // pass_end[k]: the LSP size when refinement pass k began, so sorting pass k
  // added entries pass_end[k-1] .. pass_end[k]-1.
  int64_t pass_end[kMaxPasses] = {};
};

}  // namespace quarn

#endif  // QUARN_SPIHT_LISTS_H
