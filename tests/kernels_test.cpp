// Every SIMD kernel table against the scalar one, byte for byte, on sizes
// that are minimal, odd or not multiples of any vector width; and the cap on
// the instruction set, which also forces the scalar kernels.
#include "image/kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "codec/decoder.h"
#include "codec/encoder.h"
#include "codec/stream_header.h"
#include "codec/validate.h"
#include "stream/budget.h"

namespace quarn {

namespace {

using kernels::Isa;
using kernels::Table;

std::vector<const Table*> simd_tables() {
  std::vector<const Table*> tables;
  for (Isa isa : {Isa::kSse2, Isa::kAvx2, Isa::kAvx512}) {
    if (const Table* t = kernels::for_isa(isa)) tables.push_back(t);
  }
  return tables;
}

// A plane region with a margin of sentinel samples to its right and below,
// which no kernel may touch.
struct Plane {
  enum Kind { kDense, kSparse, kCoarse };
  int32_t rows, cols;
  std::ptrdiff_t stride;
  std::vector<float> samples;

  // Sparse planes are mostly +0, as decoded detail bands are, with a few
  // values and a few -0 among them. Coarse planes are +0 but for a dense
  // band at the top left and a few scattered values and -0, as a coarsely
  // decoded plane is: whole blocks of rows and columns are +0.
  Plane(int32_t r, int32_t c, uint32_t seed, Kind kind = kDense)
      : rows(r), cols(c), stride(c + 13) {
    samples.assign(static_cast<std::size_t>(stride) * (r + 3), -7777.0f);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(-300.0f, 300.0f);
    for (int32_t y = 0; y < r; ++y) {
      for (int32_t x = 0; x < c; ++x) {
        float v = value(rng);
        if (kind == kSparse) {
          const uint32_t pick = rng() % 100;
          v = pick < 90 ? 0.0f : pick < 93 ? -0.0f : v;
          if (y < 3 && x < 3) v = value(rng);  // a dense corner, like a low band
        } else if (kind == kCoarse && (y >= r / 4 || x >= c / 4)) {
          const uint32_t pick = rng() % 400;
          v = pick < 396 ? 0.0f : pick < 398 ? -0.0f : v;
        }
        samples[y * stride + x] = v;
      }
    }
  }
};

using Pass = void (*Table::*)(float*, std::ptrdiff_t, int32_t, int32_t, float*);

// Bit for bit, so that a not-a-number equals itself.
bool same_bits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

void expect_same_pass(Pass pass, const char* name) {
  for (const Table* simd : simd_tables()) {
    for (int32_t rows : {16, 18, 22, 34, 48}) {
      for (int32_t cols : {16, 18, 26, 30, 34, 50, 66, 98}) {
        for (Plane::Kind kind : {Plane::kDense, Plane::kSparse, Plane::kCoarse}) {
          Plane a(rows, cols, static_cast<uint32_t>(rows * 1000 + cols), kind), b = a;
          std::vector<float> work(kernels::work_floats(std::max(rows, cols)));
          (kernels::kScalarTable.*pass)(a.samples.data(), a.stride, rows, cols, work.data());
          (simd->*pass)(b.samples.data(), b.stride, rows, cols, work.data());
          ASSERT_EQ(
              std::memcmp(a.samples.data(), b.samples.data(), a.samples.size() * sizeof(float)), 0)
              << name << " " << simd->name << " " << rows << "x" << cols << " kind " << kind;
        }
      }
    }
  }
}

TEST(Kernels, WaveletPassesMatchTheScalarKernelsBitForBit) {
  if (simd_tables().empty()) GTEST_SKIP() << "no SIMD kernels on this machine";
  expect_same_pass(&Table::forward_columns, "forward columns");
  expect_same_pass(&Table::forward_rows, "forward rows");
  expect_same_pass(&Table::inverse_rows, "inverse rows");
  expect_same_pass(&Table::inverse_columns, "inverse columns");
}

// All +0 but one line: the inverse passes' shortcuts for +0 inputs must see
// each line where the mirrored ends put it.
TEST(Kernels, InverseShortcutsSeeEveryLineNearTheEnds) {
  if (simd_tables().empty()) GTEST_SKIP() << "no SIMD kernels on this machine";
  for (const Table* simd : simd_tables()) {
    for (int32_t n : {16, 18, 22}) {
      const int32_t half = n / 2;
      for (int32_t hot : {0, 1, 2, 3, half - 3, half - 2, half - 1, half, half + 1, half + 2, n - 3,
                          n - 2, n - 1}) {
        for (bool columns : {true, false}) {
          const int32_t rows = columns ? n : 34, cols = columns ? 34 : n;
          Plane a(rows, cols, static_cast<uint32_t>(n * 100 + hot));
          for (int32_t y = 0; y < rows; ++y) {
            for (int32_t x = 0; x < cols; ++x) {
              if ((columns ? y : x) != hot) a.samples[y * a.stride + x] = 0.0f;
            }
          }
          Plane b = a;
          const Pass pass = columns ? &Table::inverse_columns : &Table::inverse_rows;
          std::vector<float> work(kernels::work_floats(std::max(rows, cols)));
          (kernels::kScalarTable.*pass)(a.samples.data(), a.stride, rows, cols, work.data());
          (simd->*pass)(b.samples.data(), b.stride, rows, cols, work.data());
          ASSERT_TRUE(same_bits(a.samples, b.samples))
              << simd->name << (columns ? " columns " : " rows ") << n << " line " << hot;
        }
      }
    }
  }
}

// Colour parameters as a stream may carry them, including matrix entries
// above 1 and values that round to exact halves.
kernels::Colour colour(uint32_t seed) {
  std::mt19937 rng(seed);
  kernels::Colour c;
  for (int e = 0; e < 3; ++e) {
    c.mean[e] = static_cast<int32_t>(rng() % 256);
    for (int r = 0; r < 3; ++r) {
      const int32_t q = static_cast<int32_t>(rng() % (seed % 2 ? 65536 : 20001));
      c.matrix[e][r] = static_cast<float>(q * 0.0001 - 1.0);
    }
  }
  return c;
}

std::vector<float> samples(int32_t n, uint32_t seed, float range) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> value(-range, range);
  std::vector<float> v(static_cast<std::size_t>(n));
  for (float& x : v) x = value(rng);
  // Some exact halves and integers, where rounding decides.
  for (std::size_t i = 0; i < v.size(); i += 7) v[i] = static_cast<float>(static_cast<int>(v[i])) + 0.5f;
  // And values that a damaged stream can give: beyond the integers, infinite,
  // not a number, negative zero.
  const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity(),
                       -std::numeric_limits<float>::infinity(),
                       3e9f,
                       -3e9f,
                       1e38f,
                       -0.0f,
                       -1e-3f};
  for (std::size_t i = 5, k = seed; i < v.size(); i += 11, ++k) v[i] = odd[k % 8];
  return v;
}

