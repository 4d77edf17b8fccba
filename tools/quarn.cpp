// quarn: encode images into embedded streams and decode them back.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec/budget.h"
#include "codec/decoder.h"
#include "codec/encoder.h"
#include "codec/validate.h"
#include "tools/png_io.h"
#include "tools/image_file.h"

namespace {

constexpr const char kUsage[] =
    "usage: quarn encode IN.ppm|IN.png OUT [--bitrate R]   (default R = 0.5)\n"
    "       quarn decode IN OUT.ppm|OUT.png [--bitrate R]  (default: the whole stream)\n";

int usage_error(const char* what) {
  std::fprintf(stderr, "quarn: %s\n%s", what, kUsage);
  return 2;
}

int fail(const std::string& file, const std::string& problem) {
  std::fprintf(stderr, "quarn: %s: %s\n", file.c_str(), problem.c_str());
  return 1;
}

bool read_file(const std::string& path, std::vector<uint8_t>* data, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    *error = std::strerror(errno);
    return false;
  }
  data->clear();
  uint8_t chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data->insert(data->end(), chunk, chunk + n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  if (!ok) *error = "read error";
  return ok;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& data, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    *error = std::strerror(errno);
    return false;
  }
  const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  const bool closed = std::fclose(f) == 0;
  if (!ok || !closed) *error = "write error";
  return ok && closed;
}

bool parse_rate(const char* text, double* rate) {
  char* end = nullptr;
  *rate = std::strtod(text, &end);
  return end != text && *end == '\0';
}

int encode(const std::string& in, const std::string& out, double bitrate) {
  std::vector<uint8_t> file;
  std::string error;
  if (!read_file(in, &file, &error)) return fail(in, error);
  RgbImage image;
  error = read_image(file, &image);
  if (error.empty()) error = check_encode(image.width, image.height, bitrate);
  if (!error.empty()) return fail(in, error);

  const int32_t B = stream_bytes(bitrate, stream_rate_for(image.width, image.height));
  std::vector<uint8_t> row(static_cast<std::size_t>(B) + kPrefixBytes);
  static Encoder enc;
  encode_image(enc, row.data(), row.size(), image.width, image.height,
               image.pixels.data(), bitrate);
  if (!write_file(out, row, &error)) return fail(out, error);
  return 0;
}

int decode(const std::string& in, const std::string& out, double bitrate, bool whole) {
  std::vector<uint8_t> file;
  std::string error;
  if (!read_file(in, &file, &error)) return fail(in, error);
  int32_t width = 0, height = 0;
  error = check_stream(file.data(), file.size(), &width, &height);
  if (error.empty() && !whole) error = check_bitrate(bitrate);
  if (!error.empty()) return fail(in, error);
  const auto stream_size = static_cast<int32_t>(file.size() - kPrefixBytes);
  if (whole) bitrate = bitrate_for_bytes(width, height, stream_size);

  std::vector<uint8_t> cells(static_cast<std::size_t>(width) * height * 4);
  static Decoder dec;
  decode_image(dec, width, height, file.data() + kPrefixBytes,
               static_cast<std::size_t>(stream_size), cells.data(),
               static_cast<std::ptrdiff_t>(width) * 4, bitrate);
  RgbImage image;
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0, n = image.pixels.size() / 3; i < n; ++i) {
    std::memcpy(&image.pixels[3 * i], &cells[4 * i + 1], 3);
  }
  std::vector<uint8_t> encoded;
  if (out.size() > 4 && out.compare(out.size() - 4, 4, ".png") == 0) {
    error = write_png(image, &encoded);
    if (!error.empty()) return fail(out, error);
  } else {
    error = write_image(image, ImageFormat::kPpm, &encoded);
  }
  if (!write_file(out, encoded, &error)) return fail(out, error);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage_error("missing command");
  const std::string command = argv[1];
  std::vector<std::string> files;
  double bitrate = 0.5;
  bool rate_given = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--bitrate" || arg == "-b") {
      if (i + 1 >= argc || !parse_rate(argv[i + 1], &bitrate)) {
        return usage_error("--bitrate needs a number");
      }
      rate_given = true;
      ++i;
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) return usage_error("expected an input and an output file");
  if (rate_given) {
    const std::string problem = check_bitrate(bitrate);
    if (!problem.empty()) return usage_error(problem.c_str());
  }
  if (command == "encode") return encode(files[0], files[1], bitrate);
  if (command == "decode") return decode(files[0], files[1], bitrate, !rate_given);
  return usage_error("unknown command");
}
