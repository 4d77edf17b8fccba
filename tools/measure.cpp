#include "tools/measure.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quarn {

namespace {

double psnr_of(double squared_error, std::size_t samples) {
  if (squared_error == 0.0) return INFINITY;
  return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(samples) / squared_error);
}

}  // namespace

Difference measure(const RgbImage& a, const RgbImage& b) {
  double squared[3] = {0.0, 0.0, 0.0};
  Difference d;
  const std::size_t n = a.pixels.size();
  for (std::size_t i = 0; i < n; ++i) {
    const int diff = static_cast<int>(a.pixels[i]) - static_cast<int>(b.pixels[i]);
    squared[i % 3] += static_cast<double>(diff * diff);
    if (std::abs(diff) > d.largest) d.largest = std::abs(diff);
  }
  for (int c = 0; c < 3; ++c) d.channel_psnr[c] = psnr_of(squared[c], n / 3);
  d.psnr = psnr_of(squared[0] + squared[1] + squared[2], n);
  return d;
}

std::string format_psnr(double psnr) {
  if (std::isinf(psnr)) return "inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", psnr);
  return text;
}

}  // namespace quarn
