// Streams and pixels are the same for every thread count and every
// instruction set, on sizes that split unevenly: odd sides, the smallest
// image, sides that are not multiples of any vector width, wide and short,
// tall and narrow.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "codec/decoder.h"
#include "codec/encoder.h"
#include "codec_test_util.h"
#include "image_test_util.h"
#include "image/kernels.h"

namespace quarn {

namespace {

struct Coded {
  std::vector<uint8_t> row;
  std::vector<uint8_t> cells;  // decoded at the full rate, 4 bytes a pixel
  std::vector<uint8_t> rgb;    // decoded at half the rate, 3 bytes a pixel
};

Coded code(const RgbImage& image, double rate, int32_t threads) {
  Encoder enc;
  Decoder dec;
  enc.threads = threads;
  dec.threads = threads;
  Coded c;
  const int32_t B = stream_bytes(rate, stream_rate_for(image.width, image.height));
  c.row.resize(static_cast<std::size_t>(B) + kPrefixBytes);
  encode_image(enc, c.row.data(), c.row.size(), image.width, image.height, image.pixels.data(),
               rate);
  const StreamHeader header = header_of(c.row);
  const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
  // Two frames each: the second starts from what the first left behind.
  for (int frame = 0; frame < 2; ++frame) {
    c.cells.assign(pixels * 4, 0);
    decode_image(dec, header, c.row.data() + kPrefixBytes, c.row.size() - kPrefixBytes,
                 c.cells.data(), static_cast<std::ptrdiff_t>(image.width) * 4, rate);
    c.rgb.assign(pixels * 3, 0);
    decode_image_rgb(dec, header, c.row.data() + kPrefixBytes, c.row.size() - kPrefixBytes,
                     c.rgb.data(), static_cast<std::ptrdiff_t>(image.width) * 3, rate / 2);
  }
  return c;
}

struct Size {
  int32_t width, height;
  double rate;
};

TEST(CodecThreads, EveryThreadCountAndInstructionSetGivesTheSameBytes) {
  const Size sizes[] = {
      {32, 32, 2.0},    // the smallest
      {45, 33, 1.0},    // odd both ways
      {1001, 77, 0.5},  // wide, short, odd
      {40, 999, 0.7},   // tall, narrow
      {258, 130, 4.0},  // a column past the vector widths
      {517, 389, 0.1},  // odd, many bands
      {384, 512, 0.5},  // no border at all
  };
  const kernels::Table& widest = kernels::active();
  for (const Size& s : sizes) {
    const RgbImage image = test_picture(s.width, s.height, static_cast<uint32_t>(s.width));
    kernels::cap_isa(kernels::Isa::kScalar);
    const Coded reference = code(image, s.rate, 1);
    for (kernels::Isa isa : available_isas()) {
      kernels::cap_isa(isa);
      for (int32_t threads : {1, 2, 3, 7}) {
        const Coded c = code(image, s.rate, threads);
        const std::string where = std::to_string(s.width) + "x" + std::to_string(s.height) +
                                  ", " + kernels::isa_name(isa) + ", " +
                                  std::to_string(threads) + " threads";
        EXPECT_TRUE(c.row == reference.row) << where;
        EXPECT_TRUE(c.cells == reference.cells) << where;
        EXPECT_TRUE(c.rgb == reference.rgb) << where;
      }
    }
  }
  kernels::cap_isa(widest.isa);
}

// One encoder and one decoder on each of several threads, each using the
// pool: every result as when coded alone.
TEST(CodecThreads, SeveralCodersAtOnce) {
  const RgbImage image = test_picture(301, 203, 9);
  const Coded alone = code(image, 0.8, 1);
  std::vector<Coded> results(4);
  std::vector<std::thread> coders;
  for (int i = 0; i < 4; ++i) {
    coders.emplace_back([&, i] {
      for (int round = 0; round < 3; ++round) results[i] = code(image, 0.8, 2 + i);
    });
  }
  for (std::thread& t : coders) t.join();
  for (const Coded& c : results) {
    EXPECT_TRUE(c.row == alone.row);
    EXPECT_TRUE(c.cells == alone.cells);
    EXPECT_TRUE(c.rgb == alone.rgb);
  }
}

}  // namespace

}  // namespace quarn
