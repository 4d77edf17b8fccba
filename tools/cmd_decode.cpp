// quarn decode IN OUT [-b R] [-f png|ppm] [-v]
#include <chrono>
#include <cstdio>
#include <cstring>

#include "codec/validate.h"
#include "stream/budget.h"
#include "tools/commands.h"
#include "tools/file_io.h"
#include "tools/messages.h"
#include "tools/output_file.h"
#include "tools/png_io.h"
#include "tools/pnm.h"
#include "tools/stream_file.h"

namespace quarn {

int run_decode(const Options& o) {
  const std::string& in = o.files[0];
  const std::string& out = o.files[1];
  const ImageFormat format = output_format(o, out);
  if (format == ImageFormat::kUnknown) {
    return usage_error("decode", "cannot tell the format of '" + out +
                                     "': name it .png or .ppm, or use --format");
  }
  std::string problem = check_not_input(in, out);
  OutputFile output;
  if (problem.empty()) problem = output.open(out, image_noun(format));
  if (!problem.empty()) return refuse(output_name(out), problem);
  StreamFile file;
  problem = read_stream_file(in, &file);
  if (!problem.empty()) return refuse(input_name(in), problem);

  // 0 decodes the whole stream.
  double bitrate = 0.0;
  int32_t decoded = file.stream_bytes;
  if (o.has_bitrate) {
    problem = check_encode(file.width, file.height, o.bitrate);
    if (!problem.empty()) return refuse(input_name(in), problem);
    // Past its end the file holds nothing more (it was coded at a lower
    // rate, or cut short); reading on would only feed the decoder made-up
    // bits.
    const int32_t asked = stream_bytes(o.bitrate, stream_rate_for(file.width, file.height));
    if (asked > file.stream_bytes) {
      note(input_name(in) + ": holds " + std::to_string(file.stream_bytes) + " of " +
           std::to_string(asked) + " stream bytes; decoding that prefix (" +
           rate_for_bytes_text(file.width, file.height, file.stream_bytes) +
           " bits per pixel)");
    } else {
      bitrate = o.bitrate;
      decoded = asked;
    }
  }

  // The pixels are decoded straight into the output: behind the PPM header,
  // or into the rows the PNG writer compresses.
  const std::string header = format == ImageFormat::kPpm ? ppm_header(file.width, file.height) : "";
  const std::size_t row_bytes = static_cast<std::size_t>(file.width) * 3;
  const std::size_t file_bytes = header.size() + row_bytes * static_cast<std::size_t>(file.height);
  FileBytes image;
  if (!image.reserve(file_bytes)) return refuse(input_name(in), "out of memory");
  image.set_size(file_bytes);
  std::memcpy(image.data(), header.data(), header.size());
  const auto start = std::chrono::steady_clock::now();
  problem = decode_file(file, bitrate, image.data() + header.size(), row_bytes);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  if (!problem.empty()) return refuse(input_name(in), problem);

  if (format == ImageFormat::kPpm) {
    problem = output.write(image.bytes());
  } else {
    std::vector<uint8_t> encoded;
    problem = write_png(file.width, file.height, image.data(), &encoded);
    if (problem.empty()) problem = output.write(encoded);
  }
  if (!problem.empty()) return refuse(output_name(out), problem);
  if (o.verbose) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "decoded %dx%d from %d of %d stream bytes (%s bits per pixel) in %.1f ms",
                  file.width, file.height, decoded, file.stream_bytes,
                  rate_for_bytes_text(file.width, file.height, decoded).c_str(), took.count());
    note(input_name(in) + ": " + text);
  }
  return kExitOk;
}

}  // namespace quarn
