#include "tools/ppm.h"

#include <cctype>

namespace {

// Reads the next header number, skipping white space and comments.
bool next_number(const std::vector<uint8_t>& f, std::size_t* pos, int64_t* value) {
  std::size_t i = *pos;
  for (;;) {
    while (i < f.size() && std::isspace(f[i])) ++i;
    if (i < f.size() && f[i] == '#') {
      while (i < f.size() && f[i] != '\n') ++i;
      continue;
    }
    break;
  }
  if (i >= f.size() || !std::isdigit(f[i])) return false;
  int64_t v = 0;
  while (i < f.size() && std::isdigit(f[i])) {
    v = v * 10 + (f[i++] - '0');
    if (v > 1000000000) return false;
  }
  *pos = i;
  *value = v;
  return true;
}

}  // namespace

std::string read_ppm(const std::vector<uint8_t>& f, RgbImage* image) {
  if (f.size() < 2 || f[0] != 'P' || f[1] != '6') return "not a binary PPM (P6) file";
  std::size_t pos = 2;
  int64_t w, h, maxval;
  if (!next_number(f, &pos, &w) || !next_number(f, &pos, &h) ||
      !next_number(f, &pos, &maxval) || pos >= f.size() || !std::isspace(f[pos])) {
    return "damaged PPM header";
  }
  if (maxval != 255) return "PPM maxval must be 255";
  if (w <= 0 || h <= 0) return "PPM size is zero";
  ++pos;
  const auto need = static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * 3;
  if (f.size() - pos < need) return "PPM pixel data is truncated";
  image->width = static_cast<int32_t>(w);
  image->height = static_cast<int32_t>(h);
  image->pixels.assign(f.begin() + static_cast<std::ptrdiff_t>(pos),
                       f.begin() + static_cast<std::ptrdiff_t>(pos + need));
  return {};
}

std::vector<uint8_t> write_ppm(const RgbImage& image) {
  const std::string header = "P6\n" + std::to_string(image.width) + " " +
                             std::to_string(image.height) + "\n255\n";
  std::vector<uint8_t> out(header.begin(), header.end());
  out.insert(out.end(), image.pixels.begin(), image.pixels.end());
  return out;
}
