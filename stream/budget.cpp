#include "stream/budget.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace quarn {

float stream_rate_for(int32_t width, int32_t height) {
  const int64_t pixels = static_cast<int64_t>(width) * height;
  return static_cast<float>(8.0 / static_cast<double>(pixels));
}

int32_t stream_bytes(double bitrate, float stream_rate) {
  const double q = bitrate / static_cast<double>(stream_rate);
  if (!(q > 0.0)) return 0;
  if (q >= static_cast<double>(kMaxStreamBytes)) return kMaxStreamBytes;
  return static_cast<int32_t>(q);
}

double bitrate_for_bytes(int32_t width, int32_t height, int32_t bytes) {
  const float rate = stream_rate_for(width, height);
  double r = static_cast<double>(bytes) * static_cast<double>(rate);
  while (stream_bytes(r, rate) < bytes) r = std::nextafter(r, 1e300);
  while (r > 0.0 && stream_bytes(std::nextafter(r, 0.0), rate) >= bytes) {
    r = std::nextafter(r, 0.0);
  }
  return r;
}

int32_t spiht_levels(int32_t a) {
  const auto u = static_cast<uint32_t>(a);
  const int32_t trailing = std::countr_zero(u);
  const int32_t length = static_cast<int32_t>(std::bit_width(u));
  return std::min(trailing, length - 2) - 1;
}

int32_t tree_levels_for(int32_t code_rows, int32_t code_cols) {
  return std::min(spiht_levels(code_rows), spiht_levels(code_cols));
}

}  // namespace quarn
