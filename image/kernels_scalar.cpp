// The scalar kernels: the reference that every SIMD version reproduces.
//
// The wavelet passes run the line kernels of wavelet_kernels.h. Columns are
// gathered a block at a time into lines of the work storage, so that each
// cache line of the plane is read once per block rather than once per column.
#include <algorithm>
#include <cstring>

#include "image/kernels.h"
#include "image/pixel_kernels.h"
#include "image/wavelet_kernels.h"

namespace quarn::kernels {

namespace {

// Mean removal, then projection onto the matrix rows, each partial sum
// rounded to single precision. With x0, x1, x2 given, the samples less the
// means are read from them instead (they are exact there: byte values less
// integer means), and only written to p0, p1, p2.
void forward_colour_centred(float* p0, float* p1, float* p2, int32_t n, const Colour& c,
                            const float* x0, const float* x1, const float* x2) {
  const double m[3] = {static_cast<double>(c.mean[0]), static_cast<double>(c.mean[1]),
                       static_cast<double>(c.mean[2])};
  for (int32_t j = 0; j < n; ++j) {
    const float x[3] = {x0 ? x0[j] : static_cast<float>(p0[j] - m[0]),
                        x1 ? x1[j] : static_cast<float>(p1[j] - m[1]),
                        x2 ? x2[j] : static_cast<float>(p2[j] - m[2])};
    float y[3];
    for (int e = 0; e < 3; ++e) {
      float acc = static_cast<float>(0.0 + static_cast<double>(c.matrix[e][0]) * x[0]);
      acc = static_cast<float>(acc + static_cast<double>(c.matrix[e][1]) * x[1]);
      acc = static_cast<float>(acc + static_cast<double>(c.matrix[e][2]) * x[2]);
      y[e] = acc;
    }
    p0[j] = y[0];
    p1[j] = y[1];
    p2[j] = y[2];
  }
}

void forward_colour(float* p0, float* p1, float* p2, int32_t n, const Colour& c) {
  forward_colour_centred(p0, p1, p2, n, c, nullptr, nullptr, nullptr);
}

void colour_pixels(const uint8_t* rgb, int32_t n, float* p0, float* p1, float* p2,
                   const Colour& c, float* work) {
  float* x0 = work;
  float* x1 = x0 + n + 16;
  float* x2 = x1 + n + 16;
  centred_pixels(rgb, n, c.mean, x0, x1, x2);
  forward_colour_centred(p0, p1, p2, n, c, x0, x1, x2);
}

// mean + (s + 0.499) truncated toward zero, then clamped to 0..255. Values
// that cannot be represented, and not-a-number, clamp without conversion.
inline int32_t colour_value(double mean, float s) {
  const double v = mean + (static_cast<double>(s) + 0.499);
  if (v >= 255.0) return 255;
  if (v > 0.0) return static_cast<int32_t>(v);
  return 0;
}

// The transpose of the matrix applied to (a, b, c), then the rounding rule.
inline void inverse_pixel(const Colour& c, const double m[3], double a, double b, double d,
                          int32_t out[3]) {
  for (int k = 0; k < 3; ++k) {
    float s = static_cast<float>(0.0 + c.matrix[0][k] * a);
    s = static_cast<float>(s + c.matrix[1][k] * b);
    s = static_cast<float>(s + c.matrix[2][k] * d);
    out[k] = colour_value(m[k], s);
  }
}

void inverse_colour(float* p0, float* p1, float* p2, int32_t n, const Colour& c) {
  const double m[3] = {static_cast<double>(c.mean[0]), static_cast<double>(c.mean[1]),
                       static_cast<double>(c.mean[2])};
  for (int32_t j = 0; j < n; ++j) {
    int32_t out[3];
    inverse_pixel(c, m, p0[j], p1[j], p2[j], out);
    p0[j] = static_cast<float>(out[0]);
    p1[j] = static_cast<float>(out[1]);
    p2[j] = static_cast<float>(out[2]);
  }
}

// Into 4-byte cells (255, r, g, b) when kBytes is 4, else 3-byte pixels.
template <int kBytes>
void colour_out(float* p0, float* p1, float* p2, int32_t n, const Colour& c, uint8_t* pixels,
                bool clear) {
  const double m[3] = {static_cast<double>(c.mean[0]), static_cast<double>(c.mean[1]),
                       static_cast<double>(c.mean[2])};
  for (int32_t j = 0; j < n; ++j, pixels += kBytes) {
    int32_t out[3];
    inverse_pixel(c, m, p0[j], p1[j], p2[j], out);
    uint8_t* rgb = pixels;
    if constexpr (kBytes == 4) *rgb++ = 255;
    rgb[0] = static_cast<uint8_t>(out[0]);
    rgb[1] = static_cast<uint8_t>(out[1]);
    rgb[2] = static_cast<uint8_t>(out[2]);
  }
  if (clear) {
    std::fill_n(p0, n, 0.0f);
    std::fill_n(p1, n, 0.0f);
    std::fill_n(p2, n, 0.0f);
  }
}

// Each block of columns is gathered into one line per column, each line with
// four guard samples on either side.
void forward_columns(float* p, std::ptrdiff_t stride, int32_t rows, int32_t cols, float* work) {
  const std::ptrdiff_t span = rows + 8;
  const int32_t half = rows / 2;
  for (int32_t x0 = 0; x0 < cols; x0 += kBlockColumns) {
    const int32_t w = std::min(kBlockColumns, cols - x0);
    for (int32_t y = 0; y < rows; ++y) {
      const float* src = p + y * stride + x0;
      for (int32_t j = 0; j < w; ++j) work[j * span + 4 + y] = src[j];
    }
    for (int32_t j = 0; j < w; ++j) {
      float* line = work + j * span + 4;
      wavelet::mirror_line(line, line + rows - 1);
      wavelet::analyze_line(line, half, p + x0 + j, p + half * stride + x0 + j, stride);
    }
  }
}

void forward_rows_to(const float* src, std::ptrdiff_t src_stride, int32_t rows, int32_t cols,
                     float* dst, std::ptrdiff_t dst_stride, float* work) {
  float* line = work + 4;
  for (int32_t y = 0; y < rows; ++y) {
    float* row = dst + y * dst_stride;
    std::memcpy(line, src + y * src_stride, sizeof(float) * static_cast<std::size_t>(cols));
    wavelet::mirror_line(line, line + cols - 1);
    wavelet::analyze_line(line, cols / 2, row, row + cols / 2, 1);
  }
}

void forward_rows(float* p, std::ptrdiff_t stride, int32_t rows, int32_t cols, float* work) {
  forward_rows_to(p, stride, rows, cols, p, stride, work);
}

void inverse_rows_to(const float* src, std::ptrdiff_t src_stride, int32_t rows, int32_t cols,
                     float* dst, std::ptrdiff_t dst_stride, float* work) {
  float* line = work + 4;
  const int32_t half = cols / 2;
  for (int32_t y = 0; y < rows; ++y) {
    const float* row = src + y * src_stride;
    for (int32_t k = 0; k < half; ++k) {
      line[2 * k] = row[k];
      line[2 * k + 1] = row[half + k];
    }
    wavelet::mirror_line(line, line + cols - 1);
    wavelet::synthesize_line(line, half, dst + y * dst_stride, 1);
  }
}

void inverse_rows(float* p, std::ptrdiff_t stride, int32_t rows, int32_t cols, float* work) {
  inverse_rows_to(p, stride, rows, cols, p, stride, work);
}

// The column passes over rows given by pointer: each output from the column
// of its nine rows, as from a gathered line.
void analyze_columns(const float* const* in, int32_t pairs, int32_t n, float* const* low,
                     float* const* high) {
  for (int32_t k = 0; k < pairs; ++k) {
    for (int32_t x = 0; x < n; ++x) {
      const wavelet::ColumnOfRows c{in + 2 * k + 4, x};
      low[k][x] = static_cast<float>(wavelet::analysis_low_at(c));
      high[k][x] = static_cast<float>(wavelet::analysis_high_at(c));
    }
  }
}

void synthesize_columns(const float* const* in, int32_t pairs, int32_t n, float* const* out) {
  for (int32_t k = 0; k < pairs; ++k) {
    for (int32_t x = 0; x < n; ++x) {
      const wavelet::ColumnOfRows c{in + 2 * k + 3, x};
      out[2 * k][x] = static_cast<float>(wavelet::synthesis_even_at(c));
      out[2 * k + 1][x] = static_cast<float>(wavelet::synthesis_odd_at(c));
    }
  }
}

void inverse_columns(float* p, std::ptrdiff_t stride, int32_t rows, int32_t cols, float* work) {
  const std::ptrdiff_t span = rows + 8;
  const int32_t half = rows / 2;
  for (int32_t x0 = 0; x0 < cols; x0 += kBlockColumns) {
    const int32_t w = std::min(kBlockColumns, cols - x0);
    for (int32_t k = 0; k < half; ++k) {
      const float* low = p + k * stride + x0;
      const float* high = p + (half + k) * stride + x0;
      for (int32_t j = 0; j < w; ++j) {
        work[j * span + 4 + 2 * k] = low[j];
        work[j * span + 5 + 2 * k] = high[j];
      }
    }
    for (int32_t j = 0; j < w; ++j) {
      float* line = work + j * span + 4;
      wavelet::mirror_line(line, line + rows - 1);
      wavelet::synthesize_line(line, half, p + x0 + j, stride);
    }
  }
}

}  // namespace

extern const Table kScalarTable = {
    "scalar",        Isa::kScalar,    load_pixels_row, pixel_sums_row,     colour_pixels,
    forward_colour,  inverse_colour,  colour_out<4>,   colour_out<3>,      block_max_row,
    forward_columns, forward_rows,    inverse_rows,    inverse_columns,    analyze_columns,
    synthesize_columns, forward_rows_to, inverse_rows_to,
};

}  // namespace quarn::kernels
