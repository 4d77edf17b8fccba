// quarn decode IN OUT [-b R] [-f png|ppm] [-v]
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
#include "tools/progress.h"
#include "tools/run_time.h"
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
  const double reading = lap();
  Progress progress(int64_t{file.width} * file.height);

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
  lap();
  progress.begin(input_name(in), "decoding");
  {
    const CodingProgress told(progress.shown() ? &Progress::report : nullptr, &progress);
    problem = decode_file(file, bitrate, image.data() + header.size(), row_bytes);
  }
  const double decoding = lap();
  if (!problem.empty()) return refuse(input_name(in), problem);

  double compressing = 0.0;
  if (format == ImageFormat::kPpm) {
    progress.begin(output_name(out), "writing", false);
    problem = output.write(image.bytes());
  } else {
    std::vector<uint8_t> encoded;
    progress.begin(output_name(out), "writing PNG");
    problem = write_png(file.width, file.height, image.data(), &encoded, o.threads,
                        {progress.shown() ? &Progress::report : nullptr, &progress});
    compressing = lap();
    progress.begin(output_name(out), "writing", false);
    if (problem.empty()) problem = output.write(encoded);
  }
  const double writing = lap();
  if (!problem.empty()) return refuse(output_name(out), problem);
  if (o.verbose) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "decoded %dx%d from %d of %d stream bytes (%s bits per pixel) in %s ms",
                  file.width, file.height, decoded, file.stream_bytes,
                  rate_for_bytes_text(file.width, file.height, decoded).c_str(),
                  format_ms(decoding).c_str());
    const std::string png =
        format == ImageFormat::kPng ? "PNG " + format_ms(compressing) + ", " : "";
    note(input_name(in) + ": " + text + "; " + format_ms(run_ms()) + " ms in all (reading " +
         format_ms(reading) + ", " + png + "writing " + format_ms(writing) + " ms)");
  }
  return kExitOk;
}

}  // namespace quarn
