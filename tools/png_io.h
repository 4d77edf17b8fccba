// PNG files through libpng. Reading accepts every PNG colour type and bit
// depth: grey, grey+alpha, RGB, RGBA and palette (with or without tRNS), 1 to
// 16 bits, interlaced or not, and yields 8-bit RGB. 16-bit samples keep
// their high byte, so a 16-bit image made from an 8-bit one (v * 257) reads
// back as that 8-bit image; grey becomes three equal channels; alpha is
// ignored.
//
// Writing makes an 8-bit RGB PNG, quickly rather than small (see
// tools/png_write.cpp): Paeth-filtered rows, deflated in bands on several
// threads into one zlib stream. The file is the same for every thread count.
#ifndef QUARN_TOOLS_PNG_IO_H
#define QUARN_TOOLS_PNG_IO_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/rgb_image.h"

namespace quarn {

// True when the data starts with the PNG signature.
bool looks_like_png(std::span<const uint8_t> file);

// Returns an empty string on success, else what is wrong with the file. The
// size in the header is checked (32..8192 each way) before anything is
// allocated for the pixels.
std::string read_png(std::span<const uint8_t> file, RgbImage* image);

// Told how far the writing has come, 0 to 1, on the calling thread.
struct WriteProgress {
  void (*report)(void* user, double done) = nullptr;
  void* user = nullptr;
};

// Returns an empty string on success, else why it failed. `threads` is the
// most threads to use, 0 for every core.
std::string write_png(const RgbImage& image, std::vector<uint8_t>* file, int32_t threads = 0,
                      WriteProgress progress = {});
// The same from `height` rows of `width` packed pixels.
std::string write_png(int32_t width, int32_t height, const uint8_t* pixels,
                      std::vector<uint8_t>* file, int32_t threads = 0,
                      WriteProgress progress = {});

}  // namespace quarn

#endif  // QUARN_TOOLS_PNG_IO_H
