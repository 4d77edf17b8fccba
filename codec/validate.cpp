#include "codec/validate.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "codec/bit_reader.h"
#include "codec/budget.h"
#include "codec/stream_header.h"

namespace quarn {

namespace {

std::string number(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.9g", v);
  return text;
}

std::string dims(int64_t width, int64_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

std::string check_size(int64_t width, int64_t height) {
  if (width < kMinSide || height < kMinSide) {
    return "image is " + dims(width, height) + "; the smallest size is 32x32";
  }
  if (width > kMaxSide || height > kMaxSide) {
    return "image is " + dims(width, height) + "; the largest size is 8192x8192";
  }
  return {};
}

std::string check_bitrate(double bitrate) {
  if (!std::isfinite(bitrate)) return "bitrate is not a finite number";
  if (!(bitrate > 0.0)) return "bitrate " + number(bitrate) + " is not positive";
  if (bitrate > kMaxBitrate) {
    return "bitrate " + number(bitrate) + " is above the largest, " +
           number(kMaxBitrate) + " bits per pixel";
  }
  return {};
}

int64_t encoder_row_cells(int32_t width, int32_t height, double bitrate) {
  const int64_t pixels = static_cast<int64_t>(width) * height;
  return static_cast<int64_t>(static_cast<double>(pixels) * bitrate * 0.125 + 4.0);
}

namespace {

// The stream header fits in the B bytes of the stream, and in what the
// encoder plug-in's row leaves of them.
bool holds_header(int32_t width, int32_t height, double bitrate) {
  return stream_bytes(bitrate, stream_rate_for(width, height)) >= kHeaderBytes &&
         encoder_row_cells(width, height, bitrate) >= kPrefixBytes + kHeaderBytes;
}

}  // namespace

double lowest_bitrate(int32_t width, int32_t height) {
  // Six significant digits, raised until they work: a value that can be
  // printed, read back and used exactly as shown.
  const float rate = stream_rate_for(width, height);
  double r = kHeaderBytes * static_cast<double>(rate);
  for (;;) {
    char text[40];
    std::snprintf(text, sizeof text, "%.6g", r);
    const double shown = std::strtod(text, nullptr);
    if (holds_header(width, height, shown)) return shown;
    r += r * 1e-6;
  }
}

std::string check_encode(int64_t width, int64_t height, double bitrate) {
  std::string problem = check_size(width, height);
  if (problem.empty()) problem = check_bitrate(bitrate);
  if (!problem.empty()) return problem;
  const auto w = static_cast<int32_t>(width);
  const auto h = static_cast<int32_t>(height);
  if (!holds_header(w, h, bitrate)) {
    return "bitrate " + number(bitrate) + " is too low to hold the stream header at " +
           dims(w, h) + "; the lowest that works is " + number(lowest_bitrate(w, h));
  }
  return {};
}

std::string check_stream(const uint8_t* row, std::size_t size, int32_t* width,
                         int32_t* height) {
  if (size < static_cast<std::size_t>(kPrefixBytes + kHeaderBytes)) {
    return "coded row is " + std::to_string(size) +
           " bytes, shorter than its size prefix and header (" +
           std::to_string(kPrefixBytes + kHeaderBytes) + " bytes)";
  }
  if (row[kPrefixBytes] != 'n') return "stream does not start with the byte \"n\"";
  int32_t w, h;
  read_size_prefix(row, &w, &h);
  std::string problem = check_size(w, h);
  if (!problem.empty()) return "size prefix: " + problem;

  BitReader r;
  begin_read(r, row + kPrefixBytes, size - kPrefixBytes);
  StreamHeader header;
  read_header(r, header);
  if (header.width != w || header.height != h) {
    return "stream header says " + dims(header.width, header.height) +
           " but its size prefix says " + dims(w, h);
  }
  *width = w;
  *height = h;
  return {};
}

}  // namespace quarn
