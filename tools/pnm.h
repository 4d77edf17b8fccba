// Binary Netpbm files. Reads P5 (greyscale), P6 (RGB) and P7 (PAM of depth 1
// to 4: grey, grey+alpha, RGB, RGB+alpha) with any maxval from 1 to 65535;
// writes P6 with maxval 255.
//
// Samples become 8-bit: maxval 255 as is, maxval 65535 by its high byte (as
// 16-bit PNG), any other maxval scaled to 0..255 with rounding. Grey becomes
// three equal channels; alpha is ignored.
#ifndef QUARN_TOOLS_PNM_H
#define QUARN_TOOLS_PNM_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/rgb_image.h"

namespace quarn {

// True when the data starts like a Netpbm file ("P" and a digit).
bool looks_like_pnm(std::span<const uint8_t> file);

// Returns an empty string on success, else what is wrong with the file. The
// size is checked (32..8192 each way) before any pixel storage is allocated.
std::string read_pnm(std::span<const uint8_t> file, RgbImage* image);

// A binary PPM (P6) with maxval 255 holds its pixels packed as the codec
// takes them. For such a file, complete and of a size the codec takes, sets
// the size and the offset of the first pixel byte and returns true; for any
// other data returns false (read_pnm then converts or refuses it).
bool ppm_pixels_in_place(std::span<const uint8_t> file, int32_t* width, int32_t* height,
                         std::size_t* offset);

// The header of a P6 file with maxval 255, as write_ppm writes it.
std::string ppm_header(int32_t width, int32_t height);

std::vector<uint8_t> write_ppm(const RgbImage& image);

}  // namespace quarn

#endif  // QUARN_TOOLS_PNM_H
