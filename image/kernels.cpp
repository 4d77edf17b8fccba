// Choosing the kernel table: the widest that the processor has, within the
// cap.
#include "image/kernels.h"

#include <atomic>
#include <cstring>
#include <initializer_list>

namespace quarn::kernels {

namespace {

#if defined(QUARN_HAVE_X86_KERNELS)
bool supports(Isa isa) {
  __builtin_cpu_init();
  switch (isa) {
    case Isa::kScalar: return true;
    case Isa::kSse2: return __builtin_cpu_supports("sse2");
    case Isa::kAvx2: return __builtin_cpu_supports("avx2");
    case Isa::kAvx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
  }
  return false;
}
#endif

// The widest available table of `cap` or narrower.
const Table& widest_up_to(Isa cap) {
  for (Isa isa : {Isa::kAvx512, Isa::kAvx2, Isa::kSse2}) {
    if (isa > cap) continue;
    if (const Table* t = for_isa(isa)) return *t;
  }
  return kScalarTable;
}

// Null until a cap is set: then active() takes the widest table.
std::atomic<const Table*> g_capped{nullptr};

constexpr const char* kNames[] = {"scalar", "sse2", "avx2", "avx512"};

}  // namespace

const Table& active() {
  if (const Table* t = g_capped.load(std::memory_order_relaxed)) return *t;
  static const Table& widest = widest_up_to(Isa::kAvx512);
  return widest;
}

const Table* for_isa(Isa isa) {
  if (isa == Isa::kScalar) return &kScalarTable;
#if defined(QUARN_HAVE_X86_KERNELS)
  if (!supports(isa)) return nullptr;
  switch (isa) {
    case Isa::kSse2: return &kSse2Table;
    case Isa::kAvx2: return &kAvx2Table;
    case Isa::kAvx512: return &kAvx512Table;
    case Isa::kScalar: break;
  }
#endif
  return nullptr;
}

void cap_isa(Isa isa) { g_capped.store(&widest_up_to(isa), std::memory_order_relaxed); }

const char* isa_name(Isa isa) { return kNames[static_cast<int>(isa)]; }

bool isa_from_name(const char* name, Isa* isa) {
  for (Isa i : {Isa::kScalar, Isa::kSse2, Isa::kAvx2, Isa::kAvx512}) {
    if (std::strcmp(name, isa_name(i)) == 0) {
      *isa = i;
      return true;
    }
  }
  return false;
}

}  // namespace quarn::kernels
