// The SIMD kernels, written once over a vector type and compiled once per
// instruction set: kernels_sse2.cpp, kernels_avx2.cpp and kernels_avx512.cpp
// include this file, each with its own compiler flags, and take the widest
// vector type those flags allow.
//
// Each lane computes one output exactly as the scalar kernels do: the same
// operations on the same operands in the same order, every product and sum
// in double precision, one rounding to single precision where the scalar code
// stores a float. The lanes are independent columns, rows or pixels, so no
// sum is ever regrouped. Nothing here has external linkage: the same names
// compiled with different flags must never meet at link time.
#ifndef QUARN_IMAGE_KERNELS_X86_H
#define QUARN_IMAGE_KERNELS_X86_H

// GCC 12 warns about the deliberately undefined vectors inside its own
// AVX-512 conversion intrinsics; the warning is about the header, not us.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <emmintrin.h>
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "image/kernels.h"
#include "image/pixel_kernels.h"
#include "image/wavelet_kernels.h"

namespace quarn::kernels {
namespace {

// ---------------------------------------------------------------------------
// Vector types. Each holds N doubles and moves N floats in and out.

// One lane: plain scalar arithmetic, for the ends of rows.
struct V1 {
  using D = double;
  using F = float;
  static constexpr int N = 1;
  static F loadf(const float* p) { return *p; }
  static F setf(float x) { return x; }
  static D widen(F f) { return f; }
  static F narrow(D v) { return static_cast<float>(v); }
  static D load(const float* p) { return *p; }
  static void store(float* p, D v) { *p = static_cast<float>(v); }
  static D set1(double x) { return x; }
  static D load_d(const double* p) { return *p; }
  static void store_d(double* p, D v) { *p = v; }
  static void split(const float* p, double* even, double* odd) {
    *even = p[0];
    *odd = p[1];
  }
  static D to_float(D v) { return static_cast<float>(v); }
  static D bits_or(D a, D b) {
    uint64_t x, y;
    __builtin_memcpy(&x, &a, 8);
    __builtin_memcpy(&y, &b, 8);
    x |= y;
    __builtin_memcpy(&a, &x, 8);
    return a;
  }
  static bool all_zero_bits(D a) {
    uint64_t x;
    __builtin_memcpy(&x, &a, 8);
    return x == 0;
  }
  static void store_interleaved(float* p, D a, D b) {
    p[0] = static_cast<float>(a);
    p[1] = static_cast<float>(b);
  }
  // Colour values: mean + (s + 0.499) clamped to 0..255 (not-a-number to
  // 0) and truncated, as int32.
  using I = int32_t;
  static I colour_value(D v) {
    if (v >= 255.0) return 255;
    if (v > 0.0) return static_cast<int32_t>(v);
    return 0;
  }
  static void store_int(float* p, I v) { *p = static_cast<float>(v); }
  static void store_cells(uint8_t* out, I r, I g, I b) {
    out[0] = 255;
    out[1] = static_cast<uint8_t>(r);
    out[2] = static_cast<uint8_t>(g);
    out[3] = static_cast<uint8_t>(b);
  }
  static void store_rgb(uint8_t* out, I r, I g, I b) {
    out[0] = static_cast<uint8_t>(r);
    out[1] = static_cast<uint8_t>(g);
    out[2] = static_cast<uint8_t>(b);
  }
};

// min_255: the SSE2 and AVX2 colour values are mean + (s + 0.499) limited to
// 255 in double precision and truncated to int32; minpd gives its second
// operand, the value, when that is not a number, which like every value below
// -2^31 truncates to the integer 0x80000000. Clamping at 0 as integers then
// gives the scalar rule (at least 255: 255; above 0: truncated; else 0).

// Packs three vectors of colour values 0..255 (as int32) into cells of
// 255, r, g, b in memory order.
inline __m128i pack_cells(__m128i r, __m128i g, __m128i b) {
  const __m128i alpha = _mm_set1_epi32(255);
  return _mm_or_si128(_mm_or_si128(alpha, _mm_slli_epi32(r, 8)),
                      _mm_or_si128(_mm_slli_epi32(g, 16), _mm_slli_epi32(b, 24)));
}

// The same without the 255: r, g, b, 0 in memory order.
inline __m128i pack_rgb0(__m128i r, __m128i g, __m128i b) {
  return _mm_or_si128(r, _mm_or_si128(_mm_slli_epi32(g, 8), _mm_slli_epi32(b, 16)));
}

// SSE2: two doubles.
struct V2 {
  using D = __m128d;
  using F = __m128;  // the low two lanes
  static constexpr int N = 2;
  static F loadf(const float* p) {
    return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
  }
  static F setf(float x) { return _mm_set1_ps(x); }
  static D widen(F f) { return _mm_cvtps_pd(f); }
  static F narrow(D v) { return _mm_cvtpd_ps(v); }
  static D load(const float* p) {
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
  }
  static void store(float* p, D v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(_mm_cvtpd_ps(v)));
  }
  static D set1(double x) { return _mm_set1_pd(x); }
  static D load_d(const double* p) { return _mm_loadu_pd(p); }
  static void store_d(double* p, D v) { _mm_storeu_pd(p, v); }
  static void split(const float* p, double* even, double* odd) {
    const __m128 x = _mm_loadu_ps(p);
    _mm_storeu_pd(even, _mm_cvtps_pd(_mm_shuffle_ps(x, x, _MM_SHUFFLE(2, 0, 2, 0))));
    _mm_storeu_pd(odd, _mm_cvtps_pd(_mm_shuffle_ps(x, x, _MM_SHUFFLE(3, 1, 3, 1))));
  }
  static D to_float(D v) { return _mm_cvtps_pd(_mm_cvtpd_ps(v)); }
  static D bits_or(D a, D b) { return _mm_or_pd(a, b); }
  static bool all_zero_bits(D a) {
    const __m128i x = _mm_castpd_si128(a);
    return _mm_movemask_epi8(_mm_cmpeq_epi32(x, _mm_setzero_si128())) == 0xFFFF;
  }
  static void store_interleaved(float* p, D a, D b) {
    _mm_storeu_ps(p, _mm_unpacklo_ps(_mm_cvtpd_ps(a), _mm_cvtpd_ps(b)));
  }
  // Colour values below 255 (see min_255), clamped at 0 when stored.
  using I = __m128i;  // the low two lanes
  static I colour_value(D v) { return _mm_cvttpd_epi32(_mm_min_pd(_mm_set1_pd(255.0), v)); }
  static I non_negative(I v) { return _mm_andnot_si128(_mm_srai_epi32(v, 31), v); }
  static void store_int(float* p, I v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p),
                     _mm_castps_si128(_mm_cvtepi32_ps(non_negative(v))));
  }
  static void store_cells(uint8_t* out, I r, I g, I b) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out),
                     pack_cells(non_negative(r), non_negative(g), non_negative(b)));
  }
  static constexpr int kRgbSpill = 0;
  static void store_rgb_spilling(uint8_t*, I, I, I) {}
  static void store_rgb(uint8_t* out, I r, I g, I b) {
    const __m128i c = pack_rgb0(non_negative(r), non_negative(g), non_negative(b));
    const uint32_t c0 = static_cast<uint32_t>(_mm_cvtsi128_si32(c));
    const uint32_t c1 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(c, 4)));
    const uint64_t six = c0 | uint64_t{c1} << 24;
    __builtin_memcpy(out, &six, 6);
  }
};

