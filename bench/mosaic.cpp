// quarn_mosaic: a large test picture made of the Kodak photographs, for
// measuring the tool on large frames with the content of real photographs.
//
//   quarn_mosaic WIDTH HEIGHT OUT.ppm [KODAK_DIR]
//
// The landscape photos (768x512) are laid in rows, each next one in turn,
// and every other one mirrored so that the seams join smoothly. Without
// the photos, the bundled sample is tiled alone.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_util.h"

int main(int argc, char** argv) {
  using namespace quarn;
  if (argc < 4) {
    std::fprintf(stderr, "usage: quarn_mosaic WIDTH HEIGHT OUT.ppm [KODAK_DIR]\n");
    return 2;
  }
  const int32_t width = std::atoi(argv[1]);
  const int32_t height = std::atoi(argv[2]);
  const std::string dir = argc > 4 ? argv[4] : QUARN_KODAK_DIR;
  if (width < 1 || height < 1 || width > 65536 || height > 65536) {
    std::fprintf(stderr, "quarn_mosaic: sizes are 1 to 65536\n");
    return 2;
  }
  std::vector<RgbImage> photos;
  for (int i = 1; i <= 24; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/kodim%02d.png", i);
    RgbImage photo = load_png((dir + name).c_str());
    if (photo.width == 768 && photo.height == 512) photos.push_back(std::move(photo));
  }
  if (photos.empty()) photos.push_back(load_png(QUARN_SAMPLE));
  const int32_t tw = photos[0].width;
  const int32_t th = photos[0].height;
  if (tw == 0) {
    std::fprintf(stderr, "quarn_mosaic: no photo to tile\n");
    return 1;
  }
  std::FILE* out = std::fopen(argv[3], "wb");
  if (out == nullptr) {
    std::perror(argv[3]);
    return 1;
  }
  std::fprintf(out, "P6\n%d %d\n255\n", width, height);
  const int32_t across = (width + tw - 1) / tw;
  std::vector<uint8_t> row(static_cast<std::size_t>(width) * 3);
  for (int32_t y = 0; y < height; ++y) {
    const int32_t ty = y / th;
    const int32_t py = ty % 2 == 0 ? y % th : th - 1 - y % th;
    for (int32_t x = 0; x < width; ++x) {
      const int32_t tx = x / tw;
      const int32_t px = tx % 2 == 0 ? x % tw : tw - 1 - x % tw;
      const RgbImage& p = photos[static_cast<std::size_t>(ty * across + tx) % photos.size()];
      const uint8_t* from = &p.pixels[(static_cast<std::size_t>(py) * tw + px) * 3];
      for (int c = 0; c < 3; ++c) row[static_cast<std::size_t>(x) * 3 + c] = from[c];
    }
    std::fwrite(row.data(), 1, row.size(), out);
  }
  if (std::fclose(out) != 0) {
    std::perror(argv[3]);
    return 1;
  }
  return 0;
}
