// The decoding pipeline: budget, output layout, and damaged input.
#include "codec/decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "codec_test_util.h"

namespace quarn {

namespace {

TEST(DecodeImage, FillsRowsAtTheGivenStrideWithOpaqueCells) {
  const RgbImage image = crop(load_sample(), 320, 240, 100, 100);
  const std::vector<uint8_t> row = encode_row(image, 0.5);
  static Decoder dec;
  const std::ptrdiff_t stride = 320 * 4 + 12;
  std::vector<uint8_t> out(static_cast<std::size_t>(stride) * 240, 0xEE);
  decode_image(dec, header_of(row), row.data() + 4, row.size() - 4, out.data(), stride, 0.5);
  EXPECT_EQ(dec.bits.byte_budget, 4798);
  const RgbImage packed = decode_row(row, 0.5);
  for (int32_t y = 0; y < 240; ++y) {
    const uint8_t* line = out.data() + y * stride;
    for (int32_t x = 0; x < 320; ++x) {
      ASSERT_EQ(line[4 * x], 255);
      for (int c = 0; c < 3; ++c)
        ASSERT_EQ(line[4 * x + 1 + c], packed.pixels[(y * 320 + x) * 3 + c]);
    }
    for (std::ptrdiff_t i = 320 * 4; i < stride; ++i) ASSERT_EQ(line[i], 0xEE);
  }
}

// Packed output is the cells without their first byte, row by row at the
// given stride, the padding left alone; one decoder may alternate between
// the two.
TEST(DecodeImage, PackedPixelsAreTheCellsWithoutTheirFirstByte) {
  static Decoder dec;
  for (const auto& [w, h] : {std::pair{101, 77}, std::pair{256, 40}}) {
    const RgbImage image = crop(load_sample(), w, h, 211, 133);
    const std::vector<uint8_t> row = encode_row(image, 1.5);
    std::vector<uint8_t> cells(static_cast<std::size_t>(w) * h * 4);
    decode_image(dec, header_of(row), row.data() + 4, row.size() - 4, cells.data(), w * 4, 1.5);
    const std::ptrdiff_t stride = w * 3 + 5;
    std::vector<uint8_t> rgb(static_cast<std::size_t>(stride) * h, 0xEE);
    decode_image_rgb(dec, header_of(row), row.data() + 4, row.size() - 4, rgb.data(), stride, 1.5);
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* line = rgb.data() + y * stride;
      for (int32_t x = 0; x < w; ++x)
        ASSERT_EQ(std::memcmp(line + 3 * x, &cells[(y * w + x) * 4 + 1], 3), 0) << x << "," << y;
      for (std::ptrdiff_t i = w * 3; i < stride; ++i) ASSERT_EQ(line[i], 0xEE);
    }
  }
}

// A decoder that codes frame after frame keeps its storage and leaves its
// planes cleared for the next frame of the same size: every frame must come
// out as from a decoder that never saw another.
TEST(DecodeImage, FramesOfOneSizeDecodeAsIfEachWereTheFirst) {
  const RgbImage sample = load_sample();
  const RgbImage frames[] = {crop(sample, 200, 150, 0, 0), crop(sample, 200, 150, 300, 200),
                             crop(sample, 96, 64, 10, 10), crop(sample, 200, 150, 500, 100)};
  const double rates[] = {2.0, 0.1, 0.5, 0.7};
  static Decoder shared;
  for (int i = 0; i < 4; ++i) {
    const RgbImage& f = frames[i];
    const std::vector<uint8_t> row = encode_row(f, rates[i]);
    std::vector<uint8_t> a(static_cast<std::size_t>(f.width) * f.height * 4), b = a;
    decode_image(shared, header_of(row), row.data() + 4, row.size() - 4, a.data(),
                 f.width * 4, rates[i]);
    Decoder fresh;
    decode_image(fresh, header_of(row), row.data() + 4, row.size() - 4, b.data(), f.width * 4,
                 rates[i]);
    EXPECT_EQ(a, b) << "frame " << i;
  }
}

TEST(DecodeImage, ShortOrOverBudgetStreamsDecodeWhatTheyHold) {
  const RgbImage image = crop(load_sample(), 64, 64, 300, 300);
  std::vector<uint8_t> row = encode_row(image, 1.0);
  const RgbImage full = decode_row(row, 1.0);
  // A decoder rate far above the encoder's reads exactly the whole stream.
  EXPECT_EQ(decode_row(row, 8.0).pixels, full.pixels);
  // So does a stream cut right after its header.
  row.resize(4 + 27);
  const RgbImage cut = decode_row(row, 1.0);
  EXPECT_LT(psnr(image.pixels, cut.pixels), psnr(image.pixels, full.pixels));
}

}  // namespace

}  // namespace quarn
