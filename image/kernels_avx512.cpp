// The kernel table for avx512, compiled with that instruction set enabled.
#include "image/kernels_x86.h"

namespace quarn::kernels {

constinit const Table kAvx512Table = make_table<V8>("avx512", Isa::kAvx512);

}  // namespace quarn::kernels
