// Image files from anyone: PNG, PNM (P5, P6) and PAM (P7) through the reader
// the tool uses, which tells them apart by their first bytes. A file it takes
// must give a size the codec takes and exactly its pixels, and survive being
// written as PPM and read back unchanged.
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/validate.h"
#include "fuzz/fuzz_helper.h"
#include "tools/image_file.h"
#include "tools/pnm.h"

namespace quarn {

int test_one_input(const uint8_t* data, std::size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  RgbImage image;
  const std::string problem = read_image(file, &image);
  // The encoder codes an 8-bit P6 file from its own bytes: only a file the
  // reader takes, and then exactly its pixels.
  int32_t width = 0;
  int32_t height = 0;
  std::size_t offset = 0;
  if (ppm_pixels_in_place(file, &width, &height, &offset)) {
    fuzz::require(problem.empty() && width == image.width && height == image.height &&
                      offset <= size && size - offset >= image.pixels.size() &&
                      std::memcmp(data + offset, image.pixels.data(), image.pixels.size()) == 0,
                  "a PPM coded in place gives the pixels the reader gives");
  }
  if (!problem.empty()) {
    fuzz::require_one_line(problem);
    return 0;
  }
  fuzz::require(check_size(image.width, image.height).empty(),
                "a file that reads has a size the codec takes");
  fuzz::require(image.pixels.size() ==
                    static_cast<std::size_t>(image.width) * image.height * 3,
                "a file that reads gives 3 bytes for every pixel");

  std::vector<uint8_t> ppm;
  fuzz::require(write_image(image, ImageFormat::kPpm, &ppm).empty(), "PPM writing succeeds");
  RgbImage back;
  fuzz::require(read_image(ppm, &back).empty() && back.width == image.width &&
                    back.height == image.height && back.pixels == image.pixels,
                "a PPM written from a picture reads back as that picture");
  return 0;
}

}  // namespace quarn

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return quarn::test_one_input(data, size);
}