TEST(Kernels, ColourKernelsMatchTheScalarKernelsBitForBit) {
  if (simd_tables().empty()) GTEST_SKIP() << "no SIMD kernels on this machine";
  for (const Table* simd : simd_tables()) {
    for (int32_t n : {1, 2, 3, 7, 8, 9, 15, 17, 31, 33, 63, 100, 259, 517}) {
      for (uint32_t seed : {1u, 2u}) {
        const kernels::Colour c = colour(seed + static_cast<uint32_t>(n));
        std::vector<float> p[3], q[3];
        for (int k = 0; k < 3; ++k) p[k] = q[k] = samples(n, seed * 3 + k, k == 0 ? 400.0f : 60.0f);

        kernels::kScalarTable.forward_colour(p[0].data(), p[1].data(), p[2].data(), n, c);
        simd->forward_colour(q[0].data(), q[1].data(), q[2].data(), n, c);
        for (int k = 0; k < 3; ++k)
          ASSERT_EQ(std::memcmp(p[k].data(), q[k].data(), sizeof(float) * n), 0)
              << "forward " << simd->name << " n=" << n << " plane " << k;

        std::vector<uint8_t> cells_a(4 * n + 8, 0xEE), cells_b = cells_a;
        // Packed pixels, with sentinels behind them that must stay.
        std::vector<uint8_t> rgb_a(3 * n + 8, 0xEE), rgb_b = rgb_a;
        for (bool clear : {false, true}) {
          std::vector<float> a[3] = {p[0], p[1], p[2]}, b[3] = {p[0], p[1], p[2]};
          kernels::kScalarTable.colour_cells(a[0].data(), a[1].data(), a[2].data(), n, c,
                                             cells_a.data(), clear);
          simd->colour_cells(b[0].data(), b[1].data(), b[2].data(), n, c, cells_b.data(), clear);
          ASSERT_EQ(cells_a, cells_b) << "cells " << simd->name << " n=" << n;
          for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(same_bits(a[k], b[k])) << simd->name << " n=" << n;

          std::vector<float> d[3] = {p[0], p[1], p[2]}, e[3] = {p[0], p[1], p[2]};
          kernels::kScalarTable.colour_rgb(d[0].data(), d[1].data(), d[2].data(), n, c,
                                           rgb_a.data(), false);
          simd->colour_rgb(e[0].data(), e[1].data(), e[2].data(), n, c, rgb_b.data(), clear);
          ASSERT_EQ(rgb_a, rgb_b) << "rgb " << simd->name << " n=" << n;
          for (int32_t j = 0; j < n; ++j)
            ASSERT_EQ(std::memcmp(&rgb_a[3 * j], &cells_a[4 * j + 1], 3), 0) << "pixel " << j;
          for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(same_bits(e[k], b[k])) << simd->name << " n=" << n;
        }

        kernels::kScalarTable.inverse_colour(p[0].data(), p[1].data(), p[2].data(), n, c);
        simd->inverse_colour(q[0].data(), q[1].data(), q[2].data(), n, c);
        for (int k = 0; k < 3; ++k)
          ASSERT_EQ(std::memcmp(p[k].data(), q[k].data(), sizeof(float) * n), 0)
              << "inverse " << simd->name << " n=" << n << " plane " << k;
      }
    }
  }
}

