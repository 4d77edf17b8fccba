// quarn ladder IN OUT [-r R,R,...] [-f png|ppm] [-v]
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "codec/validate.h"
#include "stream/budget.h"
#include "tools/commands.h"
#include "tools/file_io.h"
#include "tools/ladder_sheet.h"
#include "tools/measure.h"
#include "tools/messages.h"
#include "tools/stream_file.h"

namespace quarn {

namespace {

constexpr double kDefaultRates[] = {0.02, 0.05, 0.1, 0.25, 0.5, 1.0, 2.0};

// Long enough for the byte and PSNR lines: "16777216 B", "100.00 dB".
constexpr std::size_t kLabelChars = 10;

}  // namespace

int run_ladder(const Options& o) {
  const std::string& in = o.files[0];
  const std::string& out = o.files[1];
  const ImageFormat format = output_format(o, out);
  if (format == ImageFormat::kUnknown) {
    return usage_error("ladder", "cannot tell the format of '" + out +
                                     "': name it .png or .ppm, or use --format");
  }
  FileBytes data;
  std::string problem = read_input(in, &data);
  if (!problem.empty()) return refuse(input_name(in), problem);
  RgbImage original;
  problem = read_image(data.bytes(), &original);
  if (!problem.empty()) return refuse(input_name(in), problem);

  // Rates the user asked for must all work; default ones too low for this
  // size's stream header are left out.
  std::vector<double> rates;
  if (o.has_rates) {
    for (const double r : o.rates) {
      problem = check_encode(original.width, original.height, r);
      if (!problem.empty()) return refuse(input_name(in), problem);
    }
    rates = o.rates;
  } else {
    for (const double r : kDefaultRates) {
      if (check_encode(original.width, original.height, r).empty()) {
        rates.push_back(r);
      } else {
        note(input_name(in) + ": leaving out " + format_rate(r) +
             " bits per pixel, too low for the stream header at this size");
      }
    }
  }
  if (rates.empty()) return refuse(input_name(in), "no rate to decode at");
  std::size_t label_chars = kLabelChars;
  for (const double r : rates) label_chars = std::max(label_chars, format_rate(r).size() + 4);
  const SheetLayout layout = ladder_layout(static_cast<int32_t>(rates.size()), original.width,
                                           original.height, static_cast<int>(label_chars));
  problem = check_layout(layout);
  if (!problem.empty()) return refuse(input_name(in), problem);

  StreamFile file;
  problem = parse_stream_file(encode_to_file(original, rates.back()), &file);
  if (!problem.empty()) return refuse(input_name(in), problem);  // not expected

  // The table goes to stdout, unless the sheet does.
  std::FILE* table = out == "-" ? stderr : stdout;
  std::fprintf(table, "%10s %10s %10s\n", "bpp", "bytes", "PSNR dB");
  RgbImage sheet = blank_sheet(layout);
  const float stream_rate = stream_rate_for(original.width, original.height);
  for (std::size_t i = 0; i < rates.size(); ++i) {
    const RgbImage tile = decode_file(file, rates[i]);
    const int32_t bytes = stream_bytes(rates[i], stream_rate);
    const std::string psnr = format_psnr(measure(original, tile).psnr);
    std::fprintf(table, "%10s %10d %10s\n", format_rate(rates[i]).c_str(), bytes, psnr.c_str());
    place_tile(layout, static_cast<int32_t>(i), tile,
               {format_rate(rates[i]) + " bpp", std::to_string(bytes) + " B", psnr + " dB"},
               &sheet);
  }

  std::vector<uint8_t> encoded;
  problem = write_image(sheet, format, &encoded);
  if (problem.empty()) problem = write_output(out, encoded);
  if (!problem.empty()) return refuse(output_name(out), problem);
  if (o.verbose) {
    note(output_name(out) + ": ladder sheet of " + std::to_string(rates.size()) + " tiles, " +
         std::to_string(sheet.width) + "x" + std::to_string(sheet.height));
  }
  return kExitOk;
}

}  // namespace quarn
