// Stream bytes read and written as little-endian words, and the mark for the
// small functions of the coding loops that must be inlined.
#ifndef QUARN_STREAM_BYTE_ORDER_H
#define QUARN_STREAM_BYTE_ORDER_H

#include <cstdint>

#if defined(__GNUC__)
#define QUARN_HOT inline __attribute__((always_inline))
#else
#define QUARN_HOT inline
#endif

namespace quarn {

inline uint64_t little_endian64(uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return __builtin_bswap64(v);
#else
  return v;
#endif
}

inline uint32_t little_endian32(uint32_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return __builtin_bswap32(v);
#else
  return v;
#endif
}

}  // namespace quarn

#endif  // QUARN_STREAM_BYTE_ORDER_H
