// The encoding pipeline: budget, output row layout and header.
#include "codec/encoder.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "codec/bit_reader.h"
#include "codec_test_util.h"

namespace {

TEST(EncodeImage, RowCarriesPrefixThenExactlyBStreamBytes) {
  static Encoder enc;
  const RgbImage image = test_picture(256, 256);
  std::vector<uint8_t> row(4 + 4096 + 8, 0xEE);
  EXPECT_EQ(encode_image(enc, row.data(), row.size(), 256, 256, image.pixels.data(), 0.5), 4096);
  EXPECT_EQ(enc.bits.byte_budget, 4095);
  const uint8_t start[] = {0x01, 0x00, 0x01, 0x00, 0x6E};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(row[i], start[i]);
  for (std::size_t i = 4 + 4096; i < row.size(); ++i) EXPECT_EQ(row[i], 0xEE);
}

TEST(EncodeImage, HeaderPutsHeightBeforeWidthAndMatchesTheRecord) {
  static Encoder enc;
  const RgbImage image = test_picture(320, 240);
  std::vector<uint8_t> row(4804, 0xEE);  // the host's row for 320 x 240 at 0.5
  EXPECT_EQ(encode_image(enc, row.data(), row.size(), 320, 240, image.pixels.data(), 0.5), 4799);
  EXPECT_EQ(row[4803], 0xEE);  // one cell more than the stream needs
  EXPECT_EQ(row[0] * 256 + row[1], 320);
  EXPECT_EQ(row[2] * 256 + row[3], 240);

  BitReader r;
  begin_read(r, row.data() + 4, row.size() - 4);
  StreamHeader h;
  read_header(r, h);
  EXPECT_EQ(h.height, 240);
  EXPECT_EQ(h.width, 320);
  EXPECT_EQ(h.top_exponent, enc.top_exponent);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(h.mean_q[i], enc.mean_q[i]);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(h.matrix_q[i], enc.matrix_q[i]);
}

TEST(EncodeImage, NeverWritesPastTheRowItIsGiven) {
  static Encoder enc;
  const RgbImage image = test_picture(40, 264);
  // B is 924 but this row has room for 923 stream bytes.
  std::vector<uint8_t> row(927);
  EXPECT_EQ(encode_image(enc, row.data(), row.size(), 40, 264, image.pixels.data(), 0.7), 923);
  std::vector<uint8_t> tiny(3);
  EXPECT_EQ(encode_image(enc, tiny.data(), tiny.size(), 40, 264, image.pixels.data(), 0.7), 0);
}

TEST(EncodeImage, TinyBudgetsAndUnusedBudgetsAreSafe) {
  static Encoder enc;
  const RgbImage image = test_picture(64, 64);
  // Five bytes cut the header; nothing overruns and the prefix is written.
  std::vector<uint8_t> row(4 + 5);
  const double five = bitrate_for_bytes(64, 64, 5);
  EXPECT_EQ(encode_image(enc, row.data(), row.size(), 64, 64, image.pixels.data(), five), 5);
  EXPECT_EQ(row[4], 'n');

  // A flat image runs out of passes long before 16 bpp: the rest is zeros.
  RgbImage flat = image;
  std::fill(flat.pixels.begin(), flat.pixels.end(), 90);
  const std::vector<uint8_t> coded = encode_row(flat, 16.0);
  ASSERT_EQ(coded.size(), 4u + 8192u);
  for (std::size_t i = 1000; i < coded.size(); ++i) ASSERT_EQ(coded[i], 0) << i;
}

// When the coder runs out of passes before its budget, the length it
// reports is the shortest at which the stream is whole: coded at that
// length it is the longer stream's beginning, and it decodes to the same
// picture. A budget that cuts the coding reports nothing.
TEST(EncodeImage, SaysAtWhichLengthAStreamIsComplete) {
  static Encoder enc;
  RgbImage flat = test_picture(64, 64);
  std::fill(flat.pixels.begin(), flat.pixels.end(), 90);
  RgbImage ramp = test_picture(64, 48);
  for (std::size_t i = 0; i < ramp.pixels.size(); ++i) {
    ramp.pixels[i] = static_cast<uint8_t>(i / 3 % 64 * 4 + i % 3);
  }
  const RgbImage pictures[] = {flat, ramp};
  for (const RgbImage& p : pictures) {
    const double high = 64.0;
    const std::vector<uint8_t> whole = encode_row(p, high);
    std::vector<uint8_t> row = whole;
    encode_image(enc, row.data(), row.size(), p.width, p.height, p.pixels.data(), high);
    const int32_t complete = complete_stream_bytes(enc);
    ASSERT_GT(complete, 0) << p.height;
    ASSERT_LT(complete + 4u, whole.size());
    for (std::size_t i = complete + 4u; i < whole.size(); ++i) ASSERT_EQ(whole[i], 0) << i;

    const double rate = bitrate_for_bytes(p.width, p.height, complete);
    const std::vector<uint8_t> shortest = encode_row(p, rate);
    encode_image(enc, row.data(), row.size(), p.width, p.height, p.pixels.data(), rate);
    EXPECT_EQ(complete_stream_bytes(enc), complete);
    EXPECT_TRUE(std::equal(shortest.begin(), shortest.end(), whole.begin()));
    EXPECT_EQ(decode_row(shortest, rate).pixels, decode_row(whole, high).pixels);

    // Cut by its budget, the same picture's stream is not complete.
    const double cut = bitrate_for_bytes(p.width, p.height, complete / 2);
    encode_image(enc, row.data(), row.size(), p.width, p.height, p.pixels.data(), cut);
    EXPECT_EQ(complete_stream_bytes(enc), 0);
  }
}

// The encoder keeps its stream buffer and lists from frame to frame; a
// frame after a larger one, a longer stream or another size codes as if it
// were the first.
TEST(EncodeImage, FramesCodeAsIfEachWereTheFirst) {
  static Encoder shared;
  const RgbImage frames[] = {test_picture(320, 240), test_picture(100, 77),
                             test_picture(320, 240)};
  const double rates[] = {4.0, 0.3, 0.2};
  for (int i = 0; i < 3; ++i) {
    const RgbImage& f = frames[i];
    const int32_t B = stream_bytes(rates[i], stream_rate_for(f.width, f.height));
    std::vector<uint8_t> a(static_cast<std::size_t>(B) + 4), b = a;
    encode_image(shared, a.data(), a.size(), f.width, f.height, f.pixels.data(), rates[i]);
    Encoder fresh;
    encode_image(fresh, b.data(), b.size(), f.width, f.height, f.pixels.data(), rates[i]);
    EXPECT_EQ(a, b) << "frame " << i;
  }
}

// A row with room for the coder's slack is coded in place, whatever it held
// before; the stream is the one the coder writes into its own buffer.
TEST(EncodeImage, CodingInPlaceGivesTheSameStream) {
  static Encoder enc;
  const RgbImage frames[] = {test_picture(320, 240), test_picture(100, 77)};
  const double rates[] = {2.0, 0.3};
  for (int i = 0; i < 2; ++i) {
    const RgbImage& f = frames[i];
    const auto B = static_cast<std::size_t>(stream_bytes(rates[i], stream_rate_for(f.width, f.height)));
    std::vector<uint8_t> exact(B + 4);
    std::vector<uint8_t> roomy(B + 4 + kEncodeSlack, 0xEE);
    EXPECT_EQ(encode_image(enc, exact.data(), exact.size(), f.width, f.height, f.pixels.data(),
                           rates[i]),
              static_cast<int32_t>(B));
    EXPECT_EQ(encode_image(enc, roomy.data(), roomy.size(), f.width, f.height, f.pixels.data(),
                           rates[i]),
              static_cast<int32_t>(B));
    EXPECT_TRUE(std::equal(exact.begin(), exact.end(), roomy.begin())) << "frame " << i;
  }
}

TEST(EncodeImageDeathTest, LargestSideIs8192) {
  const RgbImage wide = test_picture(8192, 100);
  const std::vector<uint8_t> row = encode_row(wide, 0.05);
  EXPECT_EQ(row[0] * 256 + row[1], 8192);
  EXPECT_EXIT(
      {
        Encoder enc;
        std::vector<uint8_t> px(8193 * 100 * 3, 1);
        std::vector<uint8_t> out(10000);
        encode_image(enc, out.data(), out.size(), 8193, 100, px.data(), 0.05);
      },
      ::testing::ExitedWithCode(1), "Image is too large!");
}

}  // namespace
