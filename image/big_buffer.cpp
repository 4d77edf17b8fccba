#include "image/big_buffer.h"

#include <atomic>
#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>

#include <mutex>
#endif

namespace quarn {

namespace {

constexpr std::size_t kAlign = 64;
std::atomic<bool> g_share{false};

#if defined(__linux__) && defined(MAP_ANONYMOUS)

// Buffers from this size on are mapped directly, rounded up to huge pages.
constexpr std::size_t kMapFrom = std::size_t{256} << 10;
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Buffers share a mapping in steps of this.
constexpr std::size_t kPiece = 4096;

// A mapping of whole huge pages, handed out from its start in pieces. While
// sharing is on, its unused end serves later buffers that fit there, so that the buffers of a
// decoder (planes, lists, line store) and a tool's output share huge pages
// instead of each rounding up to its own: a fresh huge page costs far more
// to touch than the pieces of it that a buffer leaves empty. Space is never
// handed out twice, so every piece is fresh and zero; the mapping goes when
// its last piece is released.
struct Region {
  std::uintptr_t base = 0;
  std::size_t size = 0;   // bytes mapped, a whole number of huge pages
  std::size_t used = 0;   // bytes handed out from the start
  int pieces = 0;         // pieces not yet released; 0: the slot is free
};

constexpr int kRegions = 16;
std::mutex g_lock;
Region g_regions[kRegions];

std::size_t round_up(std::size_t n, std::size_t step) { return (n + step - 1) / step * step; }

// A fresh mapping of `size` bytes (whole huge pages) on a huge page boundary.
void* map_huge(std::size_t size) {
  // Map one huge page more, then trim, so that the mapping starts on a huge
  // page boundary.
  void* raw = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                   -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = round_up(start, kHugePage);
  if (aligned > start) munmap(raw, aligned - start);
  const std::size_t tail = kHugePage - (aligned - start);
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + size), tail);
#if defined(MADV_HUGEPAGE)
  madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<void*>(aligned);
}

BigBuffer piece(Region& r, std::size_t n) {
  BigBuffer b;
  b.data = reinterpret_cast<void*>(r.base + r.used);
  b.bytes = n;
  b.zeroed = true;
  b.mapped = true;
  r.used += n;
  ++r.pieces;
  return b;
}

// A piece of an existing mapping, or of a new one when the buffer is large;
// data stays nullptr when neither.
BigBuffer shared_piece(std::size_t bytes) {
  if (bytes > SIZE_MAX - 2 * kHugePage) return {};
  const std::size_t n = round_up(bytes, kPiece);
  const bool share = g_share.load(std::memory_order_relaxed);
  const std::lock_guard<std::mutex> hold(g_lock);
  for (Region& r : g_regions) {
    if (share && r.pieces > 0 && r.size - r.used >= n) return piece(r, n);
  }
  if (bytes < kMapFrom) return {};
  const std::size_t size = round_up(n, kHugePage);
  void* base = map_huge(size);
  if (base == nullptr) return {};
  for (Region& r : g_regions) {
    if (share && r.pieces == 0) {
      r = Region{reinterpret_cast<std::uintptr_t>(base), size, 0, 0};
      return piece(r, n);
    }
  }
  // Not shared, or no slot to share it from: a mapping of its own.
  BigBuffer b;
  b.data = base;
  b.bytes = size;
  b.zeroed = true;
  b.mapped = true;
  return b;
}

void release_piece(BigBuffer& b) {
  const auto start = reinterpret_cast<std::uintptr_t>(b.data);
  const std::lock_guard<std::mutex> hold(g_lock);
  for (Region& r : g_regions) {
    if (r.pieces == 0 || start < r.base || start >= r.base + r.size) continue;
    if (--r.pieces == 0) {
      munmap(reinterpret_cast<void*>(r.base), r.size);
      r = Region{};
      return;
    }
    // Give back the huge pages that lie wholly inside the piece; the rest
    // stays with the pieces that share it.
    const std::uintptr_t first = round_up(start, kHugePage);
    const std::uintptr_t end = (start + b.bytes) / kHugePage * kHugePage;
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
    return;
  }
  munmap(b.data, b.bytes);
}

#endif

}  // namespace

BigBuffer allocate_big(std::size_t bytes) {
#if defined(__linux__) && defined(MAP_ANONYMOUS)
  if (bytes > 0) {
    BigBuffer b = shared_piece(bytes);
    if (b.data != nullptr) return b;
  }
#endif
  BigBuffer b;
  b.data = ::operator new[](bytes, std::align_val_t(kAlign), std::nothrow);
  b.bytes = bytes;
  return b;
}

void share_big_buffers(bool on) { g_share.store(on, std::memory_order_relaxed); }

bool big_buffers_shared() { return g_share.load(std::memory_order_relaxed); }

void release_big(BigBuffer& b) {
  if (b.data == nullptr) return;
#if defined(__linux__) && defined(MAP_ANONYMOUS)
  if (b.mapped) {
    release_piece(b);
    b = BigBuffer{};
    return;
  }
#endif
  ::operator delete[](b.data, std::align_val_t(kAlign));
  b = BigBuffer{};
}

}  // namespace quarn
