// The pipelines' sweeps (the colour transform with the first wavelet level,
// and back) against the stages one after the other: the same coefficients
// and pixels bit for bit, for every instruction set and thread count, on
// sizes whose bands, runs and borders split unevenly; and the planes left
// zero.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "image/image_3c.h"
#include "image/kernels.h"
#include "tests/image_test_util.h"

namespace quarn {

namespace {

std::vector<uint8_t> pixels(int32_t rows, int32_t cols, uint32_t seed) {
  std::vector<uint8_t> px(static_cast<std::size_t>(rows) * cols * 3);
  uint32_t x = seed;
  for (std::size_t i = 0; i < px.size(); ++i) {
    x = x * 1664525u + 1013904223u;
    // Smooth ramps with noise, so that the transform has both large and
    // small coefficients.
    const std::size_t pixel = i / 3;
    const int ramp = static_cast<int>((pixel % static_cast<std::size_t>(cols)) * 3 +
                                      pixel / static_cast<std::size_t>(cols) * (i % 3 + 1));
    px[i] = static_cast<uint8_t>((ramp + static_cast<int>(x >> 28)) & 255);
  }
  return px;
}

// The three planes over the coding area, bit for bit.
std::vector<uint32_t> planes_of(const Image_3C& image) {
  std::vector<uint32_t> bits;
  for (int k = 0; k < 3; ++k) {
    for (int32_t y = 0; y < image.codeRows; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(image.plane[k][y]);
      bits.insert(bits.end(), row, row + image.codeCols);
    }
  }
  return bits;
}

struct Size {
  int32_t rows, cols;
};

// Odd sides (a border below and to the right), the smallest image, sides a
// border short of a multiple of 16 in one direction only, wide and short,
// tall and narrow, and no border at all.
const Size kSizes[] = {{33, 45}, {32, 32}, {64, 200}, {201, 64}, {40, 1003},
                       {997, 36}, {130, 258}, {256, 384}, {389, 517}};

TEST(FirstLevel, TheForwardSweepGivesTheStagesCoefficients) {
  const kernels::Table& widest = kernels::active();
  for (const Size& s : kSizes) {
    const std::vector<uint8_t> px = pixels(s.rows, s.cols, static_cast<uint32_t>(s.cols));
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(s.cols) * 3;
    kernels::cap_isa(kernels::Isa::kScalar);
    Image_3C stepwise;
    transform_pixels(stepwise, px.data(), s.rows, s.cols);
    const std::vector<uint32_t> expected = planes_of(stepwise);
    for (kernels::Isa isa : available_isas()) {
      kernels::cap_isa(isa);
      for (int32_t threads : {1, 2, 3, 7}) {
        Image_3C image;
        image.threads = threads;
        image.Measure(px.data(), stride, s.rows, s.cols);
        image.BeginTransform();
        image.ColourFirstLevel(px.data(), stride);
        image.TransformDeeper();
        EXPECT_TRUE(planes_of(image) == expected)
            << s.rows << "x" << s.cols << ", " << kernels::isa_name(isa) << ", " << threads
            << " threads";
      }
    }
  }
  kernels::cap_isa(widest.isa);
}

TEST(FirstLevel, TheInverseSweepGivesTheStagesPixelsAndLeavesThePlanesZero) {
  const kernels::Table& widest = kernels::active();
  for (const Size& s : kSizes) {
    const std::vector<uint8_t> px = pixels(s.rows, s.cols, static_cast<uint32_t>(s.rows));
    Image_3C source;
    transform_pixels(source, px.data(), s.rows, s.cols);
    // Coarse coefficients, as a low rate decodes them: most detail +0, some
    // -0, whole runs of rows and columns empty.
    for (int k = 0; k < 3; ++k) {
      for (int32_t y = 0; y < source.codeRows; ++y) {
        for (int32_t x = 0; x < source.codeCols; ++x) {
          float& c = source.plane[k][y][x];
          const bool low = y < source.codeRows / 4 && x < source.codeCols / 4;
          if (!low && std::fabs(c) < 6.0f) c = (x + y) % 7 == 0 ? -0.0f : 0.0f;
        }
      }
    }
    const std::vector<uint32_t> coefficients = planes_of(source);
    auto load = [&](Image_3C& image, int32_t threads) {
      image.threads = threads;
      image.ResetCoefficients(s.rows, s.cols);
      std::memcpy(image.mean, source.mean, sizeof image.mean);
      std::memcpy(image.matrix, source.matrix, sizeof image.matrix);
      std::size_t i = 0;
      for (int k = 0; k < 3; ++k) {
        for (int32_t y = 0; y < image.codeRows; ++y, i += image.codeCols) {
          std::memcpy(image.plane[k][y], coefficients.data() + i, sizeof(float) * image.codeCols);
        }
      }
    };
    const std::size_t n = static_cast<std::size_t>(s.rows) * s.cols;
    kernels::cap_isa(kernels::Isa::kScalar);
    Image_3C stepwise;
    load(stepwise, 1);
    for (int k = 0; k < 3; ++k) stepwise.RecoverPlane(stepwise.plane[k]);
    std::vector<uint8_t> cells(n * 4 + 8);
    stepwise.WriteCells(cells.data(), static_cast<std::ptrdiff_t>(s.cols) * 4);
    load(stepwise, 1);
    for (int k = 0; k < 3; ++k) stepwise.RecoverPlane(stepwise.plane[k]);
    std::vector<uint8_t> rgb(n * 3 + 8);
    stepwise.WriteRgb(rgb.data(), static_cast<std::ptrdiff_t>(s.cols) * 3);
    const std::vector<uint32_t> zero(coefficients.size(), 0);
    for (kernels::Isa isa : available_isas()) {
      kernels::cap_isa(isa);
      for (int32_t threads : {1, 2, 3, 7}) {
        const std::string where = std::to_string(s.rows) + "x" + std::to_string(s.cols) + ", " +
                                  kernels::isa_name(isa) + ", " + std::to_string(threads) +
                                  " threads";
        Image_3C image;
        load(image, threads);
        image.RecoverDeeper();
        std::vector<uint8_t> out(cells.size(), 0);
        image.RecoverCells(out.data(), static_cast<std::ptrdiff_t>(s.cols) * 4);
        EXPECT_TRUE(out == cells) << where;
        EXPECT_TRUE(planes_of(image) == zero) << where;
        EXPECT_EQ(image.levels, 0) << where;
        load(image, threads);
        image.RecoverDeeper();
        out.assign(rgb.size(), 0);
        image.RecoverRgb(out.data(), static_cast<std::ptrdiff_t>(s.cols) * 3);
        EXPECT_TRUE(out == rgb) << where;
        EXPECT_TRUE(planes_of(image) == zero) << where;
      }
    }
  }
  kernels::cap_isa(widest.isa);
}

TEST(FirstLevel, SweepsNeedTheirStates) {
  Image_3C image;
  std::vector<uint8_t> px = pixels(32, 32, 1);
  image.Measure(px.data(), 96, 32, 32);
  EXPECT_EQ(fault_message([&] { image.ColourFirstLevel(px.data(), 96); }),
            "cannot transform < Image_3C >");
  image.ResetCoefficients(32, 32);
  image.levels = 0;
  uint8_t out[32 * 32 * 4];
  EXPECT_EQ(fault_message([&] { image.RecoverCells(out, 128); }), "cannot recover < Image_3C >");
}

}  // namespace

}  // namespace quarn
