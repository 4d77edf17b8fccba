// quarn info FILE
#include <cstdio>
#include <string>

#include "tools/commands.h"
#include "tools/messages.h"
#include "tools/stream_file.h"

namespace quarn {

namespace {

// A colour matrix entry; the stream holds each to four decimals.
std::string entry(float value) {
  char text[24];
  std::snprintf(text, sizeof text, "%.4f", static_cast<double>(value));
  return text;
}

void print_text(const std::string& name, const StreamFile& file) {
  const quarn_info& h = file.info;
  std::printf("file:            %s\n", name.c_str());
  std::printf("size:            %d x %d\n", h.width, h.height);
  std::printf("stream bytes:    %zu (file %zu bytes with the size prefix)\n", h.stream_bytes,
              file.bytes.size());
  std::printf("bits per pixel:  %s\n", format_rate(h.bits_per_pixel).c_str());
  std::printf("top exponent:    %d\n", h.top_exponent);
  std::printf("means:           %d %d %d\n", h.means[0], h.means[1], h.means[2]);
  for (int row = 0; row < 3; ++row) {
    std::printf("%s", row == 0 ? "colour matrix:  " : "                ");
    for (int col = 0; col < 3; ++col) std::printf(" %8s", entry(h.matrix[3 * row + col]).c_str());
    std::printf("\n");
  }
}

}  // namespace

int run_info(const Options& o) {
  const std::string& in = o.files[0];
  StreamFile file;
  const std::string problem = read_stream_file(in, &file);
  if (!problem.empty()) return refuse(input_name(in), problem);
  print_text(input_name(in), file);
  return kExitOk;
}

}  // namespace quarn
