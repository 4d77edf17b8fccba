#include "tools/png_filter.h"

#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quarn {

namespace {

constexpr std::size_t kPixelBytes = 3;

// The predictor of the PNG format: whichever of left, above and above-left
// is nearest to left + above - above-left, preferring them in that order.
inline uint8_t paeth_predictor(int left, int up, int up_left) {
  const int pa = std::abs(up - up_left);             // |p - left|
  const int pb = std::abs(left - up_left);           // |p - up|
  const int pc = std::abs(left + up - 2 * up_left);  // |p - up_left|
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(left);
  if (pb <= pc) return static_cast<uint8_t>(up);
  return static_cast<uint8_t>(up_left);
}

// Above a row of zeros the predictor is the byte to the left: Sub.
void filter_first_row(const uint8_t* row, std::size_t bytes, uint8_t* out) {
  for (std::size_t i = 0; i < bytes && i < kPixelBytes; ++i) out[i] = row[i];
  for (std::size_t i = kPixelBytes; i < bytes; ++i) {
    out[i] = static_cast<uint8_t>(row[i] - row[i - kPixelBytes]);
  }
}

void filter_scalar_from(const uint8_t* row, const uint8_t* above, std::size_t from,
                        std::size_t bytes, uint8_t* out) {
  for (std::size_t i = from; i < bytes; ++i) {
    out[i] = static_cast<uint8_t>(
        row[i] - paeth_predictor(row[i - kPixelBytes], above[i], above[i - kPixelBytes]));
  }
}

}  // namespace

void paeth_filter_row_scalar(const uint8_t* row, const uint8_t* above, std::size_t bytes,
                             uint8_t* out) {
  if (above == nullptr) {
    filter_first_row(row, bytes, out);
    return;
  }
  // The first pixel has nothing to its left: its predictor is the byte above.
  for (std::size_t i = 0; i < bytes && i < kPixelBytes; ++i) {
    out[i] = static_cast<uint8_t>(row[i] - above[i]);
  }
  filter_scalar_from(row, above, kPixelBytes, bytes, out);
}

void paeth_filter_row(const uint8_t* row, const uint8_t* above, std::size_t bytes, uint8_t* out) {
#if defined(__SSE2__)
  if (above == nullptr) {
    filter_first_row(row, bytes, out);
    return;
  }
  for (std::size_t i = 0; i < bytes && i < kPixelBytes; ++i) {
    out[i] = static_cast<uint8_t>(row[i] - above[i]);
  }
  // The filter reads the unfiltered picture only, so every byte is
  // independent of the others: eight at a time in 16-bit lanes, with the
  // scalar comparisons and the same preference order.
  const __m128i zero = _mm_setzero_si128();
  const __m128i low_bytes = _mm_set1_epi16(0xFF);
  const auto load8 = [&](const uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
  };
  const auto magnitude = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
  std::size_t i = kPixelBytes;
  for (; i + 8 <= bytes; i += 8) {
    const __m128i left = load8(row + i - kPixelBytes);
    const __m128i up = load8(above + i);
    const __m128i up_left = load8(above + i - kPixelBytes);
    const __m128i pa = magnitude(_mm_sub_epi16(up, up_left));
    const __m128i pb = magnitude(_mm_sub_epi16(left, up_left));
    const __m128i pc =
        magnitude(_mm_sub_epi16(_mm_add_epi16(left, up), _mm_add_epi16(up_left, up_left)));
    const __m128i not_left = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
    const __m128i not_up = _mm_cmpgt_epi16(pb, pc);
    const __m128i up_or_up_left =
        _mm_or_si128(_mm_and_si128(not_up, up_left), _mm_andnot_si128(not_up, up));
    const __m128i predictor =
        _mm_or_si128(_mm_and_si128(not_left, up_or_up_left), _mm_andnot_si128(not_left, left));
    const __m128i difference = _mm_and_si128(_mm_sub_epi16(load8(row + i), predictor), low_bytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(difference, zero));
  }
  filter_scalar_from(row, above, i, bytes, out);
#else
  paeth_filter_row_scalar(row, above, bytes, out);
#endif
}

}  // namespace quarn
