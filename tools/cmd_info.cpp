// quarn info FILE
#include <cstdio>

#include "tools/commands.h"
#include "tools/messages.h"
#include "tools/stream_file.h"

namespace quarn {

int run_info(const Options& o) {
  const std::string& in = o.files[0];
  StreamFile file;
  const std::string problem = read_stream_file(in, &file);
  if (!problem.empty()) return refuse(input_name(in), problem);

  const StreamHeader h = read_stream_header(file);
  const double pixels = static_cast<double>(file.width) * file.height;
  std::printf("file:            %s\n", input_name(in).c_str());
  std::printf("size:            %d x %d\n", file.width, file.height);
  std::printf("stream bytes:    %d (file %zu bytes with the size prefix)\n",
              file.stream_bytes, file.bytes.size());
  std::printf("bits per pixel:  %s\n", format_rate(file.stream_bytes * 8.0 / pixels).c_str());
  std::printf("top exponent:    %d\n", h.top_exponent);
  std::printf("means:           %d %d %d\n", h.mean_q[0], h.mean_q[1], h.mean_q[2]);
  // Each row is stored as 10000 + 10000 x entry.
  for (int row = 0; row < 3; ++row) {
    std::printf("%s", row == 0 ? "colour matrix:  " : "                ");
    for (int col = 0; col < 3; ++col) {
      std::printf(" %8.4f", h.matrix_q[3 * row + col] * 0.0001 - 1.0);
    }
    std::printf("\n");
  }
  return kExitOk;
}

}  // namespace quarn