#if defined(__AVX2__)
// AVX2: four doubles.
struct V4 {
  using D = __m256d;
  using F = __m128;
  static constexpr int N = 4;
  static F loadf(const float* p) { return _mm_loadu_ps(p); }
  static F setf(float x) { return _mm_set1_ps(x); }
  static D widen(F f) { return _mm256_cvtps_pd(f); }
  static F narrow(D v) { return _mm256_cvtpd_ps(v); }
  static D load(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
  static void store(float* p, D v) { _mm_storeu_ps(p, _mm256_cvtpd_ps(v)); }
  static D set1(double x) { return _mm256_set1_pd(x); }
  static D load_d(const double* p) { return _mm256_loadu_pd(p); }
  static void store_d(double* p, D v) { _mm256_storeu_pd(p, v); }
  // In-lane shuffles of two 4-float halves: a lane-crossing permutation of
  // all eight is much slower on some cores.
  static void split(const float* p, double* even, double* odd) {
    const __m128 a = _mm_loadu_ps(p), b = _mm_loadu_ps(p + 4);
    _mm256_storeu_pd(even, _mm256_cvtps_pd(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))));
    _mm256_storeu_pd(odd, _mm256_cvtps_pd(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))));
  }
  static D to_float(D v) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(v)); }
  static D bits_or(D a, D b) { return _mm256_or_pd(a, b); }
  static bool all_zero_bits(D a) {
    const __m256i x = _mm256_castpd_si256(a);
    return _mm256_testz_si256(x, x) != 0;
  }
  static void store_interleaved(float* p, D a, D b) {
    const __m128 fa = _mm256_cvtpd_ps(a), fb = _mm256_cvtpd_ps(b);
    _mm_storeu_ps(p, _mm_unpacklo_ps(fa, fb));
    _mm_storeu_ps(p + 4, _mm_unpackhi_ps(fa, fb));
  }
  // Colour values below 255 (see min_255), clamped at 0 when stored: the
  // saturating packs turn every negative value into byte 0.
  using I = __m128i;
  static I colour_value(D v) {
    return _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_set1_pd(255.0), v));
  }
  static void store_int(float* p, I v) {
    _mm_storeu_ps(p, _mm_cvtepi32_ps(_mm_max_epi32(v, _mm_setzero_si128())));
  }
  // r0..r3 g0..g3 b0..b3 and four more bytes (255 or b again).
  static __m128i pack_bytes(I r, I g, I b, __m128i last) {
    return _mm_packus_epi16(_mm_packs_epi32(r, g), _mm_packs_epi32(b, last));
  }
  static void store_cells(uint8_t* out, I r, I g, I b) {
    const __m128i bytes = pack_bytes(r, g, b, _mm_set1_epi32(255));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_shuffle_epi8(bytes, _mm_setr_epi8(12, 0, 4, 8, 13, 1, 5, 9, 14, 2, 6, 10,
                                                           15, 3, 7, 11)));
  }
  static __m128i rgb_bytes(I r, I g, I b) {
    return _mm_shuffle_epi8(pack_bytes(r, g, b, b),
                            _mm_setr_epi8(0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11, -1, -1, -1, -1));
  }
  // Four pixels, 12 bytes, and 4 more bytes over the next two pixels.
  static constexpr int kRgbSpill = 2;
  static void store_rgb_spilling(uint8_t* out, I r, I g, I b) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), rgb_bytes(r, g, b));
  }
  // Four pixels, 12 bytes.
  static void store_rgb(uint8_t* out, I r, I g, I b) {
    const __m128i c = rgb_bytes(r, g, b);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), c);
    const uint32_t last = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(c, 8)));
    __builtin_memcpy(out + 8, &last, 4);
  }
};
#endif

#if defined(__AVX512F__)
// AVX-512: eight doubles.
struct V8 {
  using D = __m512d;
  using F = __m256;
  static constexpr int N = 8;
  static F loadf(const float* p) { return _mm256_loadu_ps(p); }
  static F setf(float x) { return _mm256_set1_ps(x); }
  static D widen(F f) { return _mm512_cvtps_pd(f); }
  static F narrow(D v) { return _mm512_cvtpd_ps(v); }
  static D load(const float* p) { return _mm512_cvtps_pd(_mm256_loadu_ps(p)); }
  static void store(float* p, D v) { _mm256_storeu_ps(p, _mm512_cvtpd_ps(v)); }
  static D set1(double x) { return _mm512_set1_pd(x); }
  static D load_d(const double* p) { return _mm512_loadu_pd(p); }
  static void store_d(double* p, D v) { _mm512_storeu_pd(p, v); }
  static void split(const float* p, double* even, double* odd) {
    const __m512 x = _mm512_permutexvar_ps(
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15), _mm512_loadu_ps(p));
    _mm512_storeu_pd(even, _mm512_cvtps_pd(_mm512_castps512_ps256(x)));
    _mm512_storeu_pd(odd, _mm512_cvtps_pd(_mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(x), 1))));
  }
  static D to_float(D v) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(v)); }
  static D bits_or(D a, D b) {
    return _mm512_castsi512_pd(_mm512_or_si512(_mm512_castpd_si512(a), _mm512_castpd_si512(b)));
  }
  static bool all_zero_bits(D a) {
    const __m512i x = _mm512_castpd_si512(a);
    return _mm512_test_epi64_mask(x, x) == 0;
  }
  static void store_interleaved(float* p, D a, D b) {
    const __m256 fa = _mm512_cvtpd_ps(a), fb = _mm512_cvtpd_ps(b);
    const __m256 lo = _mm256_unpacklo_ps(fa, fb);  // a0 b0 a1 b1 | a4 b4 a5 b5
    const __m256 hi = _mm256_unpackhi_ps(fa, fb);  // a2 b2 a3 b3 | a6 b6 a7 b7
    _mm256_storeu_ps(p, _mm256_permute2f128_ps(lo, hi, 0x20));
    _mm256_storeu_ps(p + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
  }
  using I = __m256i;
  static I colour_value(D v) {
    return _mm512_cvttpd_epi32(
        _mm512_min_pd(_mm512_max_pd(v, _mm512_setzero_pd()), _mm512_set1_pd(255.0)));
  }
  static void store_int(float* p, I v) { _mm256_storeu_ps(p, _mm256_cvtepi32_ps(v)); }
  static void store_cells(uint8_t* out, I r, I g, I b) {
    const __m256i alpha = _mm256_set1_epi32(255);
    const __m256i c =
        _mm256_or_si256(_mm256_or_si256(alpha, _mm256_slli_epi32(r, 8)),
                        _mm256_or_si256(_mm256_slli_epi32(g, 16), _mm256_slli_epi32(b, 24)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), c);
  }
  // Eight pixels, 24 bytes: each half packed to 12 bytes, then the halves
  // joined.
  static void store_rgb(uint8_t* out, I r, I g, I b) {
    const __m256i c = _mm256_or_si256(
        r, _mm256_or_si256(_mm256_slli_epi32(g, 8), _mm256_slli_epi32(b, 16)));
    const __m256i packed = _mm256_shuffle_epi8(
        c, _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5,
                            6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
    const __m256i joined =
        _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(joined));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(joined, 1));
  }
};
#endif

// ---------------------------------------------------------------------------
// Packed pixels with AVX2 byte shuffles. Eight pixels (24 bytes) are loaded
// as two overlapping halves, pixels 0-3 and 4-7 at the start of each 16-byte
// lane, from which one shuffle per colour gathers the colour's bytes as
// int32. Integer sums are exact in any order.

#if defined(__AVX2__)
inline __m256i eight_pixels(const uint8_t* px) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(px))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + 12)), 1);
}

// Colour c of the pixels of eight_pixels() as int32.
inline __m256i colour_of(__m256i pixels, int c) {
  const __m128i m =
      _mm_setr_epi8(static_cast<char>(c), -1, -1, -1, static_cast<char>(c + 3), -1, -1, -1,
                    static_cast<char>(c + 6), -1, -1, -1, static_cast<char>(c + 9), -1, -1, -1);
  return _mm256_shuffle_epi8(pixels, _mm256_broadcastsi128_si256(m));
}

// The last pixel group may read up to 4 bytes past the last pixel (the
// second half loads 16 bytes at byte 12): whole groups stop early enough.
inline int32_t whole_groups(int32_t n) { return n >= 10 ? (n - 2) / 8 * 8 : 0; }

