#include "tools/image_file.h"

#include <cctype>

#include "tools/png_io.h"
#include "tools/pnm.h"

namespace quarn {

bool looks_like_image(std::span<const uint8_t> file) {
  return looks_like_png(file) || looks_like_pnm(file);
}

std::string read_image(std::span<const uint8_t> file, RgbImage* image) {
  if (looks_like_png(file)) return read_png(file, image);
  if (looks_like_pnm(file)) return read_pnm(file, image);
  return "not a PNG, PNM or PAM image";
}

ImageFormat format_for_extension(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return ImageFormat::kUnknown;
  }
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "png") return ImageFormat::kPng;
  if (ext == "ppm" || ext == "pnm") return ImageFormat::kPpm;
  return ImageFormat::kUnknown;
}

ImageFormat format_for_name(const std::string& name) {
  if (name == "png") return ImageFormat::kPng;
  if (name == "ppm") return ImageFormat::kPpm;
  return ImageFormat::kUnknown;
}

std::string write_image(const RgbImage& image, ImageFormat format, std::vector<uint8_t>* file,
                        int32_t threads, WriteProgress progress) {
  if (format == ImageFormat::kPpm) {
    *file = write_ppm(image);
    return {};
  }
  return write_png(image, file, threads, progress);
}

}  // namespace quarn
