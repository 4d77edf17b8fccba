// The kernel table for avx2, compiled with that instruction set enabled.
#include "image/kernels_x86.h"

namespace quarn::kernels {

constinit const Table kAvx2Table = make_table<V4>("avx2", Isa::kAvx2);

}  // namespace quarn::kernels
