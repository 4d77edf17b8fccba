// The table of speed-critical kernels: colour transforms, wavelet passes and
// pixel conversions, in a scalar version (the reference) and SIMD versions for
// SSE2, AVX2 and AVX-512. Every version computes the same operations in the
// same order for each output, so all of them give identical bytes.
//
// The table is chosen once, on first use, from what the processor and the
// build support. force_scalar() switches the codec to the scalar kernels (for
// tests and the tools' --no-simd); call it between frames, never during one.
#ifndef QUARN_IMAGE_KERNELS_H
#define QUARN_IMAGE_KERNELS_H

#include <cstddef>
#include <cstdint>

namespace kernels {

enum class Isa { kScalar, kSse2, kAvx2, kAvx512 };

struct Table {
  const char* name;
  Isa isa;
};

// The table the codec uses: the widest available, or the scalar one while
// forced.
const Table& active();

// The table of one instruction set, or nullptr when this processor or this
// build lacks it. The scalar table is always there.
const Table* for_isa(Isa isa);

void force_scalar(bool on);

}  // namespace kernels

#endif  // QUARN_IMAGE_KERNELS_H
