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

// A 32- or 64-bit word as it lies in little-endian bytes, and back.
template <class Word>
inline Word little_endian(Word v) {
  static_assert(sizeof(Word) == 4 || sizeof(Word) == 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  if constexpr (sizeof(Word) == 8) {
    return __builtin_bswap64(v);
  } else {
    return __builtin_bswap32(v);
  }
#else
  return v;
#endif
}

}  // namespace quarn

#endif  // QUARN_STREAM_BYTE_ORDER_H
