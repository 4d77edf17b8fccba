// Storage for the planes: aligned, zero when the system says so, and of the
// size asked for, whichever way it was obtained.
#include "image/big_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace quarn {

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

#if defined(__linux__)
// Buffers that share mappings (a large buffer's ends in whole huge pages,
// and smaller ones fill its unused end) are fresh and zero, independent of
// each other, and may be released in any order.
TEST(BigBuffer, BuffersShareTheUnusedEndOfAMapping) {
  share_big_buffers(true);
  const std::size_t large = (std::size_t{5} << 20) + 100;
  BigBuffer a = allocate_big(large);
  ASSERT_NE(a.data, nullptr);
  std::memset(a.data, 0x5A, large);
  BigBuffer b = allocate_big(100 << 10);
  BigBuffer c = allocate_big(300 << 10);
  for (BigBuffer* x : {&b, &c}) {
    ASSERT_NE(x->data, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(x->data) % 64, 0u);
    ASSERT_TRUE(x->zeroed);
    auto* bytes = static_cast<unsigned char*>(x->data);
    for (std::size_t i = 0; i < x->bytes; i += 511) ASSERT_EQ(bytes[i], 0) << i;
    std::memset(bytes, 0xC3, x->bytes);
  }
  release_big(a);  // the pieces behind it stay usable
  EXPECT_EQ(static_cast<unsigned char*>(c.data)[0], 0xC3);
  release_big(c);
  EXPECT_EQ(static_cast<unsigned char*>(b.data)[(100 << 10) - 1], 0xC3);
  release_big(b);
  // Many at once: more mappings than are tracked for sharing.
  std::vector<BigBuffer> many;
  for (int i = 0; i < 40; ++i) {
    many.push_back(allocate_big((std::size_t{1} << 20) + 4096 * static_cast<std::size_t>(i)));
    ASSERT_NE(many.back().data, nullptr);
    std::memset(many.back().data, i, many.back().bytes);
  }
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(static_cast<unsigned char*>(many[static_cast<std::size_t>(i)].data)[4095], i);
  }
  for (BigBuffer& x : many) release_big(x);
  share_big_buffers(false);
}
#endif

}  // namespace

}  // namespace quarn
