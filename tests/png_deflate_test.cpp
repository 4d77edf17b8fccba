// The PNG writer's deflate coder, read back by zlib's inflate: literals of
// every code length up to the limit, runs of every length around deflate's
// bounds and the vector path's blocks, and bands joined into one stream.
#include "tools/png_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace quarn {
namespace {

// Inflates raw deflate data; empty, with a failure, when zlib refuses it
// or finds it unfinished.
std::vector<uint8_t> inflate_raw(const std::vector<uint8_t>& data, std::size_t expected) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
  std::vector<uint8_t> out(expected + 16);
  z.next_in = const_cast<uint8_t*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&z, Z_FINISH);
  const std::size_t got = out.size() - z.avail_out;
  const std::size_t left = z.avail_in;
  inflateEnd(&z);
  EXPECT_EQ(status, Z_STREAM_END) << (z.msg != nullptr ? z.msg : "");
  EXPECT_EQ(left, 0u) << "bytes after the final block";
  if (status != Z_STREAM_END) return {};
  out.resize(got);
  return out;
}

// The bands coded apart, one after the other, the last one final.
std::vector<uint8_t> deflate_bands(const std::vector<std::vector<uint8_t>>& bands) {
  std::vector<uint8_t> stream;
  std::vector<uint16_t> tokens;
  for (std::size_t i = 0; i < bands.size(); ++i) {
    const std::vector<uint8_t>& band = bands[i];
    std::vector<uint8_t> out(deflate_band_bound(band.size()), 0xAA);
    const std::size_t n =
        deflate_band(band.data(), band.size(), i + 1 == bands.size(), out.data(), &tokens);
    EXPECT_LE(n, out.size());
    stream.insert(stream.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
  }
  return stream;
}

void expect_round_trip(const std::vector<std::vector<uint8_t>>& bands, const std::string& what) {
  std::vector<uint8_t> whole;
  for (const auto& b : bands) whole.insert(whole.end(), b.begin(), b.end());
  EXPECT_EQ(inflate_raw(deflate_bands(bands), whole.size()), whole) << what;
}

TEST(PngDeflate, ReadsBackTinyAndRandomInput) {
  std::mt19937 random(21);
  for (const std::size_t size : {0, 1, 2, 5, 31, 32, 33, 100, 70000}) {
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    expect_round_trip({bytes}, "random, " + std::to_string(size) + " bytes");
  }
  expect_round_trip({std::vector<uint8_t>(1, 7)}, "one byte");
  expect_round_trip({std::vector<uint8_t>(1000, 7)}, "one value");
}

TEST(PngDeflate, LimitsCodesToFifteenBits) {
  // Frequencies that grow like the Fibonacci numbers make a Huffman code
  // far deeper than 15 bits; shuffled, so that they are literals.
  std::vector<uint8_t> bytes;
  uint32_t a = 1, b = 1;
  for (int v = 0; v < 27; ++v) {
    bytes.insert(bytes.end(), a, static_cast<uint8_t>(v * 9));
    const uint32_t next = a + b;
    a = b;
    b = next;
  }
  std::shuffle(bytes.begin(), bytes.end(), std::mt19937(5));
  expect_round_trip({bytes}, "Fibonacci frequencies");
}

TEST(PngDeflate, CodesRunsOfEveryLength) {
  // Runs of 1 to 600 bytes (past the longest match) of changing values,
  // starting anywhere against the vector path's 16-byte steps.
  std::mt19937 random(8);
  std::vector<uint8_t> bytes;
  for (std::size_t run = 1; run <= 600; ++run) {
    const uint8_t v = static_cast<uint8_t>(random() % 4);
    bytes.insert(bytes.end(), run, v);
    bytes.push_back(static_cast<uint8_t>(v + 1 + random() % 200));
  }
  expect_round_trip({bytes}, "runs");
  // A band that starts with a run, and one that is all one run.
  expect_round_trip({std::vector<uint8_t>(300, 0), std::vector<uint8_t>(5, 1), bytes},
                    "runs at band starts");
}

TEST(PngDeflate, BandsJoinIntoOneStream) {
  std::mt19937 random(3);
  std::vector<std::vector<uint8_t>> bands;
  for (const std::size_t size : {1000, 0, 1, 4096, 257, 65536}) {
    std::vector<uint8_t> band(size);
    // Small differences, like a filtered photograph.
    for (uint8_t& b : band) b = static_cast<uint8_t>(random() % 5 - 2);
    bands.push_back(band);
  }
  expect_round_trip(bands, "six bands");
}

}  // namespace
}  // namespace quarn
