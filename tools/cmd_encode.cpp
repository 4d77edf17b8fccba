// quarn encode IN OUT [-b R] [-v]
#include <chrono>
#include <cstdio>

#include "codec/stream_header.h"
#include "codec/validate.h"
#include "tools/commands.h"
#include "tools/file_io.h"
#include "tools/messages.h"
#include "tools/stream_file.h"

int run_encode(const Options& o) {
  const std::string& in = o.files[0];
  const std::string& out = o.files[1];
  std::vector<uint8_t> data;
  std::string problem = read_input(in, &data);
  if (!problem.empty()) return refuse(input_name(in), problem);
  RgbImage image;
  problem = read_image(data, &image);
  if (problem.empty()) problem = check_encode(image.width, image.height, o.bitrate);
  if (!problem.empty()) return refuse(input_name(in), problem);

  const auto start = std::chrono::steady_clock::now();
  const std::vector<uint8_t> coded = encode_to_file(image, o.bitrate);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;

  problem = write_output(out, coded);
  if (!problem.empty()) return refuse(output_name(out), problem);
  if (o.verbose) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "encoded %dx%d at %s bits per pixel: %zu stream bytes, %zu with the "
                  "size prefix, in %.1f ms",
                  image.width, image.height, format_rate(o.bitrate).c_str(),
                  coded.size() - kPrefixBytes, coded.size(), took.count());
    note(input_name(in) + ": " + text);
  }
  return kExitOk;
}
