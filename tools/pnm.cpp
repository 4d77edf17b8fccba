#include "tools/pnm.h"

#include <cstring>
#include <utility>

#include "codec/validate.h"

namespace quarn {

namespace {

bool is_space(uint8_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

// Header values above this are damage, not sizes.
constexpr int64_t kLargestNumber = 1000000000;

// Reads the next header number of a P5/P6 file, skipping white space and
// comments.
bool next_number(std::span<const uint8_t> f, std::size_t* pos, int64_t* value) {
  std::size_t i = *pos;
  for (;;) {
    while (i < f.size() && is_space(f[i])) ++i;
    if (i < f.size() && f[i] == '#') {
      while (i < f.size() && f[i] != '\n') ++i;
      continue;
    }
    break;
  }
  if (i >= f.size() || !is_digit(f[i])) return false;
  int64_t v = 0;
  while (i < f.size() && is_digit(f[i])) {
    v = v * 10 + (f[i++] - '0');
    if (v > kLargestNumber) return false;
  }
  *pos = i;
  *value = v;
  return true;
}

struct Header {
  int64_t width = -1;
  int64_t height = -1;
  int64_t depth = -1;   // samples per pixel
  int64_t maxval = -1;
  std::size_t data = 0;  // offset of the first sample
};

std::string read_classic_header(std::span<const uint8_t> f, Header* h) {
  std::size_t pos = 2;
  if (!next_number(f, &pos, &h->width) || !next_number(f, &pos, &h->height) ||
      !next_number(f, &pos, &h->maxval) || pos >= f.size() || !is_space(f[pos])) {
    return "damaged PNM header";
  }
  h->depth = f[1] == '5' ? 1 : 3;
  h->data = pos + 1;
  return {};
}

// One header line of a PAM file, without its line end.
bool next_line(std::span<const uint8_t> f, std::size_t* pos, std::string* line) {
  if (*pos >= f.size()) return false;
  const uint8_t* start = f.data() + *pos;
  const auto* nl = static_cast<const uint8_t*>(std::memchr(start, '\n', f.size() - *pos));
  if (nl == nullptr) return false;
  line->assign(start, nl);
  *pos += line->size() + 1;
  return true;
}

std::string read_pam_header(std::span<const uint8_t> f, Header* h) {
  std::size_t pos = 2;
  if (pos >= f.size() || f[pos] != '\n') return "damaged PAM header";
  ++pos;
  std::string line;
  for (;;) {
    if (!next_line(f, &pos, &line)) return "damaged PAM header: no ENDHDR line";
    std::size_t i = 0;
    while (i < line.size() && is_space(static_cast<uint8_t>(line[i]))) ++i;
    if (i == line.size() || line[i] == '#') continue;
    std::size_t end = i;
    while (end < line.size() && !is_space(static_cast<uint8_t>(line[end]))) ++end;
    const std::string key = line.substr(i, end - i);
    if (key == "ENDHDR") break;
    if (key == "TUPLTYPE") continue;  // the depth says all we need
    int64_t* field = key == "WIDTH"    ? &h->width
                     : key == "HEIGHT" ? &h->height
                     : key == "DEPTH"  ? &h->depth
                     : key == "MAXVAL" ? &h->maxval
                                       : nullptr;
    if (field == nullptr) return "damaged PAM header: unknown field " + key;
    const std::vector<uint8_t> rest(line.begin() + static_cast<std::ptrdiff_t>(end), line.end());
    std::size_t p = 0;
    if (!next_number(rest, &p, field)) return "damaged PAM header: " + key + " needs a number";
  }
  if (h->width < 0 || h->height < 0 || h->depth < 0 || h->maxval < 0) {
    return "damaged PAM header: WIDTH, HEIGHT, DEPTH and MAXVAL are all needed";
  }
  if (h->depth < 1 || h->depth > 4) {
    return "PAM depth " + std::to_string(h->depth) + " is not supported (1 to 4)";
  }
  h->data = pos;
  return {};
}

}  // namespace

bool looks_like_pnm(std::span<const uint8_t> f) {
  return f.size() >= 2 && f[0] == 'P' && f[1] >= '1' && f[1] <= '7';
}

std::string read_pnm(std::span<const uint8_t> f, RgbImage* image) {
  if (!looks_like_pnm(f)) return "not a PNM file";
  Header h;
  std::string problem;
  if (f[1] == '5' || f[1] == '6') {
    problem = read_classic_header(f, &h);
  } else if (f[1] == '7') {
    problem = read_pam_header(f, &h);
  } else {
    return std::string("PNM type P") + static_cast<char>(f[1]) +
           " is not supported; use binary P5, P6 or P7 (PAM)";
  }
  if (!problem.empty()) return problem;
  problem = check_size(h.width, h.height);
  if (!problem.empty()) return problem;
  if (h.maxval < 1 || h.maxval > 65535) {
    return "PNM maxval " + std::to_string(h.maxval) + " is outside 1..65535";
  }

  const int64_t sample_bytes = h.maxval > 255 ? 2 : 1;
  const auto pixels = static_cast<std::size_t>(h.width * h.height);
  const auto need = pixels * static_cast<std::size_t>(h.depth * sample_bytes);
  if (f.size() - h.data < need) {
    return "PNM pixel data is truncated (" + std::to_string(f.size() - h.data) +
           " of " + std::to_string(need) + " bytes)";
  }

  const auto maxval = static_cast<uint32_t>(h.maxval);
  const uint8_t* s = f.data() + h.data;
  RgbImage result;
  result.width = static_cast<int32_t>(h.width);
  result.height = static_cast<int32_t>(h.height);
  result.pixels.resize(pixels * 3);
  uint8_t* out = result.pixels.data();
  const int colours = h.depth >= 3 ? 3 : 1;
  for (std::size_t p = 0; p < pixels; ++p) {
    uint8_t px[3];
    for (int64_t c = 0; c < h.depth; ++c) {
      uint32_t v = *s++;
      if (sample_bytes == 2) v = (v << 8) | *s++;
      if (c >= colours) continue;  // alpha
      if (v > maxval) return "PNM sample " + std::to_string(v) + " is above maxval " +
                             std::to_string(maxval);
      if (maxval == 255) {
        px[c] = static_cast<uint8_t>(v);
      } else if (maxval == 65535) {
        px[c] = static_cast<uint8_t>(v >> 8);
      } else {
        px[c] = static_cast<uint8_t>((v * 255 + maxval / 2) / maxval);
      }
    }
    if (colours == 1) px[1] = px[2] = px[0];
    std::memcpy(out, px, 3);
    out += 3;
  }
  *image = std::move(result);
  return {};
}

bool ppm_pixels_in_place(std::span<const uint8_t> f, int32_t* width, int32_t* height,
                         std::size_t* offset) {
  if (f.size() < 2 || f[0] != 'P' || f[1] != '6') return false;
  Header h;
  if (!read_classic_header(f, &h).empty() || h.maxval != 255 ||
      !check_size(h.width, h.height).empty()) {
    return false;
  }
  const auto need = static_cast<std::size_t>(h.width * h.height) * 3;
  if (f.size() - h.data < need) return false;
  *width = static_cast<int32_t>(h.width);
  *height = static_cast<int32_t>(h.height);
  *offset = h.data;
  return true;
}

std::string ppm_header(int32_t width, int32_t height) {
  return "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
}

std::vector<uint8_t> write_ppm(const RgbImage& image) {
  const std::string header = ppm_header(image.width, image.height);
  std::vector<uint8_t> out(header.begin(), header.end());
  out.insert(out.end(), image.pixels.begin(), image.pixels.end());
  return out;
}

}  // namespace quarn
