// quarn encode IN OUT [-b R] [-v]
#include <chrono>
#include <cstdio>

#include "codec/stream_header.h"
#include "codec/validate.h"
#include "tools/commands.h"
#include "tools/file_io.h"
#include "tools/messages.h"
#include "tools/pnm.h"
#include "tools/stream_file.h"

namespace quarn {

int run_encode(const Options& o) {
  const std::string& in = o.files[0];
  const std::string& out = o.files[1];
  FileBytes data;
  std::string problem = read_input(in, &data);
  if (!problem.empty()) return refuse(input_name(in), problem);
  // A PPM of 8-bit samples is coded from the file's own bytes; anything
  // else is converted first.
  int32_t width = 0;
  int32_t height = 0;
  std::size_t offset = 0;
  const uint8_t* pixels = nullptr;
  RgbImage image;
  if (ppm_pixels_in_place(data.bytes(), &width, &height, &offset)) {
    pixels = data.data() + offset;
  } else {
    problem = read_image(data.bytes(), &image);
    width = image.width;
    height = image.height;
    pixels = image.pixels.data();
  }
  if (problem.empty()) problem = check_encode(width, height, o.bitrate);
  if (!problem.empty()) return refuse(input_name(in), problem);

  // The coded file goes behind the input in its storage when there is room.
  const auto start = std::chrono::steady_clock::now();
  FileBytes own;
  const std::span<const uint8_t> coded =
      encode_to_file(width, height, pixels, o.bitrate, data.spare(), &own);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  if (coded.empty()) return refuse(input_name(in), "out of memory");

  problem = write_output(out, coded);
  if (!problem.empty()) return refuse(output_name(out), problem);
  if (o.verbose) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "encoded %dx%d at %s bits per pixel: %zu stream bytes, %zu with the "
                  "size prefix, in %.1f ms",
                  width, height, format_rate(o.bitrate).c_str(), coded.size() - kPrefixBytes,
                  coded.size(), took.count());
    note(input_name(in) + ": " + text);
  }
  return kExitOk;
}

}  // namespace quarn
