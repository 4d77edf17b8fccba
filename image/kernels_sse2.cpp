// The kernel table for sse2, compiled with that instruction set enabled.
#include "image/kernels_x86.h"

namespace quarn::kernels {

constinit const Table kSse2Table = make_table<V2>("sse2", Isa::kSse2);

}  // namespace quarn::kernels
