#include "spiht/spiht_encode.h"

#include <gtest/gtest.h>

#include "spiht_test_util.h"

namespace quarn {

namespace {

TEST(SpihtEncode, GroupExampleBitsAndRemainders) {
  SmallCode code;
  code.place_example();
  code.encode(0);  // stops at the first check, after the first group
  EXPECT_EQ(code.top_exponent, 3);
  const int first[] = {1, 0, 0, 0, 1, 1};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(code.bit(k), first[k]) << k;
  // The members found keep what is left of their magnitudes in the LSP, in
  // member order; the planes stay as they were.
  ASSERT_EQ(code.s.lsp.size(), 2);
  EXPECT_EQ(code.remainder(0), 1.0f);
  EXPECT_EQ(code.remainder(1), 4.0f);
  float** p = code.coefficients.plane[0];
  EXPECT_EQ(p[0][0], 9.0f);
  EXPECT_EQ(p[1][1], -12.0f);
  EXPECT_EQ(p[0][1], -3.0f);
  EXPECT_EQ(p[1][0], 0.5f);
}

TEST(SpihtEncode, SetBitsFollowTheGroupsAndRefinementTheEarlierPasses) {
  SmallCode code;
  code.place_example();
  code.encode(4000);
  // Pixel phase: the example group, then 11 all-zero top-band groups.
  for (int k = 6; k < 50; ++k) ASSERT_EQ(code.bit(k), 0) << k;
  // Set phase of the example group: no group bit; member 1 not significant;
  // member 2 significant, its offspring coded at once (9 at its member 0);
  // member 3 not significant at 8.
  const int sets[] = {0, 1, 1, 0, 0, 0, 0, 0};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(code.bit(50 + k), sets[k]) << k;
  // 33 set bits of the other top-band groups, then the new group's group
  // bit (1: nothing below it).
  for (int k = 58; k < 91; ++k) ASSERT_EQ(code.bit(k), 0) << k;
  EXPECT_EQ(code.bit(91), 1);
  // The refinement pass after the first sorting pass is empty; at threshold
  // 4 the remainders 1, 4 and 1 give 0, 1, 0, after 91 bits of sorting.
  EXPECT_EQ(code.bit(183), 0);
  EXPECT_EQ(code.bit(184), 1);
  EXPECT_EQ(code.bit(185), 0);
}

TEST(SpihtEncode, EndsAfterThirtyTwoPassesWhenTheBudgetIsNotReached) {
  SmallCode code;  // all zero: 12 groups x (4 pixel + 3 set bits) per pass
  code.encode(4000);
  EXPECT_EQ(code.top_exponent, 0);
  EXPECT_EQ(code.written, 1 + 32 * 84 / 8 + 1);
  for (int k = 0; k < 32 * 84; ++k) ASSERT_EQ(code.bit(k), 0) << k;
}

}  // namespace

}  // namespace quarn