// Loading and transforming pixels, the statistics alone, and the colour
// transform straight from the pixels all agree, in every table.
TEST(Kernels, PixelKernelsAgreeWithLoadingThenTransforming) {
  std::vector<const Table*> tables = simd_tables();
  tables.push_back(&kernels::kScalarTable);
  // 259 and 517: over the chunks of the staged colour transforms; 40000
  // pixels: past the point where the vector sums are carried over.
  for (int32_t n : {1, 5, 8, 9, 10, 13, 16, 18, 31, 64, 97, 259, 517, 40000}) {
    std::mt19937 rng(static_cast<uint32_t>(n));
    std::vector<uint8_t> rgb(static_cast<std::size_t>(n) * 3);
    for (uint8_t& b : rgb) b = static_cast<uint8_t>(rng());
    rgb[0] = 255;  // extremes against the means
    rgb[1] = 0;
    const kernels::Colour c = colour(static_cast<uint32_t>(2 * n));
    std::vector<float> ref[3];
    kernels::PixelSums ref_sums = {};
    for (auto& r : ref) r.assign(static_cast<std::size_t>(n), 0.0f);
    kernels::kScalarTable.load_row(rgb.data(), n, ref[0].data(), ref[1].data(), ref[2].data(),
                                   &ref_sums);
    const std::vector<float> loaded[3] = {ref[0], ref[1], ref[2]};
    kernels::kScalarTable.forward_colour(ref[0].data(), ref[1].data(), ref[2].data(), n, c);
    for (const Table* t : tables) {
      kernels::PixelSums sums = {};
      t->pixel_sums(rgb.data(), n, &sums);
      EXPECT_EQ(std::memcmp(&sums, &ref_sums, sizeof sums), 0) << t->name << " n=" << n;
      std::vector<float> p[3], work(3 * static_cast<std::size_t>(n) + 48);
      for (auto& r : p) r.assign(static_cast<std::size_t>(n), 0.0f);
      sums = {};
      t->load_row(rgb.data(), n, p[0].data(), p[1].data(), p[2].data(), &sums);
      EXPECT_EQ(std::memcmp(&sums, &ref_sums, sizeof sums), 0) << t->name << " n=" << n;
      for (int k = 0; k < 3; ++k)
        ASSERT_EQ(p[k], loaded[k]) << t->name << " n=" << n << " plane " << k;
      t->colour_pixels(rgb.data(), n, p[0].data(), p[1].data(), p[2].data(), c, work.data());
      for (int k = 0; k < 3; ++k) ASSERT_EQ(p[k], ref[k]) << t->name << " n=" << n << " plane " << k;
    }
  }
}

TEST(Kernels, BlockMaximaMatchTheScalarKernel) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> value(-50.0f, 50.0f);
  std::vector<float> rows[4];
  for (auto& r : rows) {
    r.resize(2 * 70);
    for (float& x : r) x = value(rng);
  }
  for (float& x : rows[2]) x = std::fabs(x);  // maxima are magnitudes
  for (float& x : rows[3]) x = std::fabs(x);
  for (const Table* t : simd_tables()) {
    for (int32_t x0 : {0, 3}) {
      for (int32_t x1 : {1, 9, 17, 70}) {
        for (bool with_maxima : {false, true}) {
          std::vector<float> a(70, -1.0f), b(70, -1.0f);
          const float* m0 = with_maxima ? rows[2].data() : nullptr;
          const float* m1 = with_maxima ? rows[3].data() : nullptr;
          kernels::kScalarTable.block_max(rows[0].data(), rows[1].data(), m0, m1, a.data(), x0, x1);
          t->block_max(rows[0].data(), rows[1].data(), m0, m1, b.data(), x0, x1);
          ASSERT_EQ(a, b) << t->name << " " << x0 << ".." << x1;
        }
      }
    }
  }
}

