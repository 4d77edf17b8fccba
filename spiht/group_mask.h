// The four members of a 2x2 group handled at once: tests, signs and
// updates, the codes that a group emits, and the member masks of a LISP
// entry's flag word.
//
// Member k (0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right) is bit k
// of a member mask. In the flag word, member k's pixel bit is bit 2k and its
// set bit bit 2k + 1; "spread" masks use those positions.
#ifndef QUARN_SPIHT_GROUP_MASK_H
#define QUARN_SPIHT_GROUP_MASK_H

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "stream/byte_order.h"

namespace quarn::group_mask {

// Bit k of a member mask moved to bit 2k, and back.
inline constexpr uint8_t kSpread[16] = {0x00, 0x01, 0x04, 0x05, 0x10, 0x11, 0x14, 0x15,
                                        0x40, 0x41, 0x44, 0x45, 0x50, 0x51, 0x54, 0x55};
inline uint32_t spread(uint32_t mask4) { return kSpread[mask4]; }
inline uint32_t gather(uint32_t spread_mask) {
  return (spread_mask & 1u) | (spread_mask >> 1 & 2u) | (spread_mask >> 2 & 4u) |
         (spread_mask >> 3 & 8u);
}

inline int count(uint32_t mask4) {
  return static_cast<int>((0x4332322132212110ull >> (4 * mask4)) & 0xF);
}
// The lowest member of a non-empty mask.
inline int lowest(uint32_t mask4) {
  return static_cast<int>((0x0102010301020100ull >> (4 * mask4)) & 0xF);
}

// The four members' samples, in member order.
struct Four {
#if defined(__SSE2__)
  __m128 v;
#else
  float v[4];
#endif
};

QUARN_HOT Four load(const float* g, std::ptrdiff_t stride) {
  Four f;
#if defined(__SSE2__)
  const __m128 top = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(g)));
  const __m128 bottom =
      _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(g + stride)));
  f.v = _mm_movelh_ps(top, bottom);
#else
  f.v[0] = g[0];
  f.v[1] = g[1];
  f.v[2] = g[stride];
  f.v[3] = g[stride + 1];
#endif
  return f;
}

// The float exponent fields of the four members.
QUARN_HOT uint32_t exponents(const Four& f) {
  uint32_t e[4];
#if defined(__SSE2__)
  _mm_storeu_si128(reinterpret_cast<__m128i*>(e), _mm_srli_epi32(_mm_castps_si128(f.v), 23));
#else
  for (int k = 0; k < 4; ++k) __builtin_memcpy(&e[k], &f.v[k], 4), e[k] >>= 23;
#endif
  return (e[0] & 0xFF) | (e[1] & 0xFF) << 8 | (e[2] & 0xFF) << 16 | (e[3] & 0xFF) << 24;
}

// Members whose exponent byte (bit 8k .. 8k + 7 of `bytes`) is at least e.
QUARN_HOT uint32_t bytes_at_least(uint32_t bytes, uint32_t e) {
#if defined(__SSE2__)
  const __m128i x = _mm_cvtsi32_si128(static_cast<int>(bytes));
  const __m128i ge = _mm_cmpeq_epi8(_mm_max_epu8(x, _mm_set1_epi8(static_cast<char>(e))), x);
  return static_cast<uint32_t>(_mm_movemask_epi8(ge)) & 15u;
#else
  uint32_t m = 0;
  for (int k = 0; k < 4; ++k) m |= uint32_t{(bytes >> (8 * k) & 0xFF) >= e} << k;
  return m;
#endif
}

// Members whose sign bit is set.
QUARN_HOT uint32_t negative(const Four& f) {
#if defined(__SSE2__)
  return static_cast<uint32_t>(_mm_movemask_ps(f.v));
#else
  uint32_t m = 0;
  for (int k = 0; k < 4; ++k) m |= uint32_t{std::signbit(f.v[k])} << k;
  return m;
#endif
}

// The bits of float32(|x| - T) for each member, in member order.
QUARN_HOT void residuals(const Four& f, float T, uint32_t out[4]) {
#if defined(__SSE2__)
  const __m128 a = _mm_and_ps(f.v, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_castps_si128(_mm_sub_ps(a, _mm_set1_ps(T))));
#else
  for (int k = 0; k < 4; ++k) {
    const float r = std::fabs(f.v[k]) - T;
    __builtin_memcpy(&out[k], &r, 4);
  }
#endif
}

// The bits of +m or -m for each member, -m where `negative4` has it.
QUARN_HOT void signed_values(uint32_t negative4, float m, uint32_t out[4]) {
  uint32_t bits;
  __builtin_memcpy(&bits, &m, 4);
  for (int k = 0; k < 4; ++k) out[k] = bits | (negative4 >> k & 1u) << 31;
}

// What a group emits in the pixel phase, by the state of each member k in
// bits 2k, 2k + 1: 0 already significant (nothing), 1 still insignificant
// (a 0), 2 newly significant and positive (1, 0), 3 newly significant and
// negative (1, 1). Entry: the bits, first in bit 0, and their count << 8.
inline constexpr std::array<uint16_t, 256> kGroupCode = [] {
  std::array<uint16_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    uint32_t bits = 0;
    int n = 0;
    for (int k = 0; k < 4; ++k) {
      const int state = i >> (2 * k) & 3;
      if (state == 0) continue;
      if (state == 1) {
        ++n;
        continue;
      }
      bits |= 1u << n;
      bits |= uint32_t{state == 3} << (n + 1);
      n += 2;
    }
    t[static_cast<std::size_t>(i)] = static_cast<uint16_t>(bits | static_cast<uint32_t>(n) << 8);
  }
  return t;
}();

// The decoder's side: for the open members and the next 8 bits of the
// stream, bits 0-3 the members found significant, bits 4-7 those of them
// that are negative, bits 8-11 the number of bits read.
inline constexpr std::array<uint16_t, 4096> kGroupRead = [] {
  std::array<uint16_t, 4096> t{};
  for (int i = 0; i < 4096; ++i) {
    const int open = i & 15;
    const int next = i >> 4;
    int n = 0;
    uint32_t sig = 0, neg = 0;
    for (int k = 0; k < 4; ++k) {
      if (!(open >> k & 1)) continue;
      if (!(next >> n++ & 1)) continue;
      sig |= 1u << k;
      if (next >> n++ & 1) neg |= 1u << k;
    }
    t[static_cast<std::size_t>(i)] = static_cast<uint16_t>(sig | neg << 4 | static_cast<uint32_t>(n) << 8);
  }
  return t;
}();

// kNth[mask4][j]: the j-th member (from 0) of the mask.
inline constexpr std::array<std::array<uint8_t, 4>, 16> kNth = [] {
  std::array<std::array<uint8_t, 4>, 16> t{};
  for (int m = 0; m < 16; ++m) {
    int j = 0;
    for (int k = 0; k < 4; ++k)
      if (m >> k & 1) t[static_cast<std::size_t>(m)][static_cast<std::size_t>(j++)] = static_cast<uint8_t>(k);
  }
  return t;
}();

}  // namespace quarn::group_mask

#endif  // QUARN_SPIHT_GROUP_MASK_H
