// The LISP's storage keeps every entry, in order, as it grows: past its
// first storage (to room for the most entries the image can have, where
// that is taken at once) and past that most too.
#include <gtest/gtest.h>

#include <cstring>

#include "spiht/lists.h"

namespace quarn {

namespace {

LispEntry entry(int32_t i) {
  return LispEntry{static_cast<uint16_t>(i), static_cast<uint16_t>(i >> 16), i * 7,
                   {static_cast<uint8_t>(i), 1, 2, 3}, {4, 5, 6, static_cast<uint8_t>(i >> 8)}};
}

bool same(const LispEntry& a, const LispEntry& b) {
  return a.row == b.row && a.col == b.col && a.flags == b.flags &&
         std::memcmp(a.max_exponent, b.max_exponent, 4) == 0 &&
         std::memcmp(a.value_exponent, b.value_exponent, 4) == 0;
}

TEST(LispList, KeepsEveryEntryAsItGrowsPastItsFirstStorageAndItsMost) {
  LispList list;
  list.set_first_capacity(1024);
  list.set_most(5000);
  constexpr int32_t kEntries = 20000;
  for (int round = 0; round < 2; ++round) {
    list.truncate(0);
    for (int32_t i = 0; i < kEntries; ++i) {
      if (i % 2 == 0) {
        list.push(entry(i));
      } else {
        LispEntry& e = list.append();
        e = entry(i);
      }
    }
    ASSERT_EQ(list.size(), kEntries);
    int32_t wrong = 0;
    for (int32_t i = 0; i < kEntries; ++i) wrong += !same(list[i], entry(i));
    EXPECT_EQ(wrong, 0) << "round " << round;
  }
}

}  // namespace

}  // namespace quarn
