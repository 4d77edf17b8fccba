#include "tests/counting_malloc.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUARN_SANITIZED_HEAP 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUARN_SANITIZED_HEAP 1
#endif

#if defined(QUARN_SANITIZED_HEAP)

// The sanitizer runtimes' own count (not every compiler ships its header).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();

counting_malloc::Memory counting_malloc::measure() {
  Memory m;
  m.known = true;
  m.heap = __sanitizer_get_current_allocated_bytes();
  return m;
}

#elif !defined(__GLIBC__)

counting_malloc::Memory counting_malloc::measure() { return {}; }

#else

#include <malloc.h>
#include <pthread.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);
}

namespace {

// Open addressing over a table mapped once; a slot is free when its key is
// 0 and a tombstone when it is 1.
constexpr std::size_t kSlots = std::size_t{1} << 20;
struct Slot {
  uintptr_t key;
  std::size_t size;
};
Slot* table = nullptr;
std::size_t in_use = 0;
pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

std::size_t hash(uintptr_t p) { return (p >> 4) * 0x9E3779B97F4A7C15ull >> 44; }

void record(void* p, std::size_t size) {
  if (p == nullptr) return;
  pthread_mutex_lock(&lock);
  if (table == nullptr) {
    void* m = mmap(nullptr, kSlots * sizeof(Slot), PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) std::abort();
    table = static_cast<Slot*>(m);
  }
  const auto key = reinterpret_cast<uintptr_t>(p);
  for (std::size_t i = hash(key), n = 0; n < kSlots; i = (i + 1) & (kSlots - 1), ++n) {
    if (table[i].key <= 1) {
      table[i] = {key, size};
      in_use += size;
      pthread_mutex_unlock(&lock);
      return;
    }
  }
  std::abort();  // table full
}

// Blocks from before the table existed are not in it and are not counted.
void forget(void* p) {
  if (p == nullptr) return;
  pthread_mutex_lock(&lock);
  const auto key = reinterpret_cast<uintptr_t>(p);
  if (table != nullptr) {
    for (std::size_t i = hash(key), n = 0; n < kSlots && table[i].key != 0;
         i = (i + 1) & (kSlots - 1), ++n) {
      if (table[i].key == key) {
        in_use -= table[i].size;
        table[i].key = 1;
        break;
      }
    }
  }
  pthread_mutex_unlock(&lock);
}

}  // namespace

extern "C" {

void* malloc(std::size_t size) {
  void* p = __libc_malloc(size);
  record(p, size);
  return p;
}

void free(void* p) {
  forget(p);
  __libc_free(p);
}

void* calloc(std::size_t n, std::size_t size) {
  void* p = __libc_calloc(n, size);
  record(p, n * size);
  return p;
}

void* realloc(void* old, std::size_t size) {
  if (old == nullptr) return malloc(size);
  if (size == 0) {
    free(old);
    return nullptr;
  }
  forget(old);
  void* p = __libc_realloc(old, size);
  // When the call fails the old block stays, uncounted from here on.
  record(p, size);
  return p;
}

void* memalign(std::size_t alignment, std::size_t size) {
  void* p = __libc_memalign(alignment, size);
  record(p, size);
  return p;
}

void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* p = memalign(alignment, size);
  if (p == nullptr) return ENOMEM;
  *out = p;
  return 0;
}

void* valloc(std::size_t size) { return memalign(4096, size); }

}  // extern "C"

#if !defined(QUARN_EMULATED)
namespace {

long long vm_data_bytes() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long long kb = -1;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, "VmData:", 7) == 0) kb = std::atoll(line + 7);
  }
  std::fclose(status);
  return kb < 0 ? -1 : kb * 1024;
}

}  // namespace
#endif

counting_malloc::Memory counting_malloc::measure() {
  Memory m;
  m.known = true;
  pthread_mutex_lock(&lock);
  m.heap = in_use;
  pthread_mutex_unlock(&lock);
#if !defined(QUARN_EMULATED)
  const struct mallinfo2 info = mallinfo2();
  const long long data = vm_data_bytes();
  m.mapped = data < 0 ? 0 : data - static_cast<long long>(info.arena + info.hblkhd);
#endif
  return m;
}

#endif
