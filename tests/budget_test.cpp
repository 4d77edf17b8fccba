#include "stream/budget.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quarn {

namespace {

TEST(Budget, TreeLevelsFollowTheirOwnRule) {
  const int32_t cases[][2] = {{32, 3},  {48, 3},  {64, 4},  {96, 4},  {128, 5}, {160, 4},
                              {192, 5}, {256, 6}, {320, 5}, {384, 6}, {480, 4}, {512, 7},
                              {640, 6}, {768, 7}, {1024, 8}, {2048, 9}, {8192, 11}};
  for (const auto& c : cases) EXPECT_EQ(spiht_levels(c[0]), c[1]) << c[0];
}

TEST(Budget, StreamLengthRoundsTheRateToFloatThenTruncates) {
  EXPECT_EQ(stream_bytes(0.5, stream_rate_for(256, 256)), 4096);
  EXPECT_EQ(stream_bytes(0.5, stream_rate_for(320, 240)), 4799);
  EXPECT_EQ(stream_bytes(0.5, stream_rate_for(640, 480)), 19199);
  EXPECT_EQ(stream_bytes(0.7, stream_rate_for(40, 264)), 924);
  EXPECT_EQ(stream_bytes(0.0, stream_rate_for(64, 64)), 0);
  EXPECT_EQ(stream_bytes(-1.0, stream_rate_for(64, 64)), 0);
  EXPECT_EQ(stream_bytes(NAN, stream_rate_for(64, 64)), 0);
  EXPECT_EQ(stream_bytes(1e300, stream_rate_for(64, 64)), kMaxStreamBytes);
}

TEST(Budget, RateForBytesIsTheLowestThatGivesThem) {
  for (const auto& size : {std::pair{320, 240}, std::pair{768, 512}, std::pair{33, 8192}}) {
    const float rate = stream_rate_for(size.first, size.second);
    for (int32_t bytes : {27, 4799, 4800, 100000}) {
      const double r = bitrate_for_bytes(size.first, size.second, bytes);
      EXPECT_EQ(stream_bytes(r, rate), bytes);
      EXPECT_LT(stream_bytes(std::nextafter(r, 0.0), rate), bytes);
    }
  }
}

}  // namespace

}  // namespace quarn
