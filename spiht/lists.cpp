#include "spiht/lists.h"

#include <new>

#include "image/fatal.h"

void LispPool::grow() {
  auto* chunk = new (std::nothrow) Chunk;
  CheckAllocation(chunk, "LISP entry");
  chunk->older = chunks_;
  chunks_ = chunk;
  used_ = 0;
}

void LispPool::clear() {
  while (chunks_ != nullptr) {
    Chunk* older = chunks_->older;
    delete chunks_;
    chunks_ = older;
  }
  used_ = kChunkEntries;
  free_ = nullptr;
}

void LspStore::begin(int32_t codeRows, int32_t codeCols) {
  lsp_block_size = 12 * codeCols;
  lsp_blocks = new (std::nothrow) float**[static_cast<std::size_t>(codeRows / 4)];
  CheckAllocation(lsp_blocks, "LSP");
  lsp_block_count = 0;
  lsp_block = nullptr;
  lsp_free = 0;
}

void LspStore::grow() {
  lsp_block = new (std::nothrow) float*[static_cast<std::size_t>(lsp_block_size)];
  CheckAllocation(lsp_block, "LSP");
  lsp_blocks[lsp_block_count++] = lsp_block;
  lsp_free = lsp_block_size;
}

void LspStore::end() {
  if (lsp_blocks == nullptr) return;
  while (lsp_block_count > 0) delete[] lsp_blocks[--lsp_block_count];
  delete[] lsp_blocks;
  lsp_blocks = nullptr;
  lsp_block = nullptr;
  lsp_free = 0;
}
