#include "image/image_3c.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "image/fatal.h"
#include "tests/image_test_util.h"

namespace quarn {

namespace {

TEST(CodingSize, RoundsToEightBelow200AndSixteenFrom200) {
  const int32_t cases[][2] = {{8, 8},     {9, 16},    {33, 40},   {100, 104},
                              {199, 200}, {200, 208}, {480, 480}, {500, 512},
                              {600, 608}, {640, 640}, {1080, 1088}, {8192, 8192},
                              {16368, 16368}};
  for (const auto& c : cases) EXPECT_EQ(Image_3C::CodingSize(c[0]), c[1]) << c[0];
  // Refused: below 8, and sizes whose coding size does not fit 14 bits.
  for (int32_t n : {-1, 0, 7, 16369, 16383, 16384}) EXPECT_EQ(Image_3C::CodingSize(n), 0) << n;
}

TEST(LevelCount, SmallerOfTrailingZerosAndLogMinusThree) {
  const int32_t cases[][2] = {{8, 0},   {16, 1},  {24, 1},   {32, 2},   {104, 3},
                              {200, 3}, {208, 4}, {256, 5},  {480, 5},  {640, 6},
                              {720, 4}, {1088, 6}, {1920, 7}, {8192, 10}};
  for (const auto& c : cases) EXPECT_EQ(Image_3C::LevelCount(c[0]), c[1]) << c[0];
}

TEST(Image3C, AllocateKeepsStorageForTheSameSizeAndReplacesItOtherwise) {
  Image_3C image;
  image.Allocate(8, 8);
  EXPECT_EQ(image.codeRows, 8);
  EXPECT_EQ(image.codeCols, 8);
  EXPECT_EQ(image.line - image.lineStore, 4);
  EXPECT_EQ(image.current, image.plane[2]);
  EXPECT_EQ(image.levels, -1);

  image.levels = 0;
  image.plane[1][3][5] = 42.0f;
  float* kept = image.plane[1][0];
  image.Allocate(8, 8);
  EXPECT_EQ(image.plane[1][0], kept);
  EXPECT_EQ(image.plane[1][3][5], 42.0f);
  EXPECT_EQ(image.levels, 0);

  image.Allocate(199, 200);
  EXPECT_EQ(image.codeRows, 200);
  EXPECT_EQ(image.codeCols, 208);
  EXPECT_EQ(image.levels, -1);
  image.Release();
  EXPECT_EQ(image.rows, 0);
  EXPECT_EQ(image.levels, -1);
  image.Release();  // releasing an empty image only resets its state
  EXPECT_EQ(image.lineStore, nullptr);
}

TEST(Image3C, ResetCoefficientsClearsEverything) {
  Image_3C image;
  image.Allocate(240, 320);
  image.levels = 0;
  image.mean[1] = 7;
  image.matrix[2][2] = 1.0f;
  for (int k = 0; k < 3; ++k) image.plane[k][239][319] = 5.0f;
  image.ResetCoefficients(240, 320);
  EXPECT_EQ(image.levels, 4);  // 240 allows 4 levels, 320 allows 5
  EXPECT_EQ(image.mean[1], 0);
  EXPECT_EQ(image.matrix[2][2], 0.0f);
  for (int k = 0; k < 3; ++k) {
    for (int32_t y = 0; y < image.codeRows; ++y) {
      for (int32_t x = 0; x < image.codeCols; ++x) ASSERT_EQ(image.plane[k][y][x], 0.0f);
    }
  }
}

TEST(Fault, FatalErrorsAndFailedAllocationsRaiseTheirTexts) {
  try {
    FatalError("something broke");
    ADD_FAILURE() << "FatalError returned";
  } catch (const Fault& f) {
    EXPECT_EQ(f.kind(), Fault::Kind::kInternal);
    EXPECT_STREQ(f.what(), "something broke");
  }
  try {
    CheckAllocation(nullptr, "LSP");
    ADD_FAILURE() << "CheckAllocation returned";
  } catch (const Fault& f) {
    EXPECT_EQ(f.kind(), Fault::Kind::kMemory);
    EXPECT_STREQ(f.what(), "insufficient memory.");
    EXPECT_STREQ(f.origin(), "LSP");
  }
  int x = 0;
  CheckAllocation(&x, "LSP");  // a valid pointer passes
}

TEST(Fault, ImageRefusesBadSizesAndColours) {
  const char kTooSmall[] = "< Image_3C > dimension is too small or negative";
  EXPECT_EQ(fault_message([] { Image_3C().Allocate(7, 100); }), kTooSmall);
  EXPECT_EQ(fault_message([] { Image_3C().Allocate(100, 0); }), kTooSmall);
  EXPECT_EQ(fault_message([] { Image_3C().Allocate(16369, 100); }), kTooSmall);
  Image_3C image;
  image.Allocate(16, 16);
  EXPECT_EQ(fault_message([&] { image.SelectColor(3); }), "invalid < Image_3C > color number");
  // A refused size leaves the image empty and usable.
  EXPECT_EQ(fault_message([&] { image.Allocate(4, 4); }), kTooSmall);
  EXPECT_EQ(image.levels, -1);
  EXPECT_EQ(image.lineStore, nullptr);
  image.ResetCoefficients(16, 16);
  EXPECT_EQ(image.levels, 1);
}

}  // namespace

}  // namespace quarn
