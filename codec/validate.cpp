#include "codec/validate.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "stream/bit_reader.h"
#include "stream/budget.h"

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

bool header_in_budget(int32_t width, int32_t height, double bitrate) {
  return stream_bytes(bitrate, stream_rate_for(width, height)) >= kHeaderBytes;
}

}  // namespace

std::string check_size(int64_t width, int64_t height) {
  if (width < kMinSide || height < kMinSide) {
    return "image is " + dims(width, height) + "; the smallest size is " +
           dims(kMinSide, kMinSide);
  }
  if (width > kMaxSide || height > kMaxSide) {
    return "image is " + dims(width, height) + "; the largest size is " +
           dims(kMaxSide, kMaxSide);
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

double lowest_bitrate(int32_t width, int32_t height, bool (*holds)(int32_t, int32_t, double)) {
  // Six significant digits, raised until they work.
  const float rate = stream_rate_for(width, height);
  double r = kHeaderBytes * static_cast<double>(rate);
  for (;;) {
    char text[40];
    std::snprintf(text, sizeof text, "%.6g", r);
    const double shown = std::strtod(text, nullptr);
    if (holds(width, height, shown)) return shown;
    r += r * 1e-6;
  }
}

double lowest_bitrate(int32_t width, int32_t height) {
  return lowest_bitrate(width, height, header_in_budget);
}

std::string check_encode(int64_t width, int64_t height, double bitrate,
                         bool (*holds)(int32_t, int32_t, double)) {
  std::string problem = check_size(width, height);
  if (problem.empty()) problem = check_bitrate(bitrate);
  if (!problem.empty()) return problem;
  const auto w = static_cast<int32_t>(width);
  const auto h = static_cast<int32_t>(height);
  if (!holds(w, h, bitrate)) {
    return "bitrate " + number(bitrate) + " is too low to hold the stream header at " +
           dims(w, h) + "; the lowest that works is " + number(lowest_bitrate(w, h, holds));
  }
  return {};
}

std::string check_encode(int64_t width, int64_t height, double bitrate) {
  return check_encode(width, height, bitrate, header_in_budget);
}

namespace {

// The stream's "n" and header fields, without judging the sizes.
std::string parse_header(const uint8_t* stream, std::size_t size, StreamHeader* header) {
  // The decoder's own text for this, with what it means.
  if (stream[0] != 'n') return "invalid < Decoder > file: the stream does not start with the byte \"n\"";
  BitReader r;
  begin_read(r, stream, size);
  read_header(r, *header);
  return {};
}

}  // namespace

std::string check_header(const uint8_t* stream, std::size_t size, StreamHeader* header) {
  if (size < static_cast<std::size_t>(kHeaderBytes)) {
    return "stream is " + std::to_string(size) + " bytes, shorter than its header (" +
           std::to_string(kHeaderBytes) + " bytes)";
  }
  StreamHeader parsed;
  std::string problem = parse_header(stream, size, &parsed);
  if (!problem.empty()) return problem;
  problem = check_size(parsed.width, parsed.height);
  if (!problem.empty()) return "stream header: " + problem;
  *header = parsed;
  return {};
}

std::string check_stream(const uint8_t* row, std::size_t size, StreamHeader* header) {
  if (size < static_cast<std::size_t>(kPrefixBytes + kHeaderBytes)) {
    return "coded row is " + std::to_string(size) +
           " bytes, shorter than its size prefix and header (" +
           std::to_string(kPrefixBytes + kHeaderBytes) + " bytes)";
  }
  StreamHeader parsed;
  std::string problem = parse_header(row + kPrefixBytes, size - kPrefixBytes, &parsed);
  if (!problem.empty()) return problem;
  int32_t w, h;
  read_size_prefix(row, &w, &h);
  problem = check_size(w, h);
  if (!problem.empty()) return "size prefix: " + problem;
  if (parsed.width != w || parsed.height != h) {
    return "stream header says " + dims(parsed.width, parsed.height) +
           " but its size prefix says " + dims(w, h);
  }
  *header = parsed;
  return {};
}

}  // namespace quarn
