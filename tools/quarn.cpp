// quarn: encode images into embedded streams, decode them back, and look at
// what each budget gives.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "image/big_buffer.h"
#include "image/fatal.h"
#include "image/kernels.h"
#include "quarn/quarn.h"
#include "stream/budget.h"
#include "tools/args.h"
#include "tools/commands.h"
#include "tools/help.h"
#include "tools/messages.h"

namespace quarn {

namespace {

struct Command {
  const char* name;
  std::size_t files;
  unsigned options;
  int (*run)(const Options&);
  const char* help;
};

constexpr Command kCommands[] = {
    {"encode", 2, kOptBitrate | kOptSize | kOptPsnr | kOptVerbose | kOptNoSimd, run_encode,
     kEncodeHelp},
    {"decode", 2, kOptBitrate | kOptFormat | kOptVerbose | kOptNoSimd, run_decode, kDecodeHelp},
    {"info", 1, kOptJson, run_info, kInfoHelp},
    {"compare", 2, kOptNoSimd, run_compare, kCompareHelp},
    {"ladder", 2, kOptRates | kOptFormat | kOptVerbose | kOptNoSimd, run_ladder, kLadderHelp},
};

const Command* find_command(const std::string& name) {
  for (const Command& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

int run(int argc, char** argv) {
  if (argc < 2) return usage_error("", "no command given");
  const std::string first = argv[1];
  if (first == "-h" || first == "--help" || first == "help") {
    if (argc > 2) {
      const Command* c = find_command(argv[2]);
      if (c == nullptr) return usage_error("", "unknown command '" + std::string(argv[2]) + "'");
      std::fputs(c->help, stdout);
    } else {
      std::fputs(kToolHelp, stdout);
    }
    return kExitOk;
  }
  if (first == "-V" || first == "--version") {
    std::printf("quarn %s\n", quarn_version());
    return kExitOk;
  }
  const Command* command = find_command(first);
  if (command == nullptr) return usage_error("", "unknown command '" + first + "'");

  Options options;
  const std::string problem =
      parse_options(std::vector<std::string>(argv + 2, argv + argc), command->options, &options);
  if (options.help) {
    std::fputs(command->help, stdout);
    return kExitOk;
  }
  if (!problem.empty()) return usage_error(command->name, problem);
  // The scalar kernels give the same bytes, only slower: for comparing, and
  // for processors where the wider ones misbehave.
  if (options.no_simd) kernels::force_scalar(true);
  if (options.files.size() != command->files) {
    return usage_error(command->name,
                       "expected " + std::to_string(command->files) + " file name" +
                           (command->files == 1 ? "" : "s") + ", got " +
                           std::to_string(options.files.size()));
  }
  return command->run(options);
}

}  // namespace

ImageFormat output_format(const Options& options, const std::string& out) {
  if (!options.format.empty()) return format_for_name(options.format);
  if (out == "-") return ImageFormat::kPng;
  return format_for_extension(out);
}

std::string image_noun(ImageFormat format) {
  return format == ImageFormat::kPpm ? "a PPM image" : "a PNG image";
}

std::string format_rate(double rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", rate);
  return text;
}

std::string rate_for_bytes_text(int32_t width, int32_t height, int32_t bytes) {
  // Every rate from the lowest that gives `bytes` to the lowest that gives
  // one more does: the fewest digits that land in that range.
  const float stream_rate = stream_rate_for(width, height);
  const double low = bitrate_for_bytes(width, height, bytes);
  const double middle = low + 0.5 * static_cast<double>(stream_rate);
  char text[40];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, middle);
    if (middle >= 1.0 && std::strchr(text, 'e') != nullptr) continue;  // "1e+01"
    if (stream_bytes(std::strtod(text, nullptr), stream_rate) == bytes) break;
  }
  return text;
}

}  // namespace quarn

int main(int argc, char** argv) {
  using namespace quarn;
  // One picture per run: its buffers share huge pages.
  share_big_buffers(true);
  // A file-size limit makes a write fail, to be reported, rather than end
  // the process.
  std::signal(SIGXFSZ, SIG_IGN);
  int status = kExitBadInput;
  try {
    status = run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("quarn: out of memory\n", stderr);
  } catch (const Fault& fault) {
    std::fprintf(stderr, "quarn: %s\n", fault.what());
  }
  // Whatever went to stdout must have arrived: text that is lost is a
  // failure like any other.
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  if (!flushed && status == kExitOk) {
    status = refuse("stdout", errno != 0 ? std::strerror(errno) : "write error");
  }
  return status;
}
