// Image files by content (reading) and by the output name's extension
// (writing).
#ifndef QUARN_TOOLS_IMAGE_FILE_H
#define QUARN_TOOLS_IMAGE_FILE_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/png_io.h"
#include "tools/rgb_image.h"

namespace quarn {

enum class ImageFormat { kUnknown, kPng, kPpm };

// True when the data starts like a PNG or a Netpbm file.
bool looks_like_image(std::span<const uint8_t> file);

// PNG, binary PNM or PAM, told apart by their first bytes. Returns an empty
// string on success, else what is wrong with the file.
std::string read_image(std::span<const uint8_t> file, RgbImage* image);

// ".png" gives PNG, ".ppm" or ".pnm" PPM (any letter case), anything else
// kUnknown.
ImageFormat format_for_extension(const std::string& path);
// "png" or "ppm"; anything else kUnknown.
ImageFormat format_for_name(const std::string& name);

// PNG is written on up to `threads` threads (0: every core), telling
// `progress` how far it has come.
std::string write_image(const RgbImage& image, ImageFormat format, std::vector<uint8_t>* file,
                        int32_t threads = 0, WriteProgress progress = {});

}  // namespace quarn

#endif  // QUARN_TOOLS_IMAGE_FILE_H
