#include "tools/args.h"

#include <algorithm>
#include <cstdlib>

#include "codec/validate.h"

namespace quarn {

namespace {

bool parse_number(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

std::string parse_bitrate(const std::string& text, double* value) {
  if (!parse_number(text, value)) return "bitrate '" + text + "' is not a number";
  return check_bitrate(*value);
}

std::string parse_rates(const std::string& text, std::vector<double>* rates) {
  rates->clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
    double rate = 0.0;
    const std::string problem = parse_bitrate(item, &rate);
    if (!problem.empty()) return problem;
    rates->push_back(rate);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  std::sort(rates->begin(), rates->end());
  rates->erase(std::unique(rates->begin(), rates->end()), rates->end());
  return {};
}

struct OptionName {
  const char* short_name;
  const char* long_name;
  unsigned bit;
};

constexpr OptionName kOptionNames[] = {
    {"-b", "--bitrate", kOptBitrate},
    {"-f", "--format", kOptFormat},
    {"-r", "--rates", kOptRates},
    {"-v", "--verbose", kOptVerbose},
    {"--no-simd", "--no-simd", kOptNoSimd},
};

}  // namespace

std::string parse_options(const std::vector<std::string>& args, unsigned allowed,
                          Options* o) {
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_end || arg == "-" || arg.empty() || arg[0] != '-') {
      o->files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      o->help = true;
      continue;
    }
    std::string name = arg;
    std::string value;
    bool has_value = false;
    const std::size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      has_value = true;
    }
    const OptionName* option = nullptr;
    for (const OptionName& s : kOptionNames) {
      if (name == s.short_name || name == s.long_name) option = &s;
    }
    if (option == nullptr || (allowed & option->bit) == 0) return "unknown option " + name;
    if (option->bit == kOptVerbose || option->bit == kOptNoSimd) {
      if (has_value) return "option " + name + " takes no value";
      (option->bit == kOptVerbose ? o->verbose : o->no_simd) = true;
      continue;
    }
    if (!has_value) {
      if (i + 1 >= args.size()) return "option " + name + " needs a value";
      value = args[++i];
    }
    std::string problem;
    if (option->bit == kOptBitrate) {
      problem = parse_bitrate(value, &o->bitrate);
      o->has_bitrate = true;
    } else if (option->bit == kOptRates) {
      problem = parse_rates(value, &o->rates);
      o->has_rates = true;
    } else if (value == "png" || value == "ppm") {
      o->format = value;
    } else {
      problem = "format '" + value + "' is neither png nor ppm";
    }
    if (!problem.empty()) return problem;
  }
  return {};
}

}  // namespace quarn
