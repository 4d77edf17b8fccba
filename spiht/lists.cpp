#include "spiht/lists.h"

#include <cstring>
#include <new>

#include "image/fatal.h"

void LispList::grow() {
  const int32_t capacity = capacity_ < 1024 ? 1024 : capacity_ + capacity_ / 2;
  auto* data = new (std::nothrow) LispEntry[static_cast<std::size_t>(capacity)];
  CheckAllocation(data, "LISP entry");
  if (size_ > 0) std::memcpy(data, data_, sizeof(LispEntry) * static_cast<std::size_t>(size_));
  delete[] data_;
  data_ = data;
  capacity_ = capacity;
}

void LispList::release() {
  delete[] data_;
  data_ = nullptr;
  size_ = capacity_ = 0;
}

void LspStore::begin(int32_t codeRows, int32_t codeCols) {
  const int32_t block_size = 12 * codeCols;
  const int32_t slots = codeRows / 4;
  if (block_size != lsp_block_size || slots != lsp_slots) {
    release();
    lsp_blocks = new (std::nothrow) uint32_t*[static_cast<std::size_t>(slots)];
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
    auto* block = new (std::nothrow) uint32_t[static_cast<std::size_t>(lsp_block_size)];
    CheckAllocation(block, "LSP");
    lsp_blocks[lsp_blocks_kept++] = block;
  }
  lsp_block = lsp_blocks[lsp_block_count++];
  lsp_free = lsp_block_size;
}

void LspStore::release() {
  while (lsp_blocks_kept > 0) delete[] lsp_blocks[--lsp_blocks_kept];
  delete[] lsp_blocks;
  lsp_blocks = nullptr;
  lsp_slots = lsp_block_size = lsp_block_count = 0;
  lsp_block = nullptr;
  lsp_free = 0;
}
