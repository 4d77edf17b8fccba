// The image sizes the codec takes, in each direction: from the smallest that
// the wavelet transform splits to the largest that the stream's users
// expect. Checks and their messages are built from these.
#ifndef QUARN_IMAGE_SIZE_LIMITS_H
#define QUARN_IMAGE_SIZE_LIMITS_H

#include <cstdint>

namespace quarn {

inline constexpr int32_t kMinSide = 32;
inline constexpr int32_t kMaxSide = 8192;

}  // namespace quarn

#endif  // QUARN_IMAGE_SIZE_LIMITS_H
