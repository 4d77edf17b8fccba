#include "spiht/lists.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "image/fatal.h"

namespace quarn {

void LispList::set_first_capacity(int32_t entries) {
  // At most one huge page's worth: storage comes in huge pages (shared with
  // other buffers where there is room, see big_buffer.h), and every growth
  // costs a copy.
  constexpr int32_t kMost = (int32_t{2} << 20) / static_cast<int32_t>(sizeof(LispEntry));
  first_ = std::clamp(entries, int32_t{1024}, kMost);
}

void LispList::grow() {
  const int32_t capacity = capacity_ < first_ ? first_ : capacity_ + capacity_ / 2;
  BigBuffer storage;
#if defined(__linux__) && UINTPTR_MAX > 0xFFFFFFFFu
  // Growing in steps holds the old storage and the new one both, each as
  // large as the list, at the moment of each copy: at 8192 x 8192 and a few
  // bits per pixel that is the peak of the whole encoding. Where the pages of
  // a mapping cost nothing until they are first written (64-bit Linux, where
  // big buffers are mapped), a list that outgrows its first storage is given
  // room for the most entries it can hold at once instead: no copy after
  // that, and only what it holds is resident.
  if (capacity_ >= first_ && most_ > capacity && most_ <= INT32_MAX) {
    storage = allocate_big(sizeof(LispEntry) * static_cast<std::size_t>(most_));
    if (storage.data != nullptr) {
      adopt(storage, static_cast<int32_t>(most_));
      return;
    }
  }
#endif
  storage = allocate_big(sizeof(LispEntry) * static_cast<std::size_t>(capacity));
  CheckAllocation(storage.data, "LISP entry");
  adopt(storage, capacity);
}

void LispList::adopt(BigBuffer storage, int32_t capacity) {
  auto* data = static_cast<LispEntry*>(storage.data);
  if (size_ > 0) std::memcpy(data, data_, sizeof(LispEntry) * static_cast<std::size_t>(size_));
  release_big(storage_);
  storage_ = storage;
  data_ = data;
  capacity_ = capacity;
}

void LispList::release() {
  release_big(storage_);
  data_ = nullptr;
  size_ = capacity_ = 0;
}

void LspStore::begin(int32_t codeRows, int32_t codeCols) {
  // Blocks of 2 MiB at least, so that they come in huge pages; when big
  // buffers share huge pages (see big_buffer.h), of an eighth of the most a
  // small image can need when that is less, which fits in the unused end of
  // another buffer's.
  const int64_t least = big_buffers_shared()
                            ? std::min(int64_t{1} << 19, int64_t{3} * codeRows * codeCols / 8)
                            : int64_t{1} << 19;
  const int32_t block_size = std::max(12 * codeCols, static_cast<int32_t>(least));
  const int64_t most = int64_t{3} * codeRows * codeCols;
  const auto slots = static_cast<int32_t>((most + block_size - 1) / block_size);
  if (block_size != lsp_block_size || slots != lsp_slots) {
    release();
    lsp_blocks = new (std::nothrow) BigBuffer[static_cast<std::size_t>(slots)];
    CheckAllocation(lsp_blocks, "LSP");
    lsp_slots = slots;
    lsp_block_size = block_size;
  }
  lsp_block_count = 0;
  lsp_block = nullptr;
  lsp_free = 0;
}

void LspStore::grow() {
  if (lsp_block_count == lsp_blocks_kept) {
    BigBuffer block = allocate_big(sizeof(uint32_t) * static_cast<std::size_t>(lsp_block_size));
    CheckAllocation(block.data, "LSP");
    lsp_blocks[lsp_blocks_kept++] = block;
  }
  lsp_block = static_cast<uint32_t*>(lsp_blocks[lsp_block_count++].data);
  lsp_free = lsp_block_size;
}

void LspStore::release() {
  while (lsp_blocks_kept > 0) release_big(lsp_blocks[--lsp_blocks_kept]);
  delete[] lsp_blocks;
  lsp_blocks = nullptr;
  lsp_slots = lsp_block_size = lsp_block_count = 0;
  lsp_block = nullptr;
  lsp_free = 0;
}

}  // namespace quarn