inline void centred_pixels_avx2(const uint8_t* px, int32_t n, const int32_t mean[3], float* x0,
                                float* x1, float* x2) {
  const __m256i m0 = _mm256_set1_epi32(mean[0]), m1 = _mm256_set1_epi32(mean[1]);
  const __m256i m2 = _mm256_set1_epi32(mean[2]);
  const int32_t end = whole_groups(n);
  int32_t j = 0;
  for (; j < end; j += 8) {
    const __m256i p = eight_pixels(px + 3 * j);
    _mm256_storeu_ps(x0 + j, _mm256_cvtepi32_ps(_mm256_sub_epi32(colour_of(p, 0), m0)));
    _mm256_storeu_ps(x1 + j, _mm256_cvtepi32_ps(_mm256_sub_epi32(colour_of(p, 1), m1)));
    _mm256_storeu_ps(x2 + j, _mm256_cvtepi32_ps(_mm256_sub_epi32(colour_of(p, 2), m2)));
  }
  centred_pixels(px + 3 * j, n - j, mean, x0 + j, x1 + j, x2 + j);
}

// The products as pmaddwd builds them, sixteen pixels at a time: the colour
// values of pixels 0-7 in the low 16-bit half of each lane, of pixels 8-15
// in the high half, so that each 32-bit lane gathers the products of two
// pixels a step, and holds at most 2^12 steps' worth before it is added to
// the 64-bit sums. The sums of the bytes are gathered in a second pass over
// the row (from the cache): both in one loop need more vector registers than
// there are.
inline uint64_t lane_total(__m256i v) {
  alignas(32) uint32_t lanes[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), v);
  uint64_t t = 0;
  for (uint32_t x : lanes) t += x;
  return t;
}

inline void pixel_sums_avx2(const uint8_t* px, int32_t n, PixelSums* sums) {
  const int32_t end = whole_groups(n) / 16 * 16;
  for (int32_t j = 0; j < end;) {
    const int32_t stop = std::min(end, j + 16 * 4096);
    __m256i q[6];
    for (__m256i& v : q) v = _mm256_setzero_si256();
    for (; j < stop; j += 16) {
      const __m256i p = eight_pixels(px + 3 * j), p8 = eight_pixels(px + 3 * j + 24);
      const __m256i r = _mm256_or_si256(colour_of(p, 0), _mm256_slli_epi32(colour_of(p8, 0), 16));
      const __m256i g = _mm256_or_si256(colour_of(p, 1), _mm256_slli_epi32(colour_of(p8, 1), 16));
      const __m256i b = _mm256_or_si256(colour_of(p, 2), _mm256_slli_epi32(colour_of(p8, 2), 16));
      q[0] = _mm256_add_epi32(q[0], _mm256_madd_epi16(r, r));
      q[1] = _mm256_add_epi32(q[1], _mm256_madd_epi16(r, g));
      q[2] = _mm256_add_epi32(q[2], _mm256_madd_epi16(r, b));
      q[3] = _mm256_add_epi32(q[3], _mm256_madd_epi16(g, g));
      q[4] = _mm256_add_epi32(q[4], _mm256_madd_epi16(g, b));
      q[5] = _mm256_add_epi32(q[5], _mm256_madd_epi16(b, b));
    }
    for (int c = 0; c < 6; ++c) sums->prod[c] += lane_total(q[c]);
  }
  for (int32_t j = 0; j < end;) {
    const int32_t stop = std::min(end, j + 8 * 4096);
    __m256i s[3];
    for (__m256i& v : s) v = _mm256_setzero_si256();
    for (; j < stop; j += 8) {
      const __m256i p = eight_pixels(px + 3 * j);
      s[0] = _mm256_add_epi32(s[0], colour_of(p, 0));
      s[1] = _mm256_add_epi32(s[1], colour_of(p, 1));
      s[2] = _mm256_add_epi32(s[2], colour_of(p, 2));
    }
    for (int c = 0; c < 3; ++c) sums->sum[c] += lane_total(s[c]);
  }
  pixel_sums_row(px + 3 * end, n - end, sums);
}

inline void load_pixels_avx2(const uint8_t* px, int32_t n, float* p0, float* p1, float* p2,
                             PixelSums* sums) {
  const int32_t zero[3] = {0, 0, 0};
  centred_pixels_avx2(px, n, zero, p0, p1, p2);
  pixel_sums_avx2(px, n, sums);
}
#endif

// ---------------------------------------------------------------------------
// Descendant maxima, 4 (SSE2) or 8 (AVX2) members at a time: the larger
// magnitude of the two rows first, then of each pair of neighbours, which
// the shuffles gather into the even and the odd lanes. Maxima of magnitudes
// are exact in any order, so this gives the scalar kernel's values.

inline __m128 abs4(__m128 x) { return _mm_and_ps(x, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF))); }

inline void block_max_sse2(const float* c0, const float* c1, const float* m0, const float* m1,
                           float* out, int32_t x0, int32_t x1) {
  int32_t x = x0;
  for (; x + 4 <= x1; x += 4) {
    const int32_t i = 2 * x;
    __m128 u0 = _mm_max_ps(abs4(_mm_loadu_ps(c0 + i)), abs4(_mm_loadu_ps(c1 + i)));
    __m128 u1 = _mm_max_ps(abs4(_mm_loadu_ps(c0 + i + 4)), abs4(_mm_loadu_ps(c1 + i + 4)));
    if (m0 != nullptr) {
      u0 = _mm_max_ps(u0, _mm_max_ps(_mm_loadu_ps(m0 + i), _mm_loadu_ps(m1 + i)));
      u1 = _mm_max_ps(u1, _mm_max_ps(_mm_loadu_ps(m0 + i + 4), _mm_loadu_ps(m1 + i + 4)));
    }
    _mm_storeu_ps(out + x, _mm_max_ps(_mm_shuffle_ps(u0, u1, _MM_SHUFFLE(2, 0, 2, 0)),
                                      _mm_shuffle_ps(u0, u1, _MM_SHUFFLE(3, 1, 3, 1))));
  }
  block_max_row(c0, c1, m0, m1, out, x, x1);
}

#if defined(__AVX2__)
inline __m256 abs8(__m256 x) {
  return _mm256_and_ps(x, _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF)));
}

// The shuffles leave members 0, 1, 4, 5 in the low half and 2, 3, 6, 7 in
// the high half; a permutation of 64-bit pieces puts them in order.
inline void block_max_avx2(const float* c0, const float* c1, const float* m0, const float* m1,
                           float* out, int32_t x0, int32_t x1) {
  int32_t x = x0;
  for (; x + 8 <= x1; x += 8) {
    const int32_t i = 2 * x;
    __m256 u0 = _mm256_max_ps(abs8(_mm256_loadu_ps(c0 + i)), abs8(_mm256_loadu_ps(c1 + i)));
    __m256 u1 = _mm256_max_ps(abs8(_mm256_loadu_ps(c0 + i + 8)), abs8(_mm256_loadu_ps(c1 + i + 8)));
    if (m0 != nullptr) {
      u0 = _mm256_max_ps(u0, _mm256_max_ps(_mm256_loadu_ps(m0 + i), _mm256_loadu_ps(m1 + i)));
      u1 = _mm256_max_ps(u1,
                         _mm256_max_ps(_mm256_loadu_ps(m0 + i + 8), _mm256_loadu_ps(m1 + i + 8)));
    }
    const __m256 pairs = _mm256_max_ps(_mm256_shuffle_ps(u0, u1, _MM_SHUFFLE(2, 0, 2, 0)),
                                       _mm256_shuffle_ps(u0, u1, _MM_SHUFFLE(3, 1, 3, 1)));
    _mm256_storeu_ps(out + x, _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(pairs),
                                                                     _MM_SHUFFLE(3, 1, 2, 0))));
  }
  block_max_sse2(c0, c1, m0, m1, out, x, x1);
}
#endif

// ---------------------------------------------------------------------------
// Colour transforms, N pixels at a time; the last few one at a time.
//
// The first step of each output, float32(0 + m x) with m and x floats, is
// done in single precision: the product of two floats is exact in double
// precision, so rounding it once to float is what a float multiplication
// gives, and adding +0 turns a -0 into +0 as the double sum does. Every
// later partial sum is formed in double precision and rounded to float.

template <class V>
struct ColourConstants {
  typename V::D mean[3], m[3][3], zero, half_less;
  typename V::F mf[3][3], zerof;
  explicit ColourConstants(const Colour& c) {
    for (int e = 0; e < 3; ++e) {
      mean[e] = V::set1(static_cast<double>(c.mean[e]));
      for (int r = 0; r < 3; ++r) {
        m[e][r] = V::set1(static_cast<double>(c.matrix[e][r]));
        mf[e][r] = V::setf(c.matrix[e][r]);
      }
    }
    zero = V::set1(0.0);
    zerof = V::setf(0.0f);
    half_less = V::set1(0.499);
  }
};

