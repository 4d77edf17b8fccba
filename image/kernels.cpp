// Choosing the kernel table once, from the processor's features.
#include "image/kernels.h"

#include <atomic>
#include <initializer_list>

namespace quarn::kernels {

namespace {

std::atomic<bool> g_force_scalar{false};

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

const Table& best() {
  static const Table& chosen = [] () -> const Table& {
    for (Isa isa : {Isa::kAvx512, Isa::kAvx2, Isa::kSse2}) {
      if (const Table* t = for_isa(isa)) return *t;
    }
    return kScalarTable;
  }();
  return chosen;
}

}  // namespace

const Table& active() {
  return g_force_scalar.load(std::memory_order_relaxed) ? kScalarTable : best();
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

void force_scalar(bool on) { g_force_scalar.store(on, std::memory_order_relaxed); }

}  // namespace quarn::kernels
