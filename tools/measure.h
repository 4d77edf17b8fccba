// How far apart two images of one size are.
#ifndef QUARN_TOOLS_MEASURE_H
#define QUARN_TOOLS_MEASURE_H

#include <string>

#include "tools/rgb_image.h"

namespace quarn {

struct Difference {
  double psnr = 0.0;          // over all three channels, in dB
  double channel_psnr[3] = {};  // red, green, blue
  int largest = 0;            // largest absolute difference of one sample
};

// The images must have the same size. Identical images give infinite PSNRs.
Difference measure(const RgbImage& a, const RgbImage& b);

// Two decimals, or "inf".
std::string format_psnr(double psnr);

}  // namespace quarn

#endif  // QUARN_TOOLS_MEASURE_H