// Forward transform of pixels j .. n - 1 in steps of N (returns where it
// stopped). The samples less the means come from x0, x1, x2 when kCentred,
// else from the planes.
template <class V, bool kCentred>
int32_t forward_colour_run(float* p0, float* p1, float* p2, const float* x0, const float* x1,
                           const float* x2, int32_t j, int32_t n, const ColourConstants<V>& k) {
  using D = typename V::D;
  using F = typename V::F;
  for (; j + V::N <= n; j += V::N) {
    F a;
    D b, d;
    if constexpr (kCentred) {
      a = V::loadf(x0 + j);
      b = V::widen(V::loadf(x1 + j));
      d = V::widen(V::loadf(x2 + j));
    } else {
      a = V::narrow(V::load(p0 + j) - k.mean[0]);
      b = V::to_float(V::load(p1 + j) - k.mean[1]);
      d = V::to_float(V::load(p2 + j) - k.mean[2]);
    }
    D y[3];
    for (int e = 0; e < 3; ++e) {
      D acc = V::widen(k.mf[e][0] * a + k.zerof);
      acc = V::to_float(acc + k.m[e][1] * b);
      y[e] = acc + k.m[e][2] * d;
    }
    V::store(p0 + j, y[0]);
    V::store(p1 + j, y[1]);
    V::store(p2 + j, y[2]);
  }
  return j;
}

template <class V>
void forward_colour(float* p0, float* p1, float* p2, int32_t n, const Colour& c) {
  const int32_t j = forward_colour_run<V, false>(p0, p1, p2, nullptr, nullptr, nullptr, 0, n,
                                                 ColourConstants<V>(c));
  forward_colour_run<V1, false>(p0, p1, p2, nullptr, nullptr, nullptr, j, n,
                                ColourConstants<V1>(c));
}

template <class V>
void colour_pixels(const uint8_t* rgb, int32_t n, float* p0, float* p1, float* p2,
                   const Colour& c, float* work) {
  float* x0 = work;
  float* x1 = x0 + n + 16;
  float* x2 = x1 + n + 16;
  centred_pixels(rgb, n, c.mean, x0, x1, x2);
  const int32_t j = forward_colour_run<V, true>(p0, p1, p2, x0, x1, x2, 0, n, ColourConstants<V>(c));
  forward_colour_run<V1, true>(p0, p1, p2, x0, x1, x2, j, n, ColourConstants<V1>(c));
}

// The three colour values of N pixels, already clamped and truncated.
template <class V>
inline void inverse_pixels(const ColourConstants<V>& k, typename V::F a, typename V::D b,
                           typename V::D d, typename V::I out[3]) {
  using D = typename V::D;
  for (int e = 0; e < 3; ++e) {
    D s = V::widen(k.mf[0][e] * a + k.zerof);
    s = V::to_float(s + k.m[1][e] * b);
    s = V::to_float(s + k.m[2][e] * d);
    out[e] = V::colour_value(k.mean[e] + (s + k.half_less));
  }
}

template <class V>
int32_t inverse_colour_run(float* p0, float* p1, float* p2, int32_t j, int32_t n,
                           const ColourConstants<V>& k) {
  for (; j + V::N <= n; j += V::N) {
    typename V::I out[3];
    inverse_pixels<V>(k, V::loadf(p0 + j), V::widen(V::loadf(p1 + j)),
                      V::widen(V::loadf(p2 + j)), out);
    V::store_int(p0 + j, out[0]);
    V::store_int(p1 + j, out[1]);
    V::store_int(p2 + j, out[2]);
  }
  return j;
}

template <class V>
void inverse_colour(float* p0, float* p1, float* p2, int32_t n, const Colour& c) {
  const int32_t j = inverse_colour_run<V>(p0, p1, p2, 0, n, ColourConstants<V>(c));
  inverse_colour_run<V1>(p0, p1, p2, j, n, ColourConstants<V1>(c));
}

// Output pixels: 4-byte cells (255, r, g, b) or packed 3-byte RGB.
template <int kBytes>
struct PixelOut {
  template <class V>
  static void store(uint8_t* out, typename V::I r, typename V::I g, typename V::I b) {
    if constexpr (kBytes == 4) {
      V::store_cells(out, r, g, b);
    } else {
      V::store_rgb(out, r, g, b);
    }
  }
};

template <class V, int kBytes>
int32_t colour_out_run(float* p0, float* p1, float* p2, int32_t j, int32_t n,
                       const ColourConstants<V>& k, uint8_t* pixels, bool clear) {
  for (; j + V::N <= n; j += V::N) {
    typename V::I out[3];
    inverse_pixels<V>(k, V::loadf(p0 + j), V::widen(V::loadf(p1 + j)),
                      V::widen(V::loadf(p2 + j)), out);
    PixelOut<kBytes>::template store<V>(pixels + kBytes * j, out[0], out[1], out[2]);
    if (clear) {
      V::store(p0 + j, k.zero);
      V::store(p1 + j, k.zero);
      V::store(p2 + j, k.zero);
    }
  }
  return j;
}

template <class V, int kBytes>
void colour_out(float* p0, float* p1, float* p2, int32_t n, const Colour& c, uint8_t* pixels,
                bool clear) {
  const int32_t j =
      colour_out_run<V, kBytes>(p0, p1, p2, 0, n, ColourConstants<V>(c), pixels, clear);
  colour_out_run<V1, kBytes>(p0, p1, p2, j, n, ColourConstants<V1>(c), pixels, clear);
}

// ---------------------------------------------------------------------------
// The colour transforms in stages (the SSE2 and AVX2 tables). Each partial sum
// that the arithmetic rounds to single precision is stored as a float and
// read back with a converting load, a chunk of pixels at a time: the same
// operations in the same order with the same roundings, but each pixel's long
// chain of dependent operations is cut into short pieces that the processor
// overlaps across the chunk, and the conversion back to double precision
// comes from memory.

constexpr int32_t kStagePixels = 256;

// Forward transform of n pixels (a multiple of N) whose samples less the
// means are in x0, x1, x2, into the planes.
template <class V>
void forward_colour_staged(const float* x0, const float* x1, const float* x2, int32_t n,
                           const ColourConstants<V>& k, float* p0, float* p1, float* p2) {
  alignas(64) float t[3][kStagePixels];
  float* const out[3] = {p0, p1, p2};
  for (int32_t c = 0; c < n; c += kStagePixels) {
    const int32_t m = std::min(kStagePixels, n - c);
    for (int32_t j = 0; j < m; j += V::N) {
      const typename V::F a = V::loadf(x0 + c + j);
      const typename V::D b = V::load(x1 + c + j);
      for (int e = 0; e < 3; ++e) {
        V::store(t[e] + j, V::widen(k.mf[e][0] * a + k.zerof) + k.m[e][1] * b);
      }
    }
    for (int32_t j = 0; j < m; j += V::N) {
      const typename V::D d = V::load(x2 + c + j);
      for (int e = 0; e < 3; ++e) V::store(out[e] + c + j, V::load(t[e] + j) + k.m[e][2] * d);
    }
  }
}

template <class V>
void forward_colour_in_stages(float* p0, float* p1, float* p2, int32_t n, const Colour& c) {
  const ColourConstants<V> k(c);
  const int32_t nv = n / V::N * V::N;
  alignas(64) float x[3][kStagePixels];
  for (int32_t j0 = 0; j0 < nv; j0 += kStagePixels) {
    const int32_t m = std::min(kStagePixels, nv - j0);
    float* const p[3] = {p0 + j0, p1 + j0, p2 + j0};
    // The samples less the means, rounded to single precision.
    for (int32_t j = 0; j < m; j += V::N) {
      for (int e = 0; e < 3; ++e) V::store(x[e] + j, V::load(p[e] + j) - k.mean[e]);
    }
    forward_colour_staged<V>(x[0], x[1], x[2], m, k, p[0], p[1], p[2]);
  }
  forward_colour_run<V1, false>(p0, p1, p2, nullptr, nullptr, nullptr, nv, n,
                                ColourConstants<V1>(c));
}

