// The row filter's vector path against its scalar reference, on widths
// around the vector width and on bytes that reach every branch of the
// predictor.
#include "tools/png_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace quarn {
namespace {

TEST(PngFilter, MatchesTheScalarReferenceOnEveryWidth) {
  std::mt19937 random(12);
  for (std::size_t pixels = 1; pixels <= 40; ++pixels) {
    const std::size_t bytes = pixels * 3;
    for (int trial = 0; trial < 20; ++trial) {
      std::vector<uint8_t> above(bytes), row(bytes);
      // Few distinct values make ties between the predictor's candidates.
      const unsigned spread = trial % 2 == 0 ? 256 : 3;
      for (uint8_t& b : above) b = static_cast<uint8_t>(random() % spread * (255 / (spread - 1)));
      for (uint8_t& b : row) b = static_cast<uint8_t>(random() % spread * (255 / (spread - 1)));
      for (const bool first : {false, true}) {
        const uint8_t* up = first ? nullptr : above.data();
        std::vector<uint8_t> fast(bytes + 1, 0xEE), reference(bytes + 1, 0xEE);
        paeth_filter_row(row.data(), up, bytes, fast.data());
        paeth_filter_row_scalar(row.data(), up, bytes, reference.data());
        ASSERT_EQ(fast, reference) << pixels << " pixels, trial " << trial;
      }
    }
  }
}

TEST(PngFilter, PicksTheNearestPreferringAboveOnATie) {
  // One pixel after a first one: left = 10, above = 20, above-left = 15.
  // p = 15: |p - left| = 5, |p - above| = 5, |p - above-left| = 0.
  const uint8_t above[6] = {15, 15, 15, 20, 20, 20};
  const uint8_t row[6] = {10, 10, 10, 100, 100, 100};
  uint8_t out[6];
  paeth_filter_row_scalar(row, above, 6, out);
  EXPECT_EQ(out[0], static_cast<uint8_t>(10 - 15));  // above only
  EXPECT_EQ(out[3], 100 - 15);                       // above-left is nearest
  // A tie between above and above-left goes to above: left = 10,
  // above = 40, above-left = 20, p = 30.
  const uint8_t above2[6] = {20, 20, 20, 40, 40, 40};
  paeth_filter_row_scalar(row, above2, 6, out);
  EXPECT_EQ(out[3], 100 - 40);
}

}  // namespace
}  // namespace quarn
