// The integer kernels on packed 3-byte pixels, written as plain loops that
// the compiler vectorises for whichever instruction set a file is compiled
// with (kernels_scalar.cpp and the SIMD files include this). Integer sums
// are exact in any order, so every version gives the same sums. Everything
// here has internal linkage.
#ifndef QUARN_IMAGE_PIXEL_KERNELS_H
#define QUARN_IMAGE_PIXEL_KERNELS_H

#include <cstdint>

#include "image/kernels.h"

namespace quarn::kernels {
namespace {

// Row sums in 32 bits: a row has at most 8192 pixels, and 8192 x 255^2 is
// below 2^32.
struct RowSums {
  uint32_t s0 = 0, s1 = 0, s2 = 0, q00 = 0, q01 = 0, q02 = 0, q11 = 0, q12 = 0, q22 = 0;

  void add_to(PixelSums* sums) const {
    sums->sum[0] += s0;
    sums->sum[1] += s1;
    sums->sum[2] += s2;
    sums->prod[0] += q00;
    sums->prod[1] += q01;
    sums->prod[2] += q02;
    sums->prod[3] += q11;
    sums->prod[4] += q12;
    sums->prod[5] += q22;
  }
};

inline void pixel_sums_row(const uint8_t* px, int32_t n, PixelSums* sums) {
  RowSums r;
  for (int32_t j = 0; j < n; ++j) {
    const uint32_t c0 = px[3 * j], c1 = px[3 * j + 1], c2 = px[3 * j + 2];
    r.s0 += c0;
    r.s1 += c1;
    r.s2 += c2;
    r.q00 += c0 * c0;
    r.q01 += c0 * c1;
    r.q02 += c0 * c2;
    r.q11 += c1 * c1;
    r.q12 += c1 * c2;
    r.q22 += c2 * c2;
  }
  r.add_to(sums);
}

inline void load_pixels_row(const uint8_t* px, int32_t n, float* p0, float* p1, float* p2,
                            PixelSums* sums) {
  for (int32_t j = 0; j < n; ++j) {
    p0[j] = static_cast<float>(px[3 * j]);
    p1[j] = static_cast<float>(px[3 * j + 1]);
    p2[j] = static_cast<float>(px[3 * j + 2]);
  }
  pixel_sums_row(px, n, sums);
}

// Each byte less its colour's integer mean, as a float: exactly what the
// forward colour transform's first step gives for a loaded pixel.
inline void centred_pixels(const uint8_t* px, int32_t n, const int32_t mean[3], float* x0,
                           float* x1, float* x2) {
  const int32_t m0 = mean[0], m1 = mean[1], m2 = mean[2];
  for (int32_t j = 0; j < n; ++j) {
    x0[j] = static_cast<float>(px[3 * j] - m0);
    x1[j] = static_cast<float>(px[3 * j + 1] - m1);
    x2[j] = static_cast<float>(px[3 * j + 2] - m2);
  }
}

// Maxima are exact whatever the order, and `a < b ? b : a` on magnitudes
// (no not-a-number, no -0) is what a vector maximum gives.
inline float larger(float a, float b) { return a < b ? b : a; }

inline void block_max_row(const float* c0, const float* c1, const float* m0, const float* m1,
                          float* out, int32_t x0, int32_t x1) {
  if (m0 == nullptr) {
    for (int32_t x = x0; x < x1; ++x) {
      out[x] = larger(larger(__builtin_fabsf(c0[2 * x]), __builtin_fabsf(c0[2 * x + 1])),
                      larger(__builtin_fabsf(c1[2 * x]), __builtin_fabsf(c1[2 * x + 1])));
    }
    return;
  }
  for (int32_t x = x0; x < x1; ++x) {
    const float a = larger(larger(__builtin_fabsf(c0[2 * x]), m0[2 * x]),
                           larger(__builtin_fabsf(c0[2 * x + 1]), m0[2 * x + 1]));
    const float b = larger(larger(__builtin_fabsf(c1[2 * x]), m1[2 * x]),
                           larger(__builtin_fabsf(c1[2 * x + 1]), m1[2 * x + 1]));
    out[x] = larger(a, b);
  }
}

}  // namespace
}  // namespace quarn::kernels

#endif  // QUARN_IMAGE_PIXEL_KERNELS_H