template <class V>
void colour_pixels_in_stages(const uint8_t* rgb, int32_t n, float* p0, float* p1, float* p2,
                             const Colour& c, float* work) {
  float* x0 = work;
  float* x1 = x0 + n + 16;
  float* x2 = x1 + n + 16;
#if defined(__AVX2__)
  if constexpr (V::N == 4) {
    centred_pixels_avx2(rgb, n, c.mean, x0, x1, x2);
  } else {
    centred_pixels(rgb, n, c.mean, x0, x1, x2);
  }
#else
  centred_pixels(rgb, n, c.mean, x0, x1, x2);
#endif
  const int32_t nv = n / V::N * V::N;
  forward_colour_staged<V>(x0, x1, x2, nv, ColourConstants<V>(c), p0, p1, p2);
  forward_colour_run<V1, true>(p0, p1, p2, x0, x1, x2, nv, n, ColourConstants<V1>(c));
}

// Inverse transform of the planes' n pixels (a multiple of N): the colour
// values of each N pixels go to out(j, r, g, b); the planes are then left
// as they are, or cleared.
template <class V, class Out>
void inverse_colour_staged(float* p0, float* p1, float* p2, int32_t n, const ColourConstants<V>& k,
                           bool clear, Out out) {
  alignas(64) float s[3][kStagePixels];
  for (int32_t c = 0; c < n; c += kStagePixels) {
    const int32_t m = std::min(kStagePixels, n - c);
    for (int32_t j = 0; j < m; j += V::N) {
      const typename V::F a = V::loadf(p0 + c + j);
      const typename V::D b = V::load(p1 + c + j);
      for (int e = 0; e < 3; ++e) {
        V::store(s[e] + j, V::widen(k.mf[0][e] * a + k.zerof) + k.m[1][e] * b);
      }
    }
    for (int32_t j = 0; j < m; j += V::N) {
      const typename V::D d = V::load(p2 + c + j);
      for (int e = 0; e < 3; ++e) V::store(s[e] + j, V::load(s[e] + j) + k.m[2][e] * d);
      if (clear) {
        V::store(p0 + c + j, k.zero);
        V::store(p1 + c + j, k.zero);
        V::store(p2 + c + j, k.zero);
      }
    }
    for (int32_t j = 0; j < m; j += V::N) {
      typename V::I v[3];
      for (int e = 0; e < 3; ++e) {
        v[e] = V::colour_value(k.mean[e] + (V::load(s[e] + j) + k.half_less));
      }
      out(c + j, v[0], v[1], v[2]);
    }
  }
}

template <class V>
void inverse_colour_in_stages(float* p0, float* p1, float* p2, int32_t n, const Colour& c) {
  const int32_t nv = n / V::N * V::N;
  inverse_colour_staged<V>(p0, p1, p2, nv, ColourConstants<V>(c), false,
                           [&](int32_t j, typename V::I r, typename V::I g, typename V::I b) {
                             V::store_int(p0 + j, r);
                             V::store_int(p1 + j, g);
                             V::store_int(p2 + j, b);
                           });
  inverse_colour_run<V1>(p0, p1, p2, nv, n, ColourConstants<V1>(c));
}

// Packed 3-byte pixels may be stored with whole vectors that spill into the
// next pixels, which the next group then overwrites, while enough pixels
// follow (V::kRgbSpill of them).
template <class V, int kBytes>
void colour_out_in_stages(float* p0, float* p1, float* p2, int32_t n, const Colour& c,
                          uint8_t* pixels, bool clear) {
  const int32_t nv = n / V::N * V::N;
  inverse_colour_staged<V>(p0, p1, p2, nv, ColourConstants<V>(c), clear,
                           [&](int32_t j, typename V::I r, typename V::I g, typename V::I b) {
                             if constexpr (kBytes == 3 && V::kRgbSpill > 0) {
                               if (j + V::N + V::kRgbSpill <= n) {
                                 V::store_rgb_spilling(pixels + 3 * j, r, g, b);
                                 return;
                               }
                             }
                             PixelOut<kBytes>::template store<V>(pixels + kBytes * j, r, g, b);
                           });
  colour_out_run<V1, kBytes>(p0, p1, p2, nv, n, ColourConstants<V1>(c), pixels, clear);
}

// ---------------------------------------------------------------------------
// Wavelet taps as vectors, and the four filters written out once over the
// nine samples around an output, each exactly as in the scalar line kernels
// (the pair sums first, then left to right).

template <class V>
struct Taps {
  typename V::D a0, a1, a2, a3, a4, b0, b1, b2, b3;
  Taps()
      : a0(V::set1(wavelet::a0)), a1(V::set1(wavelet::a1)), a2(V::set1(wavelet::a2)),
        a3(V::set1(wavelet::a3)), a4(V::set1(wavelet::a4)), b0(V::set1(wavelet::b0)),
        b1(V::set1(wavelet::b1)), b2(V::set1(wavelet::b2)), b3(V::set1(wavelet::b3)) {}
};

// Analysis of line s around output k: z = s[2k], m1 = s[2k - 1], p1 =
// s[2k + 1] and so on.
template <class V, class D>
inline D analysis_low(const Taps<V>& t, D m4, D m3, D m2, D m1, D z, D p1, D p2, D p3, D p4) {
  return (m1 + p1) * t.a1 + z * t.a0 - (m2 + p2) * t.a2 - (m3 + p3) * t.a3 + (m4 + p4) * t.a4;
}
template <class V, class D>
inline D analysis_high(const Taps<V>& t, D m2, D m1, D z, D p1, D p2, D p3, D p4) {
  return p1 * t.b0 - (z + p2) * t.b1 - (m1 + p3) * t.b2 + (m2 + p4) * t.b3;
}
// Synthesis of the interleaved line t around outputs 2k (even) and 2k + 1
// (odd): z = t[2k], m1 = t[2k - 1], p1 = t[2k + 1] and so on.
template <class V, class D>
inline D synthesis_even(const Taps<V>& t, D m3, D m2, D m1, D z, D p1, D p2, D p3) {
  return z * t.b0 - (m1 + p1) * t.a1 - (m2 + p2) * t.b2 + (m3 + p3) * t.a3;
}
template <class V, class D>
inline D synthesis_odd(const Taps<V>& t, D m3, D m2, D m1, D z, D p1, D p2, D p3, D p4, D p5) {
  return (z + p2) * t.b1 + p1 * t.a0 - (m1 + p3) * t.a2 - (m2 + p4) * t.b3 + (m3 + p5) * t.a4;
}

// The synthesis outputs when every odd sample (high-pass input) of the nine
// is +0, as happens all over the finer detail bands of a coarsely decoded
// image. Each dropped term is (+0 + +0) times a positive tap, that is +0;
// subtracting +0 changes nothing, and adding +0 changes only a -0 into +0,
// which the final + 0.0 reproduces (in the odd output, the +0 added after
// its first product can only turn a -0 into +0, which the subtraction and
// the final + 0.0 make irrelevant). So these give the very same bits as the
// full filters on such inputs, with half the arithmetic.
template <class V, class D>
inline D synthesis_even_zero_odd(const Taps<V>& t, D m2, D z, D p2, D zero) {
  return z * t.b0 - (m2 + p2) * t.b2 + zero;
}
template <class V, class D>
inline D synthesis_odd_zero_odd(const Taps<V>& t, D m2, D z, D p2, D p4, D zero) {
  return (z + p2) * t.b1 - (m2 + p4) * t.b3 + zero;
}

// ---------------------------------------------------------------------------
// Column passes: a block of NV vectors of columns is copied into the work
// storage, one row of the block after another with four mirrored guard rows
// at each end; the outputs are filtered from that copy straight into the
// plane, each vector of columns in one sweep down the block that keeps the
// nine samples around an output in registers. Blocks of the widest vectors
// first, then narrower ones: the column count is always even, so two-lane
// blocks finish every region.

