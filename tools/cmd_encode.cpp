// quarn encode IN OUT [-b R | --size BYTES | --psnr DB] [-v]
#include <algorithm>
#include <cstdio>
#include <utility>

#include "codec/stream_header.h"
#include "codec/validate.h"
#include "stream/budget.h"
#include "tools/commands.h"
#include "tools/file_io.h"
#include "tools/measure.h"
#include "tools/messages.h"
#include "tools/output_file.h"
#include "tools/pnm.h"
#include "tools/progress.h"
#include "tools/run_time.h"
#include "tools/stream_file.h"

namespace quarn {
namespace {

// The first rate --psnr codes at; four times more each time that is not
// enough, up to the largest.
constexpr double kFirstSearchRate = 4.0;

struct Picture {
  int32_t width = 0;
  int32_t height = 0;
  const uint8_t* pixels = nullptr;
};

// What was coded and how it was chosen.
struct Coded {
  std::span<const uint8_t> file;  // prefix and stream
  FileBytes own;                  // its storage, unless it lies behind the input
  std::string report;             // how the length was chosen, for a note
};

int32_t stream_length(const Coded& c) {
  return static_cast<int32_t>(c.file.size()) - kPrefixBytes;
}

std::string rate_and_length(const Picture& p, int32_t bytes) {
  return rate_for_bytes_text(p.width, p.height, bytes) + " bits per pixel, " +
         std::to_string(bytes) + " stream bytes, " + std::to_string(bytes + kPrefixBytes) +
         " with the size prefix";
}

// -b R: exactly B bytes, zeros after a stream the image fills before them.
std::string code_at_rate(const Picture& p, double bitrate, std::span<uint8_t> room, Coded* c) {
  CodedFile coded;
  const std::string problem =
      encode_to_file(p.width, p.height, p.pixels, bitrate, room, &c->own, &coded);
  if (!problem.empty()) return problem;
  c->file = coded.bytes;
  const int32_t B = stream_length(*c);
  if (coded.complete > 0) {
    c->report = "the stream is complete at " +
                rate_for_bytes_text(p.width, p.height, coded.complete) + " bits per pixel (" +
                std::to_string(coded.complete) + " stream bytes); the other " +
                std::to_string(B - coded.complete) + " of its " + std::to_string(B) +
                " bytes are zero padding";
  }
  return {};
}

// --size BYTES: the longest stream that fits, or the whole stream when that
// is shorter.
std::string code_to_size(const Picture& p, int64_t size, std::span<uint8_t> room, Coded* c) {
  const float rate = stream_rate_for(p.width, p.height);
  const int32_t least = stream_bytes(lowest_bitrate(p.width, p.height), rate);
  if (size < least + kPrefixBytes) {
    return "a file of " + std::to_string(size) + " bytes cannot hold the stream header at " +
           std::to_string(p.width) + "x" + std::to_string(p.height) + "; the smallest is " +
           std::to_string(least + kPrefixBytes) + " bytes";
  }
  const auto B = static_cast<int32_t>(
      std::min<int64_t>(size - kPrefixBytes, stream_bytes(kMaxBitrate, rate)));
  CodedFile coded;
  const std::string problem = encode_to_file(p.width, p.height, p.pixels,
                                             bitrate_for_bytes(p.width, p.height, B), room,
                                             &c->own, &coded);
  if (!problem.empty()) return problem;
  c->file = coded.bytes;
  if (coded.complete > 0) {
    // The first bytes of the longer stream are the whole stream.
    c->file = c->file.first(static_cast<std::size_t>(coded.complete) + kPrefixBytes);
    c->report = "the whole stream takes less than " + std::to_string(size) + " bytes: " +
                rate_and_length(p, coded.complete);
  } else if (B < size - kPrefixBytes) {
    c->report = "the highest rate there is, well under " + std::to_string(size) + " bytes: " +
                rate_and_length(p, B);
  } else {
    c->report = "the highest rate that fits in " + std::to_string(size) + " bytes: " +
                rate_and_length(p, B);
  }
  return {};
}

// --psnr DB: one encoding at a high rate, then the shortest of its prefixes
// whose decoded picture reaches the target, found by halving the range.
std::string code_to_psnr(const Picture& p, double target, Coded* c) {
  RgbImage original{p.width, p.height, {}};
  original.pixels.assign(p.pixels,
                         p.pixels + static_cast<std::size_t>(p.width) * p.height * 3);
  RgbImage decoded = original;
  const double lowest = lowest_bitrate(p.width, p.height);
  StreamFile file;
  int32_t high = 0;  // a prefix length that reaches the target
  double reached = 0.0;
  std::string problem;
  // The PSNR of a prefix; 0 with `problem` set when it cannot be decoded.
  const auto psnr_of = [&](int32_t bytes) {
    problem = decode_prefix(file, bytes, &decoded);
    return problem.empty() ? measure(original, decoded).psnr : 0.0;
  };
  for (double bitrate = std::max(kFirstSearchRate, lowest);;
       bitrate = std::min(bitrate * 4.0, kMaxBitrate)) {
    FileBytes own;
    CodedFile coded;
    problem = encode_to_file(p.width, p.height, p.pixels, bitrate, {}, &own, &coded);
    if (!problem.empty()) return problem;
    own.set_size(coded.bytes.size());
    problem = parse_stream_file(std::move(own), &file);
    if (!problem.empty()) return problem;  // not expected
    high = coded.complete > 0 ? coded.complete : file.stream_bytes;
    reached = psnr_of(high);
    if (!problem.empty()) return problem;
    if (reached >= target) break;
    if (coded.complete > 0 || bitrate >= kMaxBitrate) {
      return "PSNR " + format_rate(target) + " dB is out of reach: the whole stream (" +
             rate_and_length(p, high) + ") gives " + format_psnr(reached) + " dB";
    }
  }
  // The shortest stream that holds the header may do already.
  int32_t low = stream_bytes(lowest, stream_rate_for(p.width, p.height));
  if (low < high) {
    const double q = psnr_of(low);
    if (!problem.empty()) return problem;
    if (q >= target) {
      high = low;
      reached = q;
    }
  }
  // From here `low` falls short of the target and `high` reaches it.
  while (high - low > 1) {
    const int32_t middle = low + (high - low) / 2;
    const double q = psnr_of(middle);
    if (!problem.empty()) return problem;
    if (q >= target) {
      high = middle;
      reached = q;
    } else {
      low = middle;
    }
  }
  c->own = std::move(file.bytes);
  c->file = c->own.bytes().first(static_cast<std::size_t>(high) + kPrefixBytes);
  c->report = "the shortest prefix that reaches " + format_rate(target) + " dB (" +
              format_psnr(reached) + " dB): " + rate_and_length(p, high);
  return {};
}

}  // namespace

int run_encode(const Options& o) {
  const std::string& in = o.files[0];
  const std::string& out = o.files[1];
  std::string problem = check_not_input(in, out);
  OutputFile output;
  if (problem.empty()) problem = output.open(out, "a coded stream");
  if (!problem.empty()) return refuse(output_name(out), problem);

  FileBytes data;
  problem = read_input(in, &data);
  if (!problem.empty()) return refuse(input_name(in), problem);
  // A PPM of 8-bit samples is coded from the file's own bytes; anything
  // else is converted first.
  Picture picture;
  std::size_t offset = 0;
  RgbImage image;
  if (ppm_pixels_in_place(data.bytes(), &picture.width, &picture.height, &offset)) {
    picture.pixels = data.data() + offset;
  } else {
    problem = read_image(data.bytes(), &image);
    picture = {image.width, image.height, image.pixels.data()};
  }
  if (problem.empty()) problem = check_size(picture.width, picture.height);
  if (!problem.empty()) return refuse(input_name(in), problem);
  const double reading = lap();

  // The coded file goes behind the input in its storage when there is room.
  Progress progress(int64_t{picture.width} * picture.height);
  // --psnr codes once and decodes many prefixes: a step without a share.
  const std::string step = o.has_psnr ? "encoding to " + format_rate(o.psnr) + " dB" : "encoding";
  progress.begin(input_name(in), step, !o.has_psnr);
  Coded coded;
  {
    const CodingProgress told(progress.shown() ? &Progress::report : nullptr, &progress);
    if (o.has_size) {
      problem = code_to_size(picture, o.size, data.spare(), &coded);
    } else if (o.has_psnr) {
      problem = code_to_psnr(picture, o.psnr, &coded);
    } else {
      problem = code_at_rate(picture, o.bitrate, data.spare(), &coded);
    }
  }
  const double coding = lap();
  if (!problem.empty()) return refuse(input_name(in), problem);

  progress.begin(output_name(out), "writing", false);
  problem = output.write(coded.file);
  const double writing = lap();
  if (!problem.empty()) return refuse(output_name(out), problem);
  if (!coded.report.empty()) note(input_name(in) + ": " + coded.report);
  if (o.verbose) {
    const std::string rate =
        o.has_size || o.has_psnr
            ? rate_for_bytes_text(picture.width, picture.height, stream_length(coded))
            : format_rate(o.bitrate);
    char text[256];
    std::snprintf(text, sizeof text,
                  "encoded %dx%d at %s bits per pixel: %d stream bytes, %zu with the "
                  "size prefix, in %s ms",
                  picture.width, picture.height, rate.c_str(), stream_length(coded),
                  coded.file.size(), format_ms(coding).c_str());
    note(input_name(in) + ": " + text + "; " + format_ms(run_ms()) + " ms in all (reading " +
         format_ms(reading) + ", writing " + format_ms(writing) + " ms)");
  }
  return kExitOk;
}

}  // namespace quarn
