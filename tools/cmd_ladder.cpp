// quarn ladder IN OUT [-r R,R,...] [-f png|ppm] [-v]
#include <algorithm>
#include <cmath>
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
#include "tools/output_file.h"
#include "tools/progress.h"
#include "tools/run_time.h"
#include "tools/stream_file.h"

namespace quarn {

namespace {

constexpr double kDefaultRates[] = {0.02, 0.05, 0.1, 0.25, 0.5, 1.0, 2.0};

// The longest PSNR line: "PSNR 100.00 dB" and beyond.
constexpr std::size_t kPsnrChars = 14;

std::string rate_label(double rate) {
  return format_rate(rate) + (rate == 1.0 ? " bit per pixel" : " bits per pixel");
}

std::string bytes_label(int32_t bytes) {
  return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

std::string psnr_label(double psnr) {
  return psnr == INFINITY ? "lossless" : "PSNR " + format_psnr(psnr) + " dB";
}

}  // namespace

int run_ladder(const Options& o) {
  const std::string& in = o.files[0];
  const std::string& out = o.files[1];
  const ImageFormat format = output_format(o, out);
  if (format == ImageFormat::kUnknown) {
    return usage_error("ladder", "cannot tell the format of '" + out +
                                     "': name it .png or .ppm, or use --format");
  }
  // The output is made ready before anything is coded.
  std::string problem = check_not_input(in, out);
  OutputFile sheet_file;
  if (problem.empty()) problem = sheet_file.open(out, image_noun(format));
  if (!problem.empty()) return refuse(output_name(out), problem);

  FileBytes data;
  problem = read_input(in, &data);
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
  const float stream_rate = stream_rate_for(original.width, original.height);
  std::size_t label_chars = kPsnrChars;
  for (const double r : rates) {
    label_chars = std::max({label_chars, rate_label(r).size(),
                            bytes_label(stream_bytes(r, stream_rate)).size()});
  }
  // One character more keeps the labels of narrow tiles apart.
  const SheetLayout layout = ladder_layout(static_cast<int32_t>(rates.size()), original.width,
                                           original.height, static_cast<int>(label_chars) + 1);
  problem = check_layout(layout);
  if (!problem.empty()) return refuse(input_name(in), problem);

  Progress progress(int64_t{original.width} * original.height);
  const CodingProgress told(progress.shown() ? &Progress::report : nullptr, &progress);
  progress.begin(input_name(in), "encoding");
  StreamFile file;
  problem = encode_to_file(original, rates.back(), &file);
  if (!problem.empty()) return refuse(input_name(in), problem);

  // The table goes to stdout, unless the sheet does.
  std::FILE* table = out == "-" ? stderr : stdout;
  std::fprintf(table, "%10s %10s %10s\n", "bpp", "bytes", "PSNR dB");
  RgbImage sheet = blank_sheet(layout);
  RgbImage tile;
  for (std::size_t i = 0; i < rates.size(); ++i) {
    progress.begin(input_name(in), "decoding at " + format_rate(rates[i]) + " bits per pixel");
    problem = decode_file(file, rates[i], &tile);
    if (!problem.empty()) return refuse(input_name(in), problem);
    const int32_t bytes = stream_bytes(rates[i], stream_rate);
    const double psnr = measure(original, tile).psnr;
    erase_progress();  // the table may share the terminal
    std::fprintf(table, "%10s %10d %10s\n", format_rate(rates[i]).c_str(), bytes,
                 format_psnr(psnr).c_str());
    place_tile(layout, static_cast<int32_t>(i), tile,
               {rate_label(rates[i]), bytes_label(bytes), psnr_label(psnr)}, &sheet);
  }

  std::vector<uint8_t> encoded;
  progress.begin(output_name(out), format == ImageFormat::kPng ? "writing PNG" : "writing",
                 format == ImageFormat::kPng);
  problem = write_image(sheet, format, &encoded, o.threads,
                        {progress.shown() ? &Progress::report : nullptr, &progress});
  progress.begin(output_name(out), "writing", false);
  if (problem.empty()) problem = sheet_file.write(encoded);
  if (!problem.empty()) return refuse(output_name(out), problem);
  if (o.verbose) {
    note(output_name(out) + ": ladder sheet of " + std::to_string(rates.size()) + " tiles, " +
         std::to_string(sheet.width) + "x" + std::to_string(sheet.height) + "; " +
         format_ms(run_ms()) + " ms in all");
  }
  return kExitOk;
}

}  // namespace quarn
