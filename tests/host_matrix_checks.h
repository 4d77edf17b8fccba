// What the plug-ins promise the host, shared by the plug-in tests and the
// decoder plug-in's fuzz target: the codes matrix_calc returns and the
// alpha plane of a decoded matrix.
#ifndef QUARN_TESTS_HOST_MATRIX_CHECKS_H
#define QUARN_TESTS_HOST_MATRIX_CHECKS_H

#include <cstdint>

#include "platform/loader.h"

namespace quarn {

inline constexpr long kEROR = 0x45524F52L;
inline constexpr long kINVP = 0x494E5650L;
inline constexpr long kMSTP = 0x4D535450L;
inline constexpr long kMSPL = 0x4D53504CL;

// True when plane 0 of a 4-plane char matrix is 255 in every cell.
inline bool plane0_all_255(void* m) {
  const t_jit_matrix_info info = platform::matrix_info(m);
  const uint8_t* data = platform::matrix_data(m);
  for (long y = 0; y < info.dim[1]; ++y) {
    for (long x = 0; x < info.dim[0]; ++x) {
      if (data[y * info.dimstride[1] + x * 4] != 255) return false;
    }
  }
  return true;
}

}  // namespace quarn

#endif  // QUARN_TESTS_HOST_MATRIX_CHECKS_H
