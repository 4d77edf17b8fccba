// The command line: a command name, its files and its options.
#ifndef QUARN_TOOLS_ARGS_H
#define QUARN_TOOLS_ARGS_H

#include <cstdint>
#include <string>
#include <vector>

namespace quarn {

// Options a command can take.
enum OptionBits : unsigned {
  kOptBitrate = 1,  // -b, --bitrate R
  kOptFormat = 2,   // -f, --format png|ppm
  kOptRates = 4,    // -r, --rates R,R,...
  kOptVerbose = 8,  // -v, --verbose
  kOptNoSimd = 16,  // --no-simd
  kOptSize = 32,    // --size BYTES
  kOptPsnr = 64,    // --psnr DB
  kOptJson = 128,   // --json
};

struct Options {
  std::vector<std::string> files;
  bool help = false;
  bool verbose = false;
  bool no_simd = false;  // the scalar kernels only
  bool json = false;     // info as one JSON object
  bool has_bitrate = false;
  double bitrate = 0.5;
  bool has_rates = false;
  std::vector<double> rates;  // ascending, no repeats
  std::string format;         // "", "png" or "ppm"
  bool has_size = false;
  int64_t size = 0;           // bytes, the size prefix included
  bool has_psnr = false;
  double psnr = 0.0;          // dB
};

// Parses the arguments that follow the command name, accepting the options
// in `allowed` (and -h, --help). A value goes in the next argument ("-b 0.5",
// "--bitrate 0.5"), after "=" ("--bitrate=0.5") or right after a short name
// ("-b0.5"). "-" is a file name; "--" ends the options. Blanks around a
// number do not count. Bitrates must be finite, positive and not absurd;
// sizes take a k (1024) or M (1024 k) suffix. At most one of --bitrate,
// --size and --psnr. Returns an empty string, or the problem in one line.
std::string parse_options(const std::vector<std::string>& args, unsigned allowed,
                          Options* options);

}  // namespace quarn

#endif  // QUARN_TOOLS_ARGS_H