TEST(Kernels, CellsAreOpaqueAndClearingZeroesThePlanes) {
  const kernels::Colour c = {{10, 20, 30}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  float p0[3] = {0.5f, -40.0f, 300.0f}, p1[3] = {0.6f, 0.0f, 0.0f}, p2[3] = {1.0f, 2.0f, 3.0f};
  uint8_t cells[12];
  kernels::active().colour_cells(p0, p1, p2, 3, c, cells, true);
  const uint8_t expected[12] = {255, 10, 21, 31, 255, 0, 20, 32, 255, 255, 20, 33};
  EXPECT_EQ(std::memcmp(cells, expected, 12), 0);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(p0[j] + p1[j] + p2[j], 0.0f);
}

// A textured picture with edges and noise, made here so that the test needs
// no image files (it runs in the 32-bit and Windows builds too).
std::vector<uint8_t> synthetic(int32_t width, int32_t height) {
  std::vector<uint8_t> px(static_cast<std::size_t>(width) * height * 3);
  uint32_t x = 12345;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t i = 0; i < width; ++i) {
      for (int c = 0; c < 3; ++c) {
        x = x * 1103515245u + 12345u;
        const int edge = (i > width / 3 && y < height / 2) ? 90 : 0;
        px[(static_cast<std::size_t>(y) * width + i) * 3 + c] =
            static_cast<uint8_t>(((i * (c + 1) + y * 2) & 255) / 2 + edge / 2 + ((x >> 16) & 31));
      }
    }
  }
  return px;
}

// Coded row and decoded cells of one picture at one rate.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> round_trip(const std::vector<uint8_t>& px,
                                                                 int32_t width, int32_t height,
                                                                 double rate) {
  static Encoder enc;
  static Decoder dec;
  const int32_t B = stream_bytes(rate, stream_rate_for(width, height));
  std::vector<uint8_t> row(static_cast<std::size_t>(B) + kPrefixBytes);
  std::vector<uint8_t> cells(static_cast<std::size_t>(width) * height * 4);
  encode_image(enc, row.data(), row.size(), width, height, px.data(), rate);
  // A budget too small for the header (32 x 32 at 0.1) gives nothing to decode.
  StreamHeader header;
  if (check_stream(row.data(), row.size(), &header).empty()) {
    decode_image(dec, header, row.data() + kPrefixBytes, row.size() - kPrefixBytes,
                 cells.data(), static_cast<std::ptrdiff_t>(width) * 4, rate);
  }
  return {row, cells};
}

TEST(Kernels, ForcingScalarSwitchesTheActiveTableAndKeepsEveryByte) {
  // The smallest size, odd sizes with borders, and sizes whose wavelet
  // levels end on rows and columns that are not multiples of any vector
  // width; the same decoder state reused across sizes and rates.
  const int32_t sizes[][2] = {{32, 32}, {33, 47}, {200, 104}, {417, 211}, {768, 512}};
  for (const auto& size : sizes) {
    const std::vector<uint8_t> px = synthetic(size[0], size[1]);
    for (double rate : {0.1, 0.5, 2.0}) {
      kernels::force_scalar(true);
      EXPECT_EQ(kernels::active().isa, Isa::kScalar);
      const auto scalar = round_trip(px, size[0], size[1], rate);
      kernels::force_scalar(false);
      const auto fast = round_trip(px, size[0], size[1], rate);
      EXPECT_EQ(scalar.first, fast.first) << size[0] << "x" << size[1] << " at " << rate;
      EXPECT_EQ(scalar.second, fast.second) << size[0] << "x" << size[1] << " at " << rate;
    }
  }
  EXPECT_NE(kernels::for_isa(Isa::kScalar), nullptr);
}

// The cap picks the widest table up to it and never one the processor
// lacks; the names read back.
TEST(Kernels, TheInstructionSetCapNeverRaisesThePath) {
  const Isa all[] = {Isa::kScalar, Isa::kSse2, Isa::kAvx2, Isa::kAvx512};
  for (Isa cap : all) {
    kernels::cap_isa(cap);
    const Isa got = kernels::active().isa;
    EXPECT_LE(got, cap) << kernels::isa_name(cap);
    EXPECT_EQ(kernels::for_isa(got), &kernels::active());
    for (Isa wider : all) {
      if (wider > got && wider <= cap) {
        EXPECT_EQ(kernels::for_isa(wider), nullptr);
      }
    }
    Isa back;
    ASSERT_TRUE(kernels::isa_from_name(kernels::isa_name(cap), &back));
    EXPECT_EQ(back, cap);
  }
  kernels::cap_isa(Isa::kAvx512);
  Isa unused;
  EXPECT_FALSE(kernels::isa_from_name("avx", &unused));
  EXPECT_FALSE(kernels::isa_from_name("", &unused));
}

}  // namespace

}  // namespace quarn
