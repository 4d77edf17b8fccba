// Image_3C: the codec's three-plane single-precision image.
//
// Each plane is `codeRows` x `codeCols` samples, reached through an array of
// row pointers. The coding size is the logical size (`rows` x `cols`) rounded
// up so that the wavelet transform can halve it; the encoder fills the extra
// border by extension, the decoder reconstructs it and drops it on output.
//
// `levels` tells what the planes hold: -1 no storage, 0 samples in the pixel
// or colour domain, n > 0 wavelet coefficients of n levels. Storage is kept
// from one frame to the next while the logical size stays the same.
#ifndef QUARN_IMAGE_IMAGE_3C_H
#define QUARN_IMAGE_IMAGE_3C_H

#include <cstddef>
#include <cstdint>

#include "image/big_buffer.h"

namespace quarn {

class Image_3C {
 public:
  Image_3C() = default;
  ~Image_3C() { Release(); }
  Image_3C(const Image_3C&) = delete;
  Image_3C& operator=(const Image_3C&) = delete;

  // Storage and state (image_3c.cpp).
  void Allocate(int32_t rows, int32_t cols);
  void Release();
  // `known_zero`: the caller knows that every sample is already zero (as
  // WriteCells leaves them), so they need not be cleared again.
  void ResetCoefficients(int32_t rows, int32_t cols, bool known_zero = false);
  void SelectColor(unsigned k);
  static int32_t LevelCount(int32_t n);
  // Coding size for a logical size: 0 when the size is refused (below 8, or
  // too large for the 14 bits the coding size is held in).
  static int32_t CodingSize(int32_t n);

  // Encoder side, in the order the encoding pipeline runs them. The pixels
  // are packed 3-byte pixels (colours 0, 1, 2), row r at pixels + r * stride.
  // Measure allocates for (rows, cols), sets `levels` to 0, gathers the
  // colour statistics and runs Jacobi (image_read.cpp, jacobi.cpp).
  // ExtendBorders loads the last row and column and extends the border of
  // all three planes from them (image_read.cpp, border.cpp). BeginTransform
  // checks the state and size and fixes the level count
  // (wavelet_forward.cpp). ColourPixels writes the forward colour transform
  // of the pixels into the logical area, and of the border samples into the
  // border (colour_forward.cpp). TransformPlane then runs the wavelet
  // transform on each plane (wavelet_forward.cpp).
  void Measure(const uint8_t* pixels, std::ptrdiff_t stride, int32_t rows, int32_t cols);
  void Jacobi(double sum[3], double prod[3][3]);
  void ExtendBorders(const uint8_t* pixels, std::ptrdiff_t stride);
  void ExtendBorder(unsigned color);
  void BeginTransform();
  void ColourPixels(const uint8_t* pixels, std::ptrdiff_t stride);
  void TransformPlane(float** p);

  // Decoder side: after ResetCoefficients and the SPIHT decoder, RecoverPlane
  // on each plane (wavelet_inverse.cpp), then the inverse colour transform of
  // the logical area straight into 4-byte cells (255, then colours 0, 1, 2)
  // or packed 3-byte pixels, row r at out + r * out_stride
  // (colour_inverse.cpp). Writing leaves every sample zero, ready for the
  // next image of this size, and `levels` 0.
  void RecoverPlane(float** p);
  void WriteCells(uint8_t* out, std::ptrdiff_t out_stride);
  void WriteRgb(uint8_t* out, std::ptrdiff_t out_stride);

  int32_t rows = 0;
  int32_t cols = 0;
  int32_t codeRows = 0;
  int32_t codeCols = 0;
  int32_t levels = -1;
  int32_t mean[3] = {0, 0, 0};
  float matrix[3][3] = {};
  // Line buffer: at least max(codeRows, codeCols) + 8 samples, and the work
  // storage of the wavelet kernels.
  float* lineStore = nullptr;
  float* line = nullptr;       // lineStore + 4: four guard samples each side
  float** current = nullptr;   // plane chosen by SelectColor
  float** plane[3] = {nullptr, nullptr, nullptr};
  // The three planes lie in one block, each plane's rows `stride` samples
  // apart (an odd number of 64-byte lines) and the planes `planeSamples`
  // apart, all rows 64-byte aligned:
  // plane[k][y] == plane[0][0] + k * planeSamples + y * stride.
  std::ptrdiff_t stride = 0;
  std::ptrdiff_t planeSamples = 0;

 private:
  // Allocate's work; true when it made new storage that is known to be zero.
  bool AllocateStorage(int32_t rows, int32_t cols);
  // WriteCells (4 bytes a pixel) or WriteRgb (3).
  void WritePixels(uint8_t* out, std::ptrdiff_t out_stride, int bytes);

  BigBuffer samples_;
  BigBuffer work_;
};

}  // namespace quarn

#endif  // QUARN_IMAGE_IMAGE_3C_H