// Work row i of the block holds line sample i - 4.
inline void mirror_rows(float* work, int32_t w, int32_t n) {
  float* first = work + 4 * w;
  float* last = work + (n + 3) * w;
  for (int i = 1; i <= 4; ++i) {
    for (int32_t j = 0; j < w; ++j) first[-i * w + j] = first[i * w + j];
    for (int32_t j = 0; j < w; ++j) last[i * w + j] = last[-i * w + j];
  }
}

template <class V, int NV>
void forward_column_block(float* p, std::ptrdiff_t stride, int32_t rows, int32_t x0,
                          float* work) {
  using D = typename V::D;
  constexpr int32_t W = NV * V::N;
  for (int32_t y = 0; y < rows; ++y) {
    __builtin_memcpy(work + (y + 4) * W, p + y * stride + x0, sizeof(float) * W);
  }
  mirror_rows(work, W, rows);
  const Taps<V> t;
  const int32_t half = rows / 2;
  for (int v = 0; v < NV; ++v) {
    const float* s = work + 4 * W + v * V::N;  // line sample 0
    D m4 = V::load(s - 4 * W), m3 = V::load(s - 3 * W), m2 = V::load(s - 2 * W);
    D m1 = V::load(s - W), z = V::load(s), p1 = V::load(s + W), p2 = V::load(s + 2 * W);
    D p3 = V::load(s + 3 * W), p4 = V::load(s + 4 * W);
    float* low = p + x0 + v * V::N;
    float* high = low + half * stride;
    for (int32_t k = 0;;) {
      V::store(low + k * stride, analysis_low(t, m4, m3, m2, m1, z, p1, p2, p3, p4));
      V::store(high + k * stride, analysis_high(t, m2, m1, z, p1, p2, p3, p4));
      if (++k == half) break;
      m4 = m2;
      m3 = m1;
      m2 = z;
      m1 = p1;
      z = p2;
      p1 = p3;
      p2 = p4;
      p3 = V::load(s + (2 * k + 3) * W);
      p4 = V::load(s + (2 * k + 4) * W);
    }
  }
}

// Whether the N floats at p are all +0, tested as integers (off the vector
// units, which the filters keep busy).
template <int N>
inline bool zero_floats(const float* p) {
  uint64_t any = 0;
  for (int i = 0; i < N; i += 2) {
    uint64_t x;
    __builtin_memcpy(&x, p + i, 8);
    any |= x;
  }
  return any == 0;
}

// With kScalarTest (the SSE2 and AVX2 tables), whether the five odd inputs
// are +0 comes from a history of the odd rows as they enter the window, one
// bit each, set when the row's vector is not +0; otherwise from the window's
// vectors themselves.
template <class V, int NV, bool kScalarTest = false>
void inverse_column_block(float* p, std::ptrdiff_t stride, int32_t rows, int32_t x0, float* work) {
  using D = typename V::D;
  constexpr int32_t W = NV * V::N;
  const int32_t half = rows / 2;
  for (int32_t k = 0; k < half; ++k) {
    float* even = work + (2 * k + 4) * W;
    __builtin_memcpy(even, p + k * stride + x0, sizeof(float) * W);
    __builtin_memcpy(even + W, p + (half + k) * stride + x0, sizeof(float) * W);
  }
  mirror_rows(work, W, rows);
  const Taps<V> t;
  for (int v = 0; v < NV; ++v) {
    const float* s = work + 4 * W + v * V::N;  // interleaved sample 0
    D m3 = V::load(s - 3 * W), m2 = V::load(s - 2 * W), m1 = V::load(s - W), z = V::load(s);
    D p1 = V::load(s + W), p2 = V::load(s + 2 * W), p3 = V::load(s + 3 * W);
    D p4 = V::load(s + 4 * W), p5 = V::load(s + 5 * W);
    float* out = p + x0 + v * V::N;
    const D zero = V::set1(0.0);
    uint32_t odd_nonzero = 0;  // bit i: odd input 2 i steps back is not +0
    if constexpr (kScalarTest) {
      for (int i = -3; i <= 5; i += 2) {
        odd_nonzero = odd_nonzero << 1 | !zero_floats<V::N>(s + i * W);
      }
    }
    for (int32_t k = 0;;) {
      bool odd_zero;
      if constexpr (kScalarTest) {
        odd_zero = (odd_nonzero & 31) == 0;
      } else {
        odd_zero =
            V::all_zero_bits(V::bits_or(V::bits_or(m3, m1), V::bits_or(V::bits_or(p1, p3), p5)));
      }
      if (odd_zero) {
        V::store(out + 2 * k * stride, synthesis_even_zero_odd(t, m2, z, p2, zero));
        V::store(out + (2 * k + 1) * stride, synthesis_odd_zero_odd(t, m2, z, p2, p4, zero));
      } else {
        V::store(out + 2 * k * stride, synthesis_even(t, m3, m2, m1, z, p1, p2, p3));
        V::store(out + (2 * k + 1) * stride,
                 synthesis_odd(t, m3, m2, m1, z, p1, p2, p3, p4, p5));
      }
      if (++k == half) break;
      m3 = m1;
      m2 = z;
      m1 = p1;
      z = p2;
      p1 = p3;
      p2 = p4;
      p3 = p5;
      p4 = V::load(s + (2 * k + 4) * W);
      p5 = V::load(s + (2 * k + 5) * W);
      if constexpr (kScalarTest) {
        odd_nonzero = odd_nonzero << 1 | !zero_floats<V::N>(s + (2 * k + 5) * W);
      }
    }
  }
}

template <class Wide>
void forward_columns(float* p, std::ptrdiff_t stride, int32_t rows, int32_t cols, float* work) {
  int32_t x = 0;
  for (; x + 2 * Wide::N <= cols; x += 2 * Wide::N) {
    forward_column_block<Wide, 2>(p, stride, rows, x, work);
  }
  for (; x + Wide::N <= cols; x += Wide::N) forward_column_block<Wide, 1>(p, stride, rows, x, work);
  for (; x + 2 <= cols; x += 2) forward_column_block<V2, 1>(p, stride, rows, x, work);
}

template <class Wide, bool kScalarTest = false>
void inverse_columns(float* p, std::ptrdiff_t stride, int32_t rows, int32_t cols, float* work) {
  int32_t x = 0;
  for (; x + 2 * Wide::N <= cols; x += 2 * Wide::N) {
    inverse_column_block<Wide, 2, kScalarTest>(p, stride, rows, x, work);
  }
  for (; x + Wide::N <= cols; x += Wide::N) {
    inverse_column_block<Wide, 1, kScalarTest>(p, stride, rows, x, work);
  }
  for (; x + 2 <= cols; x += 2) inverse_column_block<V2, 1, kScalarTest>(p, stride, rows, x, work);
}

// ---------------------------------------------------------------------------
// The forward column pass straight on the plane (the SSE2 and AVX2 tables):
// each vector of columns is swept down the block with the nine samples
// around an output in registers, loading each input row from the plane as it
// enters, so that the rows stream in while the filters run, instead of being
// copied first. (The inverse pass keeps the copy: its outputs overwrite
// rows still to be read all the way down, and sweeping the plane did not
// gain there.)

// Line sample i of a line of n samples, whole-sample mirrored at both ends.
inline int32_t mirrored(int32_t i, int32_t n) { return i < 0 ? -i : i < n ? i : 2 * n - 2 - i; }

