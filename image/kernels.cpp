#include "image/kernels.h"

#include <atomic>

namespace kernels {

namespace {

const Table kScalar = {"scalar", Isa::kScalar};

std::atomic<bool> g_force_scalar{false};

const Table& best() {
  static const Table& chosen = kScalar;
  return chosen;
}

}  // namespace

const Table& active() {
  return g_force_scalar.load(std::memory_order_relaxed) ? kScalar : best();
}

const Table* for_isa(Isa isa) {
  return isa == Isa::kScalar ? &kScalar : nullptr;
}

void force_scalar(bool on) { g_force_scalar.store(on, std::memory_order_relaxed); }

}  // namespace kernels
