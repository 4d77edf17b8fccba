// Every PNG colour type and depth, and every PNM/PAM layout, reads as the
// 8-bit RGB image it stands for.
#include "tools/image_file.h"

#include <gtest/gtest.h>

#include "tests/image_variants.h"
#include "tests/test_images.h"

namespace quarn {

namespace {

const std::vector<ImageVariant>& variants() {
  static const std::vector<ImageVariant> v = image_variants(crop(load_sample(), 67, 45, 300, 200));
  return v;
}

class ImageVariantTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ImageVariantTest, ReadsAsItsEightBitEquivalent) {
  const ImageVariant& v = variants()[GetParam()];
  ASSERT_FALSE(v.file.empty()) << v.name;
  RgbImage image;
  ASSERT_EQ(read_image(v.file, &image), "") << v.name;
  EXPECT_EQ(image.width, v.equivalent.width);
  EXPECT_EQ(image.height, v.equivalent.height);
  EXPECT_TRUE(image.pixels == v.equivalent.pixels) << v.name;
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, ImageVariantTest,
                         ::testing::Range<std::size_t>(0, variants().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                           return variants()[info.param].name;
                         });

TEST(ImageFile, WritesWhatItReadsBackInBothFormats) {
  const RgbImage image = crop(load_sample(), 40, 33);
  for (const ImageFormat format : {ImageFormat::kPng, ImageFormat::kPpm}) {
    std::vector<uint8_t> file;
    ASSERT_EQ(write_image(image, format, &file), "");
    RgbImage back;
    ASSERT_EQ(read_image(file, &back), "");
    EXPECT_EQ(back.width, 40);
    EXPECT_EQ(back.height, 33);
    EXPECT_TRUE(back.pixels == image.pixels);
  }
}

TEST(ImageFile, OutputFormatFollowsTheExtension) {
  EXPECT_EQ(format_for_extension("a/b.PNG"), ImageFormat::kPng);
  EXPECT_EQ(format_for_extension("b.ppm"), ImageFormat::kPpm);
  EXPECT_EQ(format_for_extension("b.pnm"), ImageFormat::kPpm);
  EXPECT_EQ(format_for_extension("b.jpg"), ImageFormat::kUnknown);
  EXPECT_EQ(format_for_extension("dir.png/b"), ImageFormat::kUnknown);
}

}  // namespace

}  // namespace quarn