// Low-pass output k goes to row k, which the sweep has read by then;
// high-pass output k to row half + k, which it has not, so the high outputs
// of the block wait in `temp` (half rows of W) until the block is done.
template <class V, int NV>
void forward_column_block_direct(float* p, std::ptrdiff_t stride, int32_t rows, int32_t x0,
                                 float* temp) {
  using D = typename V::D;
  constexpr int32_t W = NV * V::N;
  const int32_t half = rows / 2;
  const Taps<V> t;
  for (int v = 0; v < NV; ++v) {
    const float* s = p + x0 + v * V::N;  // row 0 of the vector
    auto at = [&](int32_t i) { return V::load(s + mirrored(i, rows) * stride); };
    D m4 = at(-4), m3 = at(-3), m2 = at(-2), m1 = at(-1), z = at(0);
    D p1 = at(1), p2 = at(2), p3 = at(3), p4 = at(4);
    float* low = p + x0 + v * V::N;
    float* high = temp + v * V::N;
    for (int32_t k = 0;;) {
      V::store(low + k * stride, analysis_low(t, m4, m3, m2, m1, z, p1, p2, p3, p4));
      V::store(high + k * W, analysis_high(t, m2, m1, z, p1, p2, p3, p4));
      if (++k == half) break;
      m4 = m2;
      m3 = m1;
      m2 = z;
      m1 = p1;
      z = p2;
      p1 = p3;
      p2 = p4;
      if (2 * k + 4 < rows) {
        p3 = V::load(s + (2 * k + 3) * stride);
        p4 = V::load(s + (2 * k + 4) * stride);
      } else {
        p3 = at(2 * k + 3);
        p4 = at(2 * k + 4);
      }
    }
  }
  for (int32_t k = 0; k < half; ++k) {
    __builtin_memcpy(p + (half + k) * stride + x0, temp + k * W, sizeof(float) * W);
  }
}

// Blocks of 16 columns (a cache line of each row) while they fit, then of 8,
// 4 and 2; `work` holds half the rows of a block.
template <class Wide>
void forward_columns_direct(float* p, std::ptrdiff_t stride, int32_t rows, int32_t cols,
                            float* work) {
  int32_t x = 0;
  for (; x + 16 <= cols; x += 16)
    forward_column_block_direct<Wide, 16 / Wide::N>(p, stride, rows, x, work);
  if constexpr (Wide::N <= 8) {
    for (; x + 8 <= cols; x += 8)
      forward_column_block_direct<Wide, 8 / Wide::N>(p, stride, rows, x, work);
  }
  if constexpr (Wide::N <= 4) {
    for (; x + 4 <= cols; x += 4)
      forward_column_block_direct<Wide, 4 / Wide::N>(p, stride, rows, x, work);
  }
  for (; x + 2 <= cols; x += 2) forward_column_block_direct<V2, 1>(p, stride, rows, x, work);
}

// ---------------------------------------------------------------------------
// The column passes over rows given by pointer (a run of output pairs of the
// first level, whose input rows sit in work storage): each vector of columns
// swept down the run with the nine samples around an output in registers,
// as in the direct column pass.

template <class V>
inline void analyze_vector(const float* const* in, int32_t pairs, int32_t x, float* const* low,
                           float* const* high, const Taps<V>& t) {
  using D = typename V::D;
  D m4 = V::load(in[0] + x), m3 = V::load(in[1] + x), m2 = V::load(in[2] + x);
  D m1 = V::load(in[3] + x), z = V::load(in[4] + x), p1 = V::load(in[5] + x);
  D p2 = V::load(in[6] + x), p3 = V::load(in[7] + x), p4 = V::load(in[8] + x);
  for (int32_t k = 0;;) {
    V::store(low[k] + x, analysis_low(t, m4, m3, m2, m1, z, p1, p2, p3, p4));
    V::store(high[k] + x, analysis_high(t, m2, m1, z, p1, p2, p3, p4));
    if (++k == pairs) break;
    m4 = m2;
    m3 = m1;
    m2 = z;
    m1 = p1;
    z = p2;
    p1 = p3;
    p2 = p4;
    p3 = V::load(in[2 * k + 7] + x);
    p4 = V::load(in[2 * k + 8] + x);
  }
}

template <class Wide>
void analyze_columns(const float* const* in, int32_t pairs, int32_t n, float* const* low,
                     float* const* high) {
  const Taps<Wide> t;
  int32_t x = 0;
  for (; x + Wide::N <= n; x += Wide::N) analyze_vector<Wide>(in, pairs, x, low, high, t);
  if (x < n) {
    const Taps<V2> t2;
    for (; x < n; x += 2) analyze_vector<V2>(in, pairs, x, low, high, t2);
  }
}

// With kScalarTest (the SSE2 and AVX2 tables), whether the five odd inputs
// are +0 comes from a history of the odd rows as they enter the window, as
// in the in-place column pass.
template <class V, bool kScalarTest>
inline void synthesize_vector(const float* const* in, int32_t pairs, int32_t x, float* const* out,
                              const Taps<V>& t) {
  using D = typename V::D;
  D m3 = V::load(in[0] + x), m2 = V::load(in[1] + x), m1 = V::load(in[2] + x);
  D z = V::load(in[3] + x), p1 = V::load(in[4] + x), p2 = V::load(in[5] + x);
  D p3 = V::load(in[6] + x), p4 = V::load(in[7] + x), p5 = V::load(in[8] + x);
  const D zero = V::set1(0.0);
  uint32_t odd_nonzero = 0;  // bit i: odd input 2 i steps back is not +0
  if constexpr (kScalarTest) {
    for (int i = 0; i <= 8; i += 2) odd_nonzero = odd_nonzero << 1 | !zero_floats<V::N>(in[i] + x);
  }
  for (int32_t k = 0;;) {
    bool odd_zero;
    if constexpr (kScalarTest) {
      odd_zero = (odd_nonzero & 31) == 0;
    } else {
      odd_zero =
          V::all_zero_bits(V::bits_or(V::bits_or(m3, m1), V::bits_or(V::bits_or(p1, p3), p5)));
    }
    if (odd_zero) {
      V::store(out[2 * k] + x, synthesis_even_zero_odd(t, m2, z, p2, zero));
      V::store(out[2 * k + 1] + x, synthesis_odd_zero_odd(t, m2, z, p2, p4, zero));
    } else {
      V::store(out[2 * k] + x, synthesis_even(t, m3, m2, m1, z, p1, p2, p3));
      V::store(out[2 * k + 1] + x, synthesis_odd(t, m3, m2, m1, z, p1, p2, p3, p4, p5));
    }
    if (++k == pairs) break;
    m3 = m1;
    m2 = z;
    m1 = p1;
    z = p2;
    p1 = p3;
    p2 = p4;
    p3 = p5;
    p4 = V::load(in[2 * k + 7] + x);
    p5 = V::load(in[2 * k + 8] + x);
    if constexpr (kScalarTest) {
      odd_nonzero = odd_nonzero << 1 | !zero_floats<V::N>(in[2 * k + 8] + x);
    }
  }
}

template <class Wide, bool kScalarTest = false>
void synthesize_columns(const float* const* in, int32_t pairs, int32_t n, float* const* out) {
  const Taps<Wide> t;
  int32_t x = 0;
  for (; x + Wide::N <= n; x += Wide::N) synthesize_vector<Wide, kScalarTest>(in, pairs, x, out, t);
  if (x < n) {
    const Taps<V2> t2;
    for (; x < n; x += 2) synthesize_vector<V2, kScalarTest>(in, pairs, x, out, t2);
  }
}

// ---------------------------------------------------------------------------
// Row passes: a row is converted once to double precision and split into its
// even samples e and odd samples o, each with two mirrored guard samples at
// either end (the whole-sample extension of the interleaved line). Outputs
// are N at a time along the row, all read from e and o, so the last group may
// overlap the one before it.

// True when all n floats are +0 (every bit clear).
inline bool all_zero_bits(const float* p, int32_t n) {
  uint32_t any = 0;
  for (int32_t j = 0; j < n; ++j) {
    uint32_t bits;
    __builtin_memcpy(&bits, p + j, sizeof bits);
    any |= bits;
  }
  return any == 0;
}

// e and o each have room for two guards before and after h samples.
inline void mirror_halves(double* e, double* o, int32_t h) {
  o[-1] = o[0];         // s[-1] = s[1]
  e[-1] = e[1];         // s[-2] = s[2]
  o[-2] = o[1];         // s[-3] = s[3]
  e[-2] = e[2];         // s[-4] = s[4]
  e[h] = e[h - 1];      // s[n] = s[n - 2]
  o[h] = o[h - 2];      // s[n + 1] = s[n - 3]
  e[h + 1] = e[h - 2];  // s[n + 2] = s[n - 4]
  o[h + 1] = o[h - 3];  // s[n + 3] = s[n - 5]
}

// Runs f(k) for k = 0, N, 2N, ... and, when h is not a multiple of N, once
// more for the last N outputs (h is at least 8, N at most 8).
template <int N, class F>
inline void along(int32_t h, F&& f) {
  int32_t k = 0;
  for (; k + N <= h; k += N) f(k);
  if (k < h) f(h - N);
}

