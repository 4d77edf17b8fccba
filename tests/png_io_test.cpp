// PNG input that is damaged, cut short or claims an impossible size is
// refused with a message, never read out of bounds.
#include "tools/png_io.h"

#include <gtest/gtest.h>

#include "tests/test_images.h"

namespace quarn {

namespace {

std::vector<uint8_t> small_png() {
  std::vector<uint8_t> file;
  EXPECT_EQ(write_png(crop(load_sample(), 40, 36, 100, 100), &file), "");
  return file;
}

// The same file with another size in its IHDR (CRC kept valid).
std::vector<uint8_t> claiming(uint32_t width, uint32_t height) {
  std::vector<uint8_t> f = small_png();
  put32(&f, 16, width);
  put32(&f, 20, height);
  fix_crc(&f, 8);
  return f;
}

TEST(PngRead, RefusesSizesOutsideTheCodecsRangeBeforeDecoding) {
  RgbImage image;
  EXPECT_EQ(read_png(claiming(100000, 40), &image),
            "image is 100000x40; the largest size is 8192x8192");
  EXPECT_EQ(read_png(claiming(0x7FFFFFFF, 0x7FFFFFFF), &image),
            "image is 2147483647x2147483647; the largest size is 8192x8192");
  EXPECT_EQ(read_png(claiming(31, 40), &image), "image is 31x40; the smallest size is 32x32");
  EXPECT_EQ(image.pixels.size(), 0u);
}

TEST(PngRead, RefusesALargeSizeThatTheDataCannotHold) {
  // 8000 x 8000 pixels cannot come out of a file of a few kilobytes.
  RgbImage image;
  EXPECT_EQ(read_png(claiming(8000, 8000), &image),
            "PNG file is truncated (too little data for a 8000x8000 image)");
}

TEST(PngRead, RefusesTheFileCutAtEveryLength) {
  const std::vector<uint8_t> whole = small_png();
  RgbImage image;
  ASSERT_EQ(read_png(whole, &image), "");
  for (std::size_t n = 0; n < whole.size(); ++n) {
    const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    RgbImage partial;
    EXPECT_NE(read_png(cut, &partial), "") << "cut at " << n;
  }
}

TEST(PngRead, RefusesABadChecksumAndSurvivesDamagedData) {
  const std::vector<uint8_t> whole = small_png();
  const std::size_t idat = 8 + 25;  // signature, IHDR; the writer's first IDAT follows
  ASSERT_EQ(std::string(whole.begin() + idat + 4, whole.begin() + idat + 8), "IDAT");
  const uint32_t length = get32(whole, idat);
  std::vector<uint8_t> f = whole;
  f[idat + 8 + length] ^= 0x10;
  RgbImage image;
  EXPECT_EQ(read_png(f, &image), "damaged PNG: IDAT: CRC error");

  // With the checksum made good, damage reaches the decompressor and the
  // filters: refused, or read at the right size, never more.
  for (std::size_t i = idat + 8; i < idat + 8 + length; ++i) {
    f = whole;
    f[i] ^= 0xA5;
    fix_crc(&f, idat);
    RgbImage damaged;
    if (read_png(f, &damaged).empty()) {
      EXPECT_EQ(damaged.pixels.size(), 40u * 36 * 3);
    }
  }
}

}  // namespace

}  // namespace quarn
