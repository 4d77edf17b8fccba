// PNM and PAM input that is damaged, cut short or outside the codec's sizes
// is refused with a message.
#include "tools/pnm.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quarn {

namespace {

struct Bad {
  const char* name;
  std::string file;
  std::string message;
};

std::string pixels(std::size_t n) { return std::string(n, '\x40'); }

const Bad kBad[] = {
    {"NotNetpbm", "Q6 32 32 255\n", "not a PNM file"},
    {"Ascii", "P3\n32 32\n255\n0 0 0\n", "PNM type P3 is not supported; use binary P5, P6 or P7 (PAM)"},
    {"Bitmap", "P4\n32 32\n", "PNM type P4 is not supported; use binary P5, P6 or P7 (PAM)"},
    {"NoNumbers", "P6\nabc\n", "damaged PNM header"},
    {"HeaderEndsAtMaxval", "P6 32 32 255", "damaged PNM header"},
    {"AbsurdNumber", "P6 99999999999 32 255\n", "damaged PNM header"},
    {"TooSmall", "P6 31 40 255\n" + pixels(31 * 40 * 3), "image is 31x40; the smallest size is 32x32"},
    // The size is refused before the missing data is noticed.
    {"TooLarge", "P6 9000 40 255\n", "image is 9000x40; the largest size is 8192x8192"},
    {"MaxvalZero", "P5 32 32 0\n" + pixels(32 * 32), "PNM maxval 0 is outside 1..65535"},
    {"MaxvalTooLarge", "P5 32 32 65536\n" + pixels(32 * 32 * 2), "PNM maxval 65536 is outside 1..65535"},
    {"Truncated", "P6 32 32 255\n" + pixels(32 * 32 * 3 - 1),
     "PNM pixel data is truncated (3071 of 3072 bytes)"},
    {"Truncated16", "P6 32 32 65535\n" + pixels(32 * 32 * 6 - 2),
     "PNM pixel data is truncated (6142 of 6144 bytes)"},
    {"SampleAboveMaxval", "P5 32 32 50\n" + pixels(32 * 32), "PNM sample 64 is above maxval 50"},
    {"PamNoEnd", "P7\nWIDTH 32\nHEIGHT 32\nDEPTH 3\nMAXVAL 255\n", "damaged PAM header: no ENDHDR line"},
    {"PamMissingField", "P7\nWIDTH 32\nHEIGHT 32\nMAXVAL 255\nENDHDR\n",
     "damaged PAM header: WIDTH, HEIGHT, DEPTH and MAXVAL are all needed"},
    {"PamUnknownField", "P7\nWIDTH 32\nCOLOUR 3\nENDHDR\n", "damaged PAM header: unknown field COLOUR"},
    {"PamBadNumber", "P7\nWIDTH x\nENDHDR\n", "damaged PAM header: WIDTH needs a number"},
    {"PamDepth5", "P7\nWIDTH 32\nHEIGHT 32\nDEPTH 5\nMAXVAL 255\nENDHDR\n",
     "PAM depth 5 is not supported (1 to 4)"},
};

class PnmRefusal : public ::testing::TestWithParam<Bad> {};

TEST_P(PnmRefusal, NamesTheProblem) {
  const std::vector<uint8_t> file(GetParam().file.begin(), GetParam().file.end());
  RgbImage image;
  EXPECT_EQ(read_pnm(file, &image), GetParam().message);
  EXPECT_TRUE(image.pixels.empty());
}

INSTANTIATE_TEST_SUITE_P(Files, PnmRefusal, ::testing::ValuesIn(kBad),
                         [](const ::testing::TestParamInfo<Bad>& info) { return info.param.name; });

// The encoder codes an 8-bit P6 file from its own bytes: only a file that
// read_pnm takes, and then exactly the pixels it gives.
TEST(PnmInPlace, TakesOnlyCompleteEightBitPpm) {
  for (const Bad& bad : kBad) {
    const std::vector<uint8_t> file(bad.file.begin(), bad.file.end());
    int32_t width = 0, height = 0;
    std::size_t offset = 0;
    EXPECT_FALSE(ppm_pixels_in_place(file, &width, &height, &offset)) << bad.name;
  }
  std::string text = "P6 # comment\n40 32\n255\n";
  for (int i = 0; i < 40 * 32 * 3; ++i) text += static_cast<char>(i * 7);
  text += "trailing";
  const std::vector<uint8_t> file(text.begin(), text.end());
  int32_t width = 0, height = 0;
  std::size_t offset = 0;
  ASSERT_TRUE(ppm_pixels_in_place(file, &width, &height, &offset));
  RgbImage image;
  ASSERT_EQ(read_pnm(file, &image), "");
  EXPECT_EQ(width, image.width);
  EXPECT_EQ(height, image.height);
  EXPECT_TRUE(std::equal(image.pixels.begin(), image.pixels.end(), file.begin() + static_cast<std::ptrdiff_t>(offset)));

  for (const char* other : {"P6 40 32 254\n", "P5 40 32 255\n", "P7\nWIDTH 40\nHEIGHT 32\nDEPTH 3\nMAXVAL 255\nENDHDR\n"}) {
    const std::string t = other + std::string(40 * 32 * 3, 'x');
    EXPECT_FALSE(ppm_pixels_in_place(std::vector<uint8_t>(t.begin(), t.end()), &width, &height, &offset)) << other;
  }
}

TEST(PnmRead, IgnoresDataAfterTheImage) {
  const std::string text = "P5 32 32 255\n" + pixels(32 * 32) + "P5 next image";
  RgbImage image;
  ASSERT_EQ(read_pnm(std::vector<uint8_t>(text.begin(), text.end()), &image), "");
  EXPECT_EQ(image.pixels, std::vector<uint8_t>(32 * 32 * 3, 0x40));
}

TEST(PnmRead, CutAtEveryLengthIsRefused) {
  const std::string text = "P7\nWIDTH 32\nHEIGHT 32\nDEPTH 2\nMAXVAL 65535\nENDHDR\n" +
                           pixels(32 * 32 * 4);
  for (std::size_t n = 0; n < text.size(); ++n) {
    RgbImage image;
    EXPECT_NE(read_pnm(std::vector<uint8_t>(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n)),
                       &image),
              "")
        << "cut at " << n;
  }
}

}  // namespace

}  // namespace quarn
