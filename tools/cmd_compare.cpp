// quarn compare A B
#include <cstdio>

#include "tools/commands.h"
#include "tools/file_io.h"
#include "tools/measure.h"
#include "tools/messages.h"
#include "tools/stream_file.h"

namespace quarn {

namespace {

int load(const std::string& path, RgbImage* image) {
  FileBytes data;
  std::string problem = read_input(path, &data);
  if (problem.empty()) problem = read_picture(std::move(data), input_name(path), image);
  return problem.empty() ? kExitOk : refuse(input_name(path), problem);
}

}  // namespace

int run_compare(const Options& o) {
  const std::string& a_path = o.files[0];
  const std::string& b_path = o.files[1];
  if (a_path == "-" && b_path == "-") return usage_error("compare", "only one file can be stdin");
  RgbImage a;
  RgbImage b;
  int status = load(a_path, &a);
  if (status == kExitOk) status = load(b_path, &b);
  if (status != kExitOk) return status;
  if (a.width != b.width || a.height != b.height) {
    return refuse(input_name(b_path), "image is " + std::to_string(b.width) + "x" +
                                          std::to_string(b.height) + " but " +
                                          input_name(a_path) + " is " +
                                          std::to_string(a.width) + "x" +
                                          std::to_string(a.height));
  }
  const Difference d = measure(a, b);
  std::printf("PSNR RGB:            %s dB\n", format_psnr(d.psnr).c_str());
  std::printf("PSNR R, G, B:        %s %s %s dB\n", format_psnr(d.channel_psnr[0]).c_str(),
              format_psnr(d.channel_psnr[1]).c_str(), format_psnr(d.channel_psnr[2]).c_str());
  std::printf("largest difference:  %d\n", d.largest);
  return kExitOk;
}

}  // namespace quarn
