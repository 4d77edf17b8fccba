// The PNG writer's files: read back exactly by libpng on its own (any size,
// one band or many), the same bytes for every thread count, and chunks laid
// out as the format asks.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "tests/libpng_reader.h"
#include "tests/test_images.h"
#include "tools/png_io.h"

namespace quarn {
namespace {

RgbImage noisy_gradient(int32_t width, int32_t height, uint32_t seed) {
  std::mt19937 random(seed);
  RgbImage image{width, height, {}};
  image.pixels.resize(static_cast<std::size_t>(width) * height * 3);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = &image.pixels[(static_cast<std::size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(x + y);
      p[1] = static_cast<uint8_t>(x * 3 + random() % 4);
      p[2] = static_cast<uint8_t>(random());
    }
  }
  return image;
}

struct Chunk {
  std::string type;
  std::size_t at = 0;
  uint32_t length = 0;
};

std::vector<Chunk> chunks_of(const std::vector<uint8_t>& f) {
  std::vector<Chunk> chunks;
  for (std::size_t at = 8; at + 12 <= f.size();) {
    Chunk c{std::string(f.begin() + static_cast<std::ptrdiff_t>(at) + 4,
                        f.begin() + static_cast<std::ptrdiff_t>(at) + 8),
            at, get32(f, at)};
    chunks.push_back(c);
    at += 12 + c.length;
  }
  return chunks;
}

TEST(PngWrite, ReadsBackExactlyAtAnySize) {
  // One pixel; rows narrower than the filter's vector; odd widths; one row,
  // and two, wider than a band; many bands of a few rows.
  const int32_t sizes[][2] = {{1, 1},      {1, 7},      {5, 3},       {7, 2},   {33, 40},
                              {97, 1},     {90001, 1},  {200000, 2},  {3000, 700}};
  for (const auto& size : sizes) {
    const RgbImage image = noisy_gradient(size[0], size[1], 7);
    std::vector<uint8_t> file;
    ASSERT_EQ(write_png(image, &file), "");
    int32_t width = 0;
    int32_t height = 0;
    EXPECT_EQ(read_with_libpng(file, &width, &height), image.pixels) << size[0] << "x" << size[1];
    EXPECT_EQ(width, size[0]);
    EXPECT_EQ(height, size[1]);
  }
  // And through the tool's own reader.
  const RgbImage sample = load_sample();
  std::vector<uint8_t> file;
  ASSERT_EQ(write_png(sample, &file), "");
  RgbImage back;
  ASSERT_EQ(read_png(file, &back), "");
  EXPECT_EQ(back.pixels, sample.pixels);
}

// Grey pictures (the three channels equal, as the tool writes a decoded
// grey image) and flat ones, whose filtered rows are long runs of zeros
// that the coder sends as matches, across many bands.
TEST(PngWrite, GreyAndFlatPicturesReadBackExactly) {
  for (const int32_t width : {31, 1001, 4099}) {
    RgbImage grey = noisy_gradient(width, 301, 11);
    for (std::size_t i = 0; i < grey.pixels.size(); i += 3) {
      grey.pixels[i + 1] = grey.pixels[i + 2] = grey.pixels[i];
    }
    RgbImage flat{width, 301, std::vector<uint8_t>(static_cast<std::size_t>(width) * 301 * 3)};
    for (std::size_t i = 0; i < flat.pixels.size(); ++i) {
      flat.pixels[i] = static_cast<uint8_t>(i % 3 == 0 ? 200 : 17 * (i % 3));
    }
    // Flat but for one changed pixel in a few rows.
    RgbImage nearly = flat;
    for (std::size_t y = 0; y < 301; y += 37) nearly.pixels[y * width * 3 + y % 5] ^= 0x55;
    for (const RgbImage* image : {&grey, &flat, &nearly}) {
      std::vector<uint8_t> file;
      ASSERT_EQ(write_png(*image, &file), "");
      int32_t w = 0;
      int32_t h = 0;
      EXPECT_EQ(read_with_libpng(file, &w, &h), image->pixels) << width;
      EXPECT_EQ(w, width);
      EXPECT_EQ(h, 301);
    }
    std::vector<uint8_t> flat_file;
    ASSERT_EQ(write_png(flat, &flat_file), "");
    EXPECT_LT(flat_file.size(), flat.pixels.size() / 50) << "runs are coded as matches";
  }
}

TEST(PngWrite, SameBytesForEveryThreadCount) {
  for (const RgbImage& image : {noisy_gradient(3000, 700, 3), load_sample()}) {
    std::vector<uint8_t> one;
    ASSERT_EQ(write_png(image, &one, 1), "");
    for (const int32_t threads : {2, 3, 7, 0}) {
      std::vector<uint8_t> file;
      ASSERT_EQ(write_png(image, &file, threads), "");
      EXPECT_EQ(file, one) << threads << " threads";
    }
  }
}

TEST(PngWrite, LaysOutItsChunksAsTheFormatAsks) {
  const RgbImage image = noisy_gradient(3000, 700, 5);
  std::vector<uint8_t> f;
  ASSERT_EQ(write_png(image, &f), "");
  ASSERT_GE(f.size(), 8u);
  EXPECT_EQ(png_sig_cmp(f.data(), 0, 8), 0);
  const std::vector<Chunk> chunks = chunks_of(f);
  ASSERT_GE(chunks.size(), 4u);  // several bands here
  EXPECT_EQ(chunks.front().type, "IHDR");
  EXPECT_EQ(chunks.back().type, "IEND");
  const Chunk& last = chunks.back();
  EXPECT_EQ(last.at + 12, f.size());
  std::vector<uint8_t> stream;
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    const Chunk& c = chunks[i];
    const uint8_t* body = f.data() + c.at + 4;
    EXPECT_EQ(crc32(0, body, c.length + 4), get32(f, c.at + 8 + c.length)) << c.type;
    if (i > 0 && i + 1 < chunks.size()) {
      EXPECT_EQ(c.type, "IDAT");
      stream.insert(stream.end(), body + 4, body + 4 + c.length);
    }
  }
  // IHDR: the size, 8-bit RGB, no interlace.
  EXPECT_EQ(chunks.front().length, 13u);
  EXPECT_EQ(get32(f, 16), 3000u);
  EXPECT_EQ(get32(f, 20), 700u);
  EXPECT_EQ(f[24], 8);
  EXPECT_EQ(f[25], PNG_COLOR_TYPE_RGB);
  EXPECT_EQ(f[28], PNG_INTERLACE_NONE);
  // One zlib stream (its checksum included) of every row, filter byte first.
  std::vector<uint8_t> rows(700 * (3000 * 3 + 1));
  uLongf size = rows.size();
  ASSERT_EQ(uncompress(rows.data(), &size, stream.data(), stream.size()), Z_OK);
  EXPECT_EQ(size, rows.size());
}

TEST(PngWrite, RefusesAnEmptyImage) {
  std::vector<uint8_t> file(3);
  EXPECT_EQ(write_png(0, 5, nullptr, &file), "cannot write PNG: the image is empty");
  EXPECT_TRUE(file.empty());
}

}  // namespace
}  // namespace quarn