template <class V>
void forward_rows_to(const float* src, std::ptrdiff_t src_stride, int32_t rows, int32_t cols,
                     float* dst, std::ptrdiff_t dst_stride, float* work) {
  const int32_t h = cols / 2;
  double* e = reinterpret_cast<double*>(work) + 8;
  double* o = e + h + 16;
  const Taps<V> t;
  for (int32_t y = 0; y < rows; ++y) {
    const float* in = src + y * src_stride;
    float* row = dst + y * dst_stride;
    along<V::N>(h, [&](int32_t k) { V::split(in + 2 * k, e + k, o + k); });
    mirror_halves(e, o, h);
    along<V::N>(h, [&](int32_t k) {
      const double* a = e + k;
      const double* b = o + k;
      V::store(row + k, analysis_low(t, V::load_d(a - 2), V::load_d(b - 2), V::load_d(a - 1),
                                     V::load_d(b - 1), V::load_d(a), V::load_d(b),
                                     V::load_d(a + 1), V::load_d(b + 1), V::load_d(a + 2)));
    });
    along<V::N>(h, [&](int32_t k) {
      const double* a = e + k;
      const double* b = o + k;
      V::store(row + h + k, analysis_high(t, V::load_d(a - 1), V::load_d(b - 1), V::load_d(a),
                                          V::load_d(b), V::load_d(a + 1), V::load_d(b + 1),
                                          V::load_d(a + 2)));
    });
  }
}

template <class V>
void forward_rows(float* p, std::ptrdiff_t stride, int32_t rows, int32_t cols, float* work) {
  forward_rows_to<V>(p, stride, rows, cols, p, stride, work);
}

// From the rows at src to the rows at dst, which may be the same: each row
// is read whole before its outputs are stored.
template <class V>
void inverse_rows_to(const float* src, std::ptrdiff_t src_stride, int32_t rows, int32_t cols,
                     float* dst, std::ptrdiff_t dst_stride, float* work) {
  const int32_t h = cols / 2;
  double* e = reinterpret_cast<double*>(work) + 8;
  double* o = e + h + 16;
  const Taps<V> t;
  const auto zero = V::set1(0.0);
  for (int32_t y = 0; y < rows; ++y) {
    const float* in = src + y * src_stride;
    float* row = dst + y * dst_stride;
    if (all_zero_bits(in + h, h)) {
      // A row all +0 gives +0 (see the shorter filters).
      if (all_zero_bits(in, h)) {
        if (row != in) std::fill_n(row, cols, 0.0f);
        continue;
      }
      // The high-pass half is all +0: the shorter filters, from e alone.
      along<V::N>(h, [&](int32_t k) { V::store_d(e + k, V::load(in + k)); });
      mirror_halves(e, o, h);
      along<V::N>(h, [&](int32_t k) {
        const double* a = e + k;
        const auto m2 = V::load_d(a - 1), z = V::load_d(a), p2 = V::load_d(a + 1);
        const auto p4 = V::load_d(a + 2);
        V::store_interleaved(row + 2 * k, synthesis_even_zero_odd(t, m2, z, p2, zero),
                             synthesis_odd_zero_odd(t, m2, z, p2, p4, zero));
      });
      continue;
    }
    along<V::N>(h, [&](int32_t k) {
      V::store_d(e + k, V::load(in + k));
      V::store_d(o + k, V::load(in + h + k));
    });
    mirror_halves(e, o, h);
    along<V::N>(h, [&](int32_t k) {
      const double* a = e + k;
      const double* b = o + k;
      const auto m3 = V::load_d(b - 2), m2 = V::load_d(a - 1), m1 = V::load_d(b - 1);
      const auto z = V::load_d(a), p1 = V::load_d(b), p2 = V::load_d(a + 1);
      const auto p3 = V::load_d(b + 1), p4 = V::load_d(a + 2), p5 = V::load_d(b + 2);
      V::store_interleaved(row + 2 * k, synthesis_even(t, m3, m2, m1, z, p1, p2, p3),
                           synthesis_odd(t, m3, m2, m1, z, p1, p2, p3, p4, p5));
    });
  }
}

template <class V>
void inverse_rows(float* p, std::ptrdiff_t stride, int32_t rows, int32_t cols, float* work) {
  inverse_rows_to<V>(p, stride, rows, cols, p, stride, work);
}

// The same row passes with the low-pass and high-pass outputs of a position
// filtered together, from the nine samples they share: loaded once, each
// used by both filters.
template <class V>
void forward_rows_merged_to(const float* src, std::ptrdiff_t src_stride, int32_t rows,
                            int32_t cols, float* dst, std::ptrdiff_t dst_stride, float* work) {
  using D = typename V::D;
  const int32_t h = cols / 2;
  double* e = reinterpret_cast<double*>(work) + 8;
  double* o = e + h + 16;
  const Taps<V> t;
  for (int32_t y = 0; y < rows; ++y) {
    const float* in = src + y * src_stride;
    float* row = dst + y * dst_stride;
    along<V::N>(h, [&](int32_t k) { V::split(in + 2 * k, e + k, o + k); });
    mirror_halves(e, o, h);
    along<V::N>(h, [&](int32_t k) {
      const double* a = e + k;
      const double* b = o + k;
      const D m2 = V::load_d(a - 1), m1 = V::load_d(b - 1), z = V::load_d(a);
      const D p1 = V::load_d(b), p2 = V::load_d(a + 1), p3 = V::load_d(b + 1);
      const D p4 = V::load_d(a + 2);
      V::store(row + k,
               analysis_low(t, V::load_d(a - 2), V::load_d(b - 2), m2, m1, z, p1, p2, p3, p4));
      V::store(row + h + k, analysis_high(t, m2, m1, z, p1, p2, p3, p4));
    });
  }
}

template <class V>
void forward_rows_merged(float* p, std::ptrdiff_t stride, int32_t rows, int32_t cols, float* work) {
  forward_rows_merged_to<V>(p, stride, rows, cols, p, stride, work);
}

// ---------------------------------------------------------------------------

// The AVX-512 table keeps the kernels it was measured with (register-window
// column passes, separate low-pass and high-pass row loops and the compiler's
// maxima loop); the SSE2 and AVX2 tables take the kernels above that were
// measured faster on their machines.
template <class Wide>
constexpr Table make_table(const char* name, Isa isa) {
  Table t{name,
          isa,
          load_pixels_row,
          pixel_sums_row,
          colour_pixels<Wide>,
          forward_colour<Wide>,
          inverse_colour<Wide>,
          colour_out<Wide, 4>,
          colour_out<Wide, 3>,
          block_max_row,
          forward_columns<Wide>,
          forward_rows<Wide>,
          inverse_rows<Wide>,
          inverse_columns<Wide>,
          analyze_columns<Wide>,
          synthesize_columns<Wide>,
          forward_rows_to<Wide>,
          inverse_rows_to<Wide>};
  if constexpr (Wide::N < 8) {
    t.colour_pixels = colour_pixels_in_stages<Wide>;
    t.forward_colour = forward_colour_in_stages<Wide>;
    t.inverse_colour = inverse_colour_in_stages<Wide>;
    t.colour_cells = colour_out_in_stages<Wide, 4>;
    t.colour_rgb = colour_out_in_stages<Wide, 3>;
    t.forward_columns = forward_columns_direct<Wide>;
    t.forward_rows = forward_rows_merged<Wide>;
    t.forward_rows_to = forward_rows_merged_to<Wide>;
    t.inverse_columns = inverse_columns<Wide, true>;
    t.synthesize_columns = synthesize_columns<Wide, true>;
  }
  if constexpr (Wide::N == 2) t.block_max = block_max_sse2;
#if defined(__AVX2__)
  if constexpr (Wide::N == 4) {
    t.load_row = load_pixels_avx2;
    t.pixel_sums = pixel_sums_avx2;
    t.block_max = block_max_avx2;
  }
#endif
  return t;
}

}  // namespace
}  // namespace quarn::kernels

#endif  // QUARN_IMAGE_KERNELS_X86_H
