// The 9/7 biorthogonal filter pair and its one-dimensional kernels.
//
// Every output is evaluated left to right as written below: the pair sums
// first, every product and sum in double precision, one rounding to single
// precision on store. These scalar kernels are the reference that any faster
// variant must reproduce bit for bit.
#ifndef QUARN_IMAGE_WAVELET_KERNELS_H
#define QUARN_IMAGE_WAVELET_KERNELS_H

#include <cstddef>
#include <cstdint>

namespace quarn::wavelet {

// Tap magnitudes, each the single-precision number nearest to the decimal.
// a: analysis low-pass (synthesis high-pass); b: analysis high-pass.
inline constexpr double a0 = 0.852699f;
inline constexpr double a1 = 0.377403f;
inline constexpr double a2 = 0.110624f;
inline constexpr double a3 = 0.023849f;
inline constexpr double a4 = 0.037829f;
inline constexpr double b0 = 0.788485f;
inline constexpr double b1 = 0.418092f;
inline constexpr double b2 = 0.04069f;
inline constexpr double b3 = 0.064539f;

// Whole-sample symmetric extension of the line first .. last: for i = 1 .. 4
// in turn, first[-i] = first[i] and last[i] = last[-i]; the end samples
// themselves are not repeated.
inline void mirror_line(float* first, float* last) {
  for (int i = 1; i <= 4; ++i) {
    first[-i] = first[i];
    last[i] = last[-i];
  }
}

// The analysis outputs around sample c[0] of a line, from c[-4] .. c[4]:
// `Line` is a pointer into the line, or anything indexed the same way.
template <class Line>
inline double analysis_low_at(const Line& c) {
  return (static_cast<double>(c[-1]) + c[1]) * a1 + c[0] * a0 -
         (static_cast<double>(c[-2]) + c[2]) * a2 - (static_cast<double>(c[-3]) + c[3]) * a3 +
         (static_cast<double>(c[-4]) + c[4]) * a4;
}
template <class Line>
inline double analysis_high_at(const Line& c) {
  return c[1] * b0 - (static_cast<double>(c[0]) + c[2]) * b1 -
         (static_cast<double>(c[-1]) + c[3]) * b2 + (static_cast<double>(c[-2]) + c[4]) * b3;
}

// The synthesis outputs at c[0] (even) and c[1] (odd) of an interleaved
// line, from c[-3] .. c[5].
template <class Line>
inline double synthesis_even_at(const Line& c) {
  return c[0] * b0 - (static_cast<double>(c[-1]) + c[1]) * a1 -
         (static_cast<double>(c[-2]) + c[2]) * b2 + (static_cast<double>(c[-3]) + c[3]) * a3;
}
template <class Line>
inline double synthesis_odd_at(const Line& c) {
  return (static_cast<double>(c[0]) + c[2]) * b1 + c[1] * a0 -
         (static_cast<double>(c[-1]) + c[3]) * a2 - (static_cast<double>(c[-2]) + c[4]) * b3 +
         (static_cast<double>(c[-3]) + c[5]) * a4;
}

// Analysis of the line s[0 .. 2*half-1], whose four guard samples on each side
// are in place. Low-pass output k goes to low[k*step], high-pass output k to
// high[k*step].
inline void analyze_line(const float* s, int32_t half, float* low, float* high,
                         std::ptrdiff_t step) {
  for (int32_t k = 0; k < half; ++k) {
    const float* c = s + 2 * k;
    low[k * step] = static_cast<float>(analysis_low_at(c));
    high[k * step] = static_cast<float>(analysis_high_at(c));
  }
}

// Synthesis of the interleaved line t[0 .. 2*half-1] (low-pass samples at even
// positions, high-pass at odd), guard samples in place. Output sample i goes
// to out[i*step].
inline void synthesize_line(const float* t, int32_t half, float* out,
                            std::ptrdiff_t step) {
  for (int32_t k = 0; k < half; ++k) {
    const float* c = t + 2 * k;
    out[(2 * k) * step] = static_cast<float>(synthesis_even_at(c));
    out[(2 * k + 1) * step] = static_cast<float>(synthesis_odd_at(c));
  }
}

// Column x of rows given by pointer, indexed like a line: (*this)[i] is
// rows[i][x], i from the row `rows` points at.
struct ColumnOfRows {
  const float* const* rows;
  int32_t x;
  float operator[](int i) const { return rows[i][x]; }
};

}  // namespace quarn::wavelet

#endif  // QUARN_IMAGE_WAVELET_KERNELS_H
