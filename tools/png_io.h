// PNG files through libpng: any PNG colour type read as 8-bit RGB (alpha
// dropped), RGB written as 8-bit PNG.
#ifndef QUARN_TOOLS_PNG_IO_H
#define QUARN_TOOLS_PNG_IO_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/ppm.h"

// Returns an empty string on success, else what is wrong with the file.
std::string read_png(const std::vector<uint8_t>& file, RgbImage* image);
std::string write_png(const RgbImage& image, std::vector<uint8_t>* file);

#endif  // QUARN_TOOLS_PNG_IO_H
