// Storage for the planes: aligned, zero when the system says so, and of the
// size asked for, whichever way it was obtained.
#include "image/big_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

TEST(BigBuffer, SmallAndLargeBuffersAreAlignedUsableAndZeroWhenSaid) {
  for (std::size_t bytes : {std::size_t{100}, std::size_t{300} << 10, std::size_t{5} << 20,
                            (std::size_t{2} << 20) + 1}) {
    BigBuffer b = allocate_big(bytes);
    ASSERT_NE(b.data, nullptr) << bytes;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.data) % 64, 0u) << bytes;
    EXPECT_GE(b.bytes, bytes);
    auto* p = static_cast<unsigned char*>(b.data);
    if (b.zeroed) {
      for (std::size_t i = 0; i < bytes; i += 4093) ASSERT_EQ(p[i], 0) << bytes << " at " << i;
      EXPECT_EQ(p[bytes - 1], 0);
    }
    std::memset(p, 0xA5, bytes);  // the whole of it can be written
    release_big(b);
    EXPECT_EQ(b.data, nullptr);
    release_big(b);  // releasing twice is harmless
  }
}

}  // namespace
