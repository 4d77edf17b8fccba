#include "image/big_buffer.h"

#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

constexpr std::size_t kAlign = 64;
// Buffers from this size on are mapped directly, rounded up to huge pages.
constexpr std::size_t kMapFrom = std::size_t{256} << 10;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

BigBuffer allocate_big(std::size_t bytes) {
  BigBuffer b;
#if defined(__linux__) && defined(MAP_ANONYMOUS)
  if (bytes >= kMapFrom && bytes <= SIZE_MAX - 2 * kHugePage) {
    const std::size_t size = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    // Map one huge page more, then trim, so that the buffer starts on a huge
    // page boundary.
    void* raw = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw != MAP_FAILED) {
      const auto start = reinterpret_cast<std::uintptr_t>(raw);
      const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
      if (aligned > start) munmap(raw, aligned - start);
      const std::size_t tail = kHugePage - (aligned - start);
      if (tail > 0) munmap(reinterpret_cast<void*>(aligned + size), tail);
#if defined(MADV_HUGEPAGE)
      madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
#endif
      b.data = reinterpret_cast<void*>(aligned);
      b.bytes = size;
      b.zeroed = true;
      b.mapped = true;
      return b;
    }
  }
#endif
  b.data = ::operator new[](bytes, std::align_val_t(kAlign), std::nothrow);
  b.bytes = bytes;
  return b;
}

void release_big(BigBuffer& b) {
  if (b.data == nullptr) return;
#if defined(__linux__) && defined(MAP_ANONYMOUS)
  if (b.mapped) {
    munmap(b.data, b.bytes);
    b = BigBuffer{};
    return;
  }
#endif
  ::operator delete[](b.data, std::align_val_t(kAlign));
  b = BigBuffer{};
}
