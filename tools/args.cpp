#include "tools/args.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "codec/validate.h"

namespace quarn {

namespace {

// Spaces, tabs and line ends around a value, as a script may leave them.
std::string trimmed(const std::string& text) {
  const char* const blanks = " \t\n\r\v\f";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// A decimal number and what follows it, blanks around both dropped.
bool parse_number(const std::string& text, double* value, std::string* rest) {
  const std::string t = trimmed(text);
  if (t.empty()) return false;
  char* end = nullptr;
  *value = std::strtod(t.c_str(), &end);
  if (end == t.c_str()) return false;
  *rest = trimmed(end);
  return true;
}

bool parse_number(const std::string& text, double* value) {
  std::string rest;
  return parse_number(text, value, &rest) && rest.empty();
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

// Far more than any stream file can be; keeps the arithmetic exact.
constexpr double kLargestSize = 1e15;

std::string parse_size(const std::string& text, int64_t* bytes) {
  double value = 0.0;
  std::string unit;
  const std::string not_a_size = "size '" + text + "' is not a number of bytes (such as 20000, 20k or 1.5M)";
  if (!parse_number(text, &value, &unit)) return not_a_size;
  double scale = 1.0;
  if (unit == "k" || unit == "K") {
    scale = 1024.0;
  } else if (unit == "M") {
    scale = 1024.0 * 1024.0;
  } else if (!unit.empty()) {
    return not_a_size;
  }
  const double whole = std::floor(value * scale);
  if (!std::isfinite(value) || !(whole >= 1.0)) return "size '" + text + "' is not a positive number of bytes";
  *bytes = static_cast<int64_t>(std::min(whole, kLargestSize));
  return {};
}

std::string parse_psnr(const std::string& text, double* db) {
  if (!parse_number(text, db)) return "PSNR '" + text + "' is not a number";
  if (!std::isfinite(*db) || !(*db > 0.0)) return "PSNR '" + text + "' is not a finite, positive number of dB";
  return {};
}

struct OptionName {
  const char* short_name;  // nullptr: none
  const char* long_name;
  unsigned bit;
  bool takes_value;
};

constexpr OptionName kOptionNames[] = {
    {"-b", "--bitrate", kOptBitrate, true},
    {"-f", "--format", kOptFormat, true},
    {"-r", "--rates", kOptRates, true},
    {"-v", "--verbose", kOptVerbose, false},
    {nullptr, "--no-simd", kOptNoSimd, false},
    {nullptr, "--size", kOptSize, true},
    {nullptr, "--psnr", kOptPsnr, true},
    {nullptr, "--json", kOptJson, false},
};

const OptionName* find_option(const std::string& name) {
  for (const OptionName& o : kOptionNames) {
    if (name == o.long_name || (o.short_name != nullptr && name == o.short_name)) return &o;
  }
  return nullptr;
}

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
    // "--name=value", "-xVALUE", or the name alone.
    std::string name = arg;
    std::string value;
    bool has_value = false;
    if (arg.rfind("--", 0) == 0) {
      const std::size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        has_value = true;
      }
    } else if (arg.size() > 2) {
      name = arg.substr(0, 2);
      value = arg.substr(2);
      has_value = true;
      const OptionName* flag = find_option(name);
      if (flag != nullptr && !flag->takes_value) return "unknown option " + arg;
    }
    const OptionName* option = find_option(name);
    if (option == nullptr || (allowed & option->bit) == 0) return "unknown option " + name;
    if (!option->takes_value) {
      if (has_value) return "option " + name + " takes no value";
      (option->bit == kOptVerbose ? o->verbose
       : option->bit == kOptJson  ? o->json
                                  : o->no_simd) = true;
      continue;
    }
    if (!has_value) {
      if (i + 1 >= args.size()) return "option " + name + " needs a value";
      value = args[++i];
    }
    std::string problem;
    switch (option->bit) {
      case kOptBitrate:
        problem = parse_bitrate(value, &o->bitrate);
        o->has_bitrate = true;
        break;
      case kOptRates:
        problem = parse_rates(value, &o->rates);
        o->has_rates = true;
        break;
      case kOptSize:
        problem = parse_size(value, &o->size);
        o->has_size = true;
        break;
      case kOptPsnr:
        problem = parse_psnr(value, &o->psnr);
        o->has_psnr = true;
        break;
      default: {
        const std::string format = trimmed(value);
        if (format == "png" || format == "ppm") {
          o->format = format;
        } else {
          problem = "format '" + value + "' is neither png nor ppm";
        }
      }
    }
    if (!problem.empty()) return problem;
  }
  if (int{o->has_bitrate} + int{o->has_size} + int{o->has_psnr} > 1) {
    return "give only one of --bitrate, --size and --psnr";
  }
  return {};
}

}  // namespace quarn
