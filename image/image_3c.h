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

namespace kernels {
struct Colour;
}  // namespace kernels

// Whom ColourFirstLevel tells of the rows it has finished (see there).
struct RowPairsDone {
  void (*call)(void* context, int plane, int32_t y0, int32_t y1) = nullptr;
  void* context = nullptr;
};

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

  // The pipelines' way to the same planes and pixels, in fewer sweeps over
  // memory and on `threads` threads.
  //
  // Encoder, after Measure and BeginTransform (no ExtendBorders):
  // ColourFirstLevel writes the first wavelet level of the colour transform
  // of the pixels and of their border, working down bands of rows in which
  // the colour rows, the column pass and the row pass stay in the caches
  // (first_level_forward.cpp); TransformDeeper then runs the other levels on
  // all three planes (wavelet_forward.cpp). The planes are those that
  // ExtendBorders, ColourPixels and TransformPlane on each plane give.
  //
  // `done`, when set, is told on a band's thread as soon as pairs of rows of
  // a plane hold their final coefficients, while they are still in the
  // caches: pairs y0 .. y1 - 1 of plane p, pair y being rows 2y and 2y + 1
  // and rows codeRows / 2 + 2y and codeRows / 2 + 2y + 1 (the first level's
  // detail bands are final there; only the top-left quarter is transformed
  // further). Every pair is told once. It needs codeRows a multiple of 4.
  void ColourFirstLevel(const uint8_t* pixels, std::ptrdiff_t stride, RowPairsDone done = {});
  void TransformDeeper();
  // Decoder: RecoverDeeper undoes every level but the first on all three
  // planes (wavelet_inverse.cpp); RecoverCells and RecoverRgb undo the first
  // level, the colour transform and write the pixels in one sweep down
  // bands of rows (first_level_inverse.cpp). The pixels are those that
  // RecoverPlane on each plane, then WriteCells or WriteRgb give, and the
  // planes are left zero as those leave them.
  void RecoverDeeper();
  void RecoverCells(uint8_t* out, std::ptrdiff_t out_stride);
  void RecoverRgb(uint8_t* out, std::ptrdiff_t out_stride);

  // The threads the stages may use (see image/worker_pool.h): bytes are the
  // same for every count.
  int32_t threads = 1;

  // Work storage of one thread of a stage: `slot` below `threads`. Reserve
  // makes room for that many slots (a stage calls it before its tasks run).
  float* WorkSlot(int32_t slot) const { return lineStore + slot * workSlotFloats_; }
  void ReserveWorkSlots(int32_t slots);

  int32_t rows = 0;
  int32_t cols = 0;
  int32_t codeRows = 0;
  int32_t codeCols = 0;
  int32_t levels = -1;
  int32_t mean[3] = {0, 0, 0};
  float matrix[3][3] = {};
  // Line buffer: at least max(codeRows, codeCols) + 8 samples, and the work
  // storage of the wavelet kernels: the first work slot.
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
  // The means and the matrix as the colour kernels take them.
  kernels::Colour ColourParameters() const;
  // Allocate's work; true when it made new storage that is known to be zero.
  bool AllocateStorage(int32_t rows, int32_t cols);
  // One wavelet pass of a level over the top-left nr x nc region of the
  // planes in `planes` (row tables), split into tasks: blocks of columns
  // when `by_columns`, else bands of rows (wavelet_forward.cpp).
  using Pass = void (*)(float*, std::ptrdiff_t, int32_t, int32_t, float*);
  void RunPass(Pass pass, bool by_columns, float** const* planes, int count, int32_t nr,
               int32_t nc);
  // WriteCells (4 bytes a pixel) or WriteRgb (3).
  void WritePixels(uint8_t* out, std::ptrdiff_t out_stride, int bytes);
  // RecoverCells (4) or RecoverRgb (3).
  void RecoverPixels(uint8_t* out, std::ptrdiff_t out_stride, int bytes);

  // The border of the pixels, extended as ExtendBorders does it, kept aside
  // rather than in the planes, which the first level overwrites while it
  // still reads the border (border.cpp): for each colour, columns cols - 1 ..
  // codeCols - 1 of rows 0 .. rows - 2, then whole rows rows - 1 ..
  // codeRows - 1 (the logical samples among them are the pixels).
  void ExtendBordersAside(const uint8_t* pixels, std::ptrdiff_t stride);
  // Output pairs that one run of the first level works on at once: its rows
  // of work storage stay in the second-level cache for rows up to about
  // 1000 samples.
  static int32_t ForwardRun(int32_t codeCols);
  static int32_t InverseRun(int32_t codeCols);
  // Floats of a work slot for the first level at this coding width.
  static std::size_t FirstLevelFloats(int32_t codeCols);
  // The rows of a first-level run are an odd number of cache lines apart,
  // as the planes' rows are: columns then spread over every cache set.
  static std::ptrdiff_t RunRowFloats(int32_t codeCols) {
    const std::ptrdiff_t lines = (codeCols + 15) / 16;
    return 16 * (lines % 2 == 0 ? lines + 1 : lines);
  }

  BigBuffer samples_;
  BigBuffer work_;
  BigBuffer border_;  // ExtendBordersAside's samples
  std::ptrdiff_t borderRight_ = 0;  // floats of a colour's right-hand columns
  std::ptrdiff_t borderColour_ = 0;  // floats of a colour's border
  std::ptrdiff_t workSlotFloats_ = 0;  // a slot's floats, a multiple of 16
  int32_t workSlots_ = 0;
};

}  // namespace quarn

#endif  // QUARN_IMAGE_IMAGE_3C_H
