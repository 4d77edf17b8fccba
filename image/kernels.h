// The table of speed-critical kernels: loading pixels, the colour transforms,
// the wavelet passes and the output cells, in a scalar version (the reference)
// and SIMD versions for SSE2, AVX2 and AVX-512. Every version computes the
// same operations in the same order for each output, in double precision,
// without fused multiply-adds, so all of them give identical bytes.
//
// The codec uses the widest table that the processor and the build support,
// unless cap_isa() has set a narrower limit (to measure or test the narrower
// paths on a wider machine, and for the tool's --no-simd). Change the cap
// between frames, never during one.
#ifndef QUARN_IMAGE_KERNELS_H
#define QUARN_IMAGE_KERNELS_H

#include <cstddef>
#include <cstdint>

namespace quarn::kernels {

enum class Isa { kScalar, kSse2, kAvx2, kAvx512 };

// Columns that one block of a column pass spans at most.
inline constexpr int32_t kBlockColumns = 32;

// Floats of work storage that the wavelet passes need for a region whose
// longer side is `side` samples.
inline std::size_t work_floats(int32_t side) {
  return (static_cast<std::size_t>(side) + 16) * kBlockColumns;
}

// Colour parameters as the transforms use them.
struct Colour {
  int32_t mean[3];
  float matrix[3][3];  // [e][r]: row e is eigenvector e
};

// Sums over pixels: the three byte sums, then the products 00, 01, 02, 11,
// 12, 22 of the bytes of each pixel.
struct PixelSums {
  uint64_t sum[3];
  uint64_t prod[6];
};

struct Table {
  const char* name;
  Isa isa;

  // Pixels: n packed 3-byte pixels into three float rows, adding the bytes
  // and their products to `sums`.
  void (*load_row)(const uint8_t* rgb, int32_t n, float* p0, float* p1, float* p2,
                   PixelSums* sums);
  // The same sums without storing the pixels.
  void (*pixel_sums)(const uint8_t* rgb, int32_t n, PixelSums* sums);
  // The forward colour transform of n packed pixels into three float rows:
  // the same values as loading them and running forward_colour. `work`
  // holds 3 n + 48 floats.
  void (*colour_pixels)(const uint8_t* rgb, int32_t n, float* p0, float* p1, float* p2,
                        const Colour& c, float* work);

  // Forward colour transform of n samples of each plane, in place.
  void (*forward_colour)(float* p0, float* p1, float* p2, int32_t n, const Colour& c);
  // Inverse colour transform, rounding and clamping, in place.
  void (*inverse_colour)(float* p0, float* p1, float* p2, int32_t n, const Colour& c);
  // Inverse colour transform into n output cells of 4 bytes (255, then the
  // three colours); the planes are left unchanged, or set to zero when
  // `clear` is true.
  void (*colour_cells)(float* p0, float* p1, float* p2, int32_t n, const Colour& c,
                       uint8_t* cells, bool clear);
  // The same into n packed 3-byte pixels (r, g, b).
  void (*colour_rgb)(float* p0, float* p1, float* p2, int32_t n, const Colour& c,
                     uint8_t* rgb, bool clear);

  // Descendant maxima of a row of members x0 .. x1 - 1: out[x] is the
  // largest of |c0[2x]|, |c0[2x+1]|, |c1[2x]|, |c1[2x+1]| and, unless m0 is
  // null, of m0[2x], m0[2x+1], m1[2x], m1[2x+1] (maxima, never negative).
  void (*block_max)(const float* c0, const float* c1, const float* m0, const float* m1,
                    float* out, int32_t x0, int32_t x1);

  // One level of the wavelet transforms on the top-left rows x cols region of
  // a plane (rows and cols even, at least 16). `work` holds work_floats() of
  // the longer side.
  void (*forward_columns)(float* p, std::ptrdiff_t stride, int32_t rows, int32_t cols,
                          float* work);
  void (*forward_rows)(float* p, std::ptrdiff_t stride, int32_t rows, int32_t cols,
                       float* work);
  void (*inverse_rows)(float* p, std::ptrdiff_t stride, int32_t rows, int32_t cols,
                       float* work);
  void (*inverse_columns)(float* p, std::ptrdiff_t stride, int32_t rows, int32_t cols,
                          float* work);

  // The column passes of one level over rows given by pointer, for a run of
  // `pairs` output pairs k0 .. k0 + pairs - 1 of columns 0 .. n - 1 (n even);
  // rows past either end of a line are given as the rows they mirror.
  // Analysis: in[i] is line sample 2 k0 - 4 + i (i < 2 pairs + 7); low-pass
  // output k0 + k goes to low[k], high-pass to high[k].
  void (*analyze_columns)(const float* const* in, int32_t pairs, int32_t n, float* const* low,
                          float* const* high);
  // Synthesis: in[i] is interleaved sample 2 k0 - 3 + i (i < 2 pairs + 7);
  // outputs 2 (k0 + k) and 2 (k0 + k) + 1 go to out[2 k] and out[2 k + 1].
  void (*synthesize_columns)(const float* const* in, int32_t pairs, int32_t n,
                             float* const* out);
  // forward_rows and inverse_rows reading `rows` rows at src and writing
  // them at dst (which may be src).
  void (*forward_rows_to)(const float* src, std::ptrdiff_t src_stride, int32_t rows,
                          int32_t cols, float* dst, std::ptrdiff_t dst_stride, float* work);
  void (*inverse_rows_to)(const float* src, std::ptrdiff_t src_stride, int32_t rows,
                          int32_t cols, float* dst, std::ptrdiff_t dst_stride, float* work);
};

// The table the codec uses: the widest available within the cap.
const Table& active();

// The table of one instruction set, or nullptr when this processor or this
// build lacks it. The scalar table is always there.
const Table* for_isa(Isa isa);

// Limits the codec to `isa` and narrower: the widest available table up to
// it becomes active. A cap above what the processor has changes nothing;
// kAvx512 lifts the cap.
void cap_isa(Isa isa);

// The scalar kernels alone (on) or the cap lifted (off).
inline void force_scalar(bool on) { cap_isa(on ? Isa::kScalar : Isa::kAvx512); }

// "scalar", "sse2", "avx2" or "avx512", and back; false for other names.
const char* isa_name(Isa isa);
bool isa_from_name(const char* name, Isa* isa);

// The tables of each instruction set (kernels_*.cpp).
extern const Table kScalarTable;
#if defined(QUARN_HAVE_X86_KERNELS)
extern const Table kSse2Table;
extern const Table kAvx2Table;
extern const Table kAvx512Table;
#endif

}  // namespace quarn::kernels

#endif  // QUARN_IMAGE_KERNELS_H
