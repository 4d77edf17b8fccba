// quarn_kernels_bench: each kernel of each available table on one plane of a
// 768 x 512 image (the Kodak size), as Google Benchmark micro-benchmarks.
// Items per second count the samples (or pixels) a kernel produces.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "image/kernels.h"

namespace quarn {

namespace {

using kernels::Isa;
using kernels::Table;

constexpr int32_t kRows = 512;
constexpr int32_t kCols = 768;
constexpr std::ptrdiff_t kStride = 768;

struct Data {
  std::vector<float> planes[3];
  std::vector<float> work;
  std::vector<uint8_t> rgb, cells;
  Data() : work(kernels::work_floats(kCols)), rgb(kRows * kCols * 3), cells(kRows * kCols * 4) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    for (auto& p : planes) {
      p.resize(static_cast<std::size_t>(kRows) * kStride);
      for (float& x : p) x = value(rng);
    }
    for (uint8_t& b : rgb) b = static_cast<uint8_t>(rng());
  }
};

Data& data() {
  static Data d;
  return d;
}

const kernels::Colour kColour = {{120, 110, 100},
                                 {{0.5774f, 0.5774f, 0.5773f},
                                  {-0.7071f, 0.0001f, 0.7071f},
                                  {0.4082f, -0.8165f, 0.4082f}}};

using Pass = void (*Table::*)(float*, std::ptrdiff_t, int32_t, int32_t, float*);

// Each run starts from the same samples, so that repeated passes neither
// overflow nor sink into subnormal numbers.
void wavelet_pass(benchmark::State& state, const Table* t, Pass pass) {
  Data& d = data();
  std::vector<float> plane = d.planes[1];
  for (auto _ : state) {
    state.PauseTiming();
    plane = d.planes[1];
    state.ResumeTiming();
    (t->*pass)(plane.data(), kStride, kRows, kCols, d.work.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kRows * kCols);
}

void forward_colour(benchmark::State& state, const Table* t) {
  Data& d = data();
  for (auto _ : state) {
    for (int32_t y = 0; y < kRows; ++y) {
      const std::ptrdiff_t o = y * kStride;
      t->forward_colour(d.planes[0].data() + o, d.planes[1].data() + o, d.planes[2].data() + o,
                        kCols, kColour);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kRows * kCols);
}

void colour_cells(benchmark::State& state, const Table* t) {
  Data& d = data();
  for (auto _ : state) {
    for (int32_t y = 0; y < kRows; ++y) {
      const std::ptrdiff_t o = y * kStride;
      t->colour_cells(d.planes[0].data() + o, d.planes[1].data() + o, d.planes[2].data() + o,
                      kCols, kColour, d.cells.data() + o * 4, false);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kRows * kCols);
}

void colour_rgb(benchmark::State& state, const Table* t) {
  Data& d = data();
  for (auto _ : state) {
    for (int32_t y = 0; y < kRows; ++y) {
      const std::ptrdiff_t o = y * kStride;
      t->colour_rgb(d.planes[0].data() + o, d.planes[1].data() + o, d.planes[2].data() + o,
                    kCols, kColour, d.rgb.data() + o * 3, false);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kRows * kCols);
}

void load_rows(benchmark::State& state, const Table* t) {
  Data& d = data();
  for (auto _ : state) {
    kernels::PixelSums sums = {};
    for (int32_t y = 0; y < kRows; ++y) {
      const std::ptrdiff_t o = y * kStride;
      t->load_row(d.rgb.data() + o * 3, kCols, d.planes[0].data() + o, d.planes[1].data() + o,
                  d.planes[2].data() + o, &sums);
    }
    benchmark::DoNotOptimize(sums);
  }
  state.SetItemsProcessed(state.iterations() * kRows * kCols);
}

void register_all() {
  for (Isa isa : {Isa::kScalar, Isa::kSse2, Isa::kAvx2, Isa::kAvx512}) {
    const Table* t = kernels::for_isa(isa);
    if (t == nullptr) continue;
    const std::string n = t->name;
    benchmark::RegisterBenchmark(("load_row/" + n).c_str(), load_rows, t);
    benchmark::RegisterBenchmark(("forward_colour/" + n).c_str(), forward_colour, t);
    benchmark::RegisterBenchmark(("forward_columns/" + n).c_str(), wavelet_pass, t,
                                 &Table::forward_columns);
    benchmark::RegisterBenchmark(("forward_rows/" + n).c_str(), wavelet_pass, t,
                                 &Table::forward_rows);
    benchmark::RegisterBenchmark(("inverse_rows/" + n).c_str(), wavelet_pass, t,
                                 &Table::inverse_rows);
    benchmark::RegisterBenchmark(("inverse_columns/" + n).c_str(), wavelet_pass, t,
                                 &Table::inverse_columns);
    benchmark::RegisterBenchmark(("colour_cells/" + n).c_str(), colour_cells, t);
    benchmark::RegisterBenchmark(("colour_rgb/" + n).c_str(), colour_rgb, t);
  }
}

}  // namespace

}  // namespace quarn

int main(int argc, char** argv) {
  using namespace quarn;
  register_all();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
