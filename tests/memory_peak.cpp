// Peak memory of one encoding and one decoding, measured as the process's
// peak resident set (VmHWM) above its resident set just before the call, so
// that it counts every page the codec touches (heap, mapped blocks, stack)
// and leaves out the caller's own buffers: the packed input pixels, the
// output row, the decoded cells, which exist before each call.
//
// The picture is the sample photograph tiled (mirrored at each seam) to the
// requested size.
//
// Usage: memory_peak WIDTH HEIGHT BITRATE [MAX_BYTES_PER_PIXEL]
// Prints both peaks in MB and in bytes per pixel; with a bound, exits 1 when
// either is above it.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "codec/decoder.h"
#include "codec/encoder.h"
#include "codec/stream_header.h"
#include "codec/validate.h"
#include "stream/budget.h"
#include "test_images.h"

namespace quarn {

namespace {

// A field of /proc/self/status in bytes ("VmHWM", "VmRSS").
int64_t status_bytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + key.size()) * 1024;
  }
  return -1;
}

// Sets the peak back to the current resident set.
bool reset_peak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  return static_cast<bool>(clear.flush());
}

struct Measure {
  int64_t before = 0;
  void start() {
    reset_peak();
    before = status_bytes("VmRSS");
  }
  int64_t peak() const { return status_bytes("VmHWM") - before; }
};

// Every byte written, so that the buffer is resident before the measured call.
std::vector<uint8_t> touched(std::size_t size) { return std::vector<uint8_t>(size, 1); }

// Index i of 0..n-1 repeated back and forth: 0..n-1, n-1..0, 0..n-1, ...
int32_t mirrored(int32_t i, int32_t n) {
  i %= 2 * n;
  return i < n ? i : 2 * n - 1 - i;
}

RgbImage tiled_sample(int32_t width, int32_t height) {
  const RgbImage sample = load_sample();
  RgbImage out;
  out.width = width;
  out.height = height;
  out.pixels.reserve(static_cast<std::size_t>(width) * height * 3);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* from = &sample.pixels[(static_cast<std::size_t>(mirrored(y, sample.height)) *
                                                sample.width + mirrored(x, sample.width)) * 3];
      out.pixels.insert(out.pixels.end(), from, from + 3);
    }
  }
  return out;
}

}  // namespace

}  // namespace quarn

int main(int argc, char** argv) {
  using namespace quarn;
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: memory_peak WIDTH HEIGHT BITRATE [MAX_BYTES_PER_PIXEL]\n");
    return 2;
  }
  const int32_t width = std::atoi(argv[1]);
  const int32_t height = std::atoi(argv[2]);
  const double bitrate = std::atof(argv[3]);
  const double bound = argc == 5 ? std::atof(argv[4]) : 0.0;
  const std::string problem = check_encode(width, height, bitrate);
  if (!problem.empty()) {
    std::fprintf(stderr, "memory_peak: %s\n", problem.c_str());
    return 2;
  }
  if (!reset_peak()) {
    std::fprintf(stderr, "memory_peak: cannot reset the peak (/proc/self/clear_refs)\n");
    return 2;
  }
  const double pixels = static_cast<double>(width) * height;
  const RgbImage image = tiled_sample(width, height);
  const int32_t B = stream_bytes(bitrate, stream_rate_for(width, height));

  static Encoder encoder;
  std::vector<uint8_t> row = touched(static_cast<std::size_t>(B) + kPrefixBytes);
  Measure m;
  m.start();
  encode_image(encoder, row.data(), row.size(), width, height, image.pixels.data(), bitrate);
  const int64_t encode_peak = m.peak();
  encoder.image.Release();
  encoder.maxima.Release();

  static Decoder decoder;
  std::vector<uint8_t> cells = touched(static_cast<std::size_t>(width) * height * 4);
  StreamHeader header;
  check_stream(row.data(), row.size(), &header);
  m.start();
  decode_image(decoder, header, row.data() + kPrefixBytes, row.size() - kPrefixBytes,
               cells.data(), static_cast<std::ptrdiff_t>(width) * 4, bitrate);
  const int64_t decode_peak = m.peak();

  bool within = true;
  for (const auto& [name, peak] : {std::pair{"encode", encode_peak}, {"decode", decode_peak}}) {
    const double per_pixel = static_cast<double>(peak) / pixels;
    std::printf("%s %dx%d at %g bits per pixel: peak %.1f MB above the caller's buffers, "
                "%.2f bytes per pixel\n",
                name, width, height, bitrate, static_cast<double>(peak) / 1048576.0, per_pixel);
    if (bound > 0.0 && per_pixel > bound) within = false;
  }
  if (!within) {
    std::printf("above the bound of %g bytes per pixel\n", bound);
    return 1;
  }
  return 0;
}
