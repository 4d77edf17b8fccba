// quarn_kernels_bench: each kernel of each available table on one 768 x 512
// image (the Kodak size).
//
// By default it runs them as Google Benchmark micro-benchmarks, whose items
// per second count the samples (or pixels) a kernel produces. With --cycles
// it prints a Markdown table of cycles per output instead (see cycles.h).
//
//   --isa ISA      only the tables up to this instruction set (scalar, sse2,
//                  avx2, avx512)
//   --threads N    threads per kernel: 1 (every kernel runs on one thread)
//   --cycles       the cycles table; --samples N timed runs per kernel
//   --only NAME    with --cycles, only the kernels whose name contains NAME
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "cycles.h"
#include "image/big_buffer.h"
#include "image/kernels.h"

namespace quarn {

namespace {

using kernels::Isa;
using kernels::Table;

constexpr int32_t kRows = 512;
constexpr int32_t kCols = 768;
// As the codec lays out a plane: an odd number of cache lines per row, in
// storage from allocate_big() (huge pages where the system has them).
constexpr std::ptrdiff_t kStride = 784;
constexpr std::size_t kSamples = static_cast<std::size_t>(kRows) * kStride;

// Floats in storage from allocate_big().
class Samples {
 public:
  explicit Samples(std::size_t n) : n_(n), buffer_(allocate_big(n * sizeof(float))) {
    if (buffer_.data == nullptr) std::abort();
  }
  Samples(const Samples&) = delete;
  ~Samples() { release_big(buffer_); }
  Samples& operator=(const Samples& other) {
    std::memcpy(data(), other.data(), sizeof(float) * std::min(n_, other.n_));
    return *this;
  }
  float* data() const { return static_cast<float*>(buffer_.data); }
  float& operator[](std::size_t i) const { return data()[i]; }

 private:
  std::size_t n_;
  BigBuffer buffer_;
};

// Three planes of samples as the colour and wavelet kernels see them, a
// sparse plane as a coarse stream's detail bands are (mostly +0), maxima
// (magnitudes), and the pixels of the picture.
struct Data {
  Samples planes[3] = {Samples(kSamples), Samples(kSamples), Samples(kSamples)};
  Samples sparse{kSamples}, maxima{kSamples};
  Samples work{std::max(kernels::work_floats(kCols), 3 * static_cast<std::size_t>(kCols) + 48)};
  std::vector<uint8_t> rgb, cells;
  Data()
      : rgb(static_cast<std::size_t>(kRows) * kCols * 3),
        cells(static_cast<std::size_t>(kRows) * kCols * 4) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    for (auto& p : planes) {
      for (std::size_t i = 0; i < kSamples; ++i) p[i] = value(rng);
    }
    for (std::size_t i = 0; i < kSamples; ++i) sparse[i] = 0.0f;
    for (int32_t y = 0; y < kRows; ++y) {
      for (int32_t x = 0; x < kCols; ++x) {
        // A dense low band in the corner; elsewhere one sample in 20.
        if ((y < kRows / 2 && x < kCols / 2) || rng() % 20 == 0)
          sparse[y * kStride + x] = value(rng);
      }
    }
    for (std::size_t i = 0; i < kSamples; ++i) maxima[i] = std::fabs(value(rng));
    for (uint8_t& b : rgb) b = static_cast<uint8_t>(rng());
  }
};

Data& data() {
  static Data d;
  return d;
}

const kernels::Colour kColour = {
    {120, 110, 100},
    {{0.5774f, 0.5774f, 0.5773f}, {-0.7071f, 0.0001f, 0.7071f}, {0.4082f, -0.8165f, 0.4082f}}};

// A kernel run over the whole image, with what it needs restored before
// each run (untimed) so that repeated runs neither overflow nor sink into
// subnormal numbers; `outputs` counts what one run produces.
struct Case {
  std::string name;
  const char* unit;
  double outputs;
  std::function<void()> reset;
  std::function<void()> run;
};

using Pass = void (*Table::*)(float*, std::ptrdiff_t, int32_t, int32_t, float*);

std::vector<Case> cases(const Table* t) {
  Data& d = data();
  static Samples plane(kSamples);
  static Samples planes[3] = {Samples(kSamples), Samples(kSamples), Samples(kSamples)};
  const double pixels = static_cast<double>(kRows) * kCols;
  auto restore_planes = [&d] {
    for (int k = 0; k < 3; ++k) planes[k] = d.planes[k];
  };
  // f(offset of row y in a plane, offset of its pixels in the picture).
  auto rows = [](auto&& f) {
    for (int32_t y = 0; y < kRows; ++y) f(y * kStride, static_cast<std::ptrdiff_t>(y) * kCols);
  };
  std::vector<Case> c;
  c.push_back({"load_row", "pixel", pixels, restore_planes, [t, &d, rows] {
                 kernels::PixelSums sums = {};
                 rows([&](std::ptrdiff_t o, std::ptrdiff_t px) {
                   t->load_row(d.rgb.data() + px * 3, kCols, planes[0].data() + o,
                               planes[1].data() + o, planes[2].data() + o, &sums);
                 });
                 benchmark::DoNotOptimize(sums);
               }});
  c.push_back({"pixel_sums", "pixel", pixels, [] {},
               [t, &d, rows] {
                 kernels::PixelSums sums = {};
                 rows([&](std::ptrdiff_t, std::ptrdiff_t px) {
                   t->pixel_sums(d.rgb.data() + px * 3, kCols, &sums);
                 });
                 benchmark::DoNotOptimize(sums);
               }});
  c.push_back({"colour_pixels", "pixel", pixels, restore_planes, [t, &d, rows] {
                 rows([&](std::ptrdiff_t o, std::ptrdiff_t px) {
                   t->colour_pixels(d.rgb.data() + px * 3, kCols, planes[0].data() + o,
                                    planes[1].data() + o, planes[2].data() + o, kColour,
                                    d.work.data());
                 });
               }});
  c.push_back({"forward_colour", "pixel", pixels, restore_planes, [t, rows] {
                 rows([&](std::ptrdiff_t o, std::ptrdiff_t) {
                   t->forward_colour(planes[0].data() + o, planes[1].data() + o,
                                     planes[2].data() + o, kCols, kColour);
                 });
               }});
  c.push_back({"inverse_colour", "pixel", pixels, restore_planes, [t, rows] {
                 rows([&](std::ptrdiff_t o, std::ptrdiff_t) {
                   t->inverse_colour(planes[0].data() + o, planes[1].data() + o,
                                     planes[2].data() + o, kCols, kColour);
                 });
               }});
  for (bool clear : {false, true}) {
    c.push_back({clear ? "colour_cells+clear" : "colour_cells", "pixel", pixels, restore_planes,
                 [t, &d, rows, clear] {
                   rows([&](std::ptrdiff_t o, std::ptrdiff_t px) {
                     t->colour_cells(planes[0].data() + o, planes[1].data() + o,
                                     planes[2].data() + o, kCols, kColour, d.cells.data() + px * 4,
                                     clear);
                   });
                 }});
  }
  c.push_back({"colour_rgb", "pixel", pixels, restore_planes, [t, &d, rows] {
                 rows([&](std::ptrdiff_t o, std::ptrdiff_t px) {
                   t->colour_rgb(planes[0].data() + o, planes[1].data() + o, planes[2].data() + o,
                                 kCols, kColour, d.rgb.data() + px * 3, false);
                 });
               }});
  // Descendant maxima of the finest ring (from coefficients alone) and of the
  // next (coefficients and maxima): a 384 x 256 region of outputs.
  for (bool with_maxima : {false, true}) {
    c.push_back({with_maxima ? "block_max+maxima" : "block_max", "output", pixels / 4, [] {},
                 [t, &d, with_maxima] {
                   const float* m = with_maxima ? d.maxima.data() : nullptr;
                   for (int32_t y = 0; y < kRows / 2; ++y) {
                     const float* c0 = d.planes[0].data() + 2 * y * kStride;
                     const float* m0 = m == nullptr ? nullptr : m + 2 * y * kStride;
                     t->block_max(c0, c0 + kStride, m0, m0 == nullptr ? nullptr : m0 + kStride,
                                  d.planes[1].data() + y * kStride, 0, kCols / 2);
                   }
                 }});
  }
  struct Named {
    const char* name;
    Pass pass;
    bool sparse;
  };
  for (const Named& n : {Named{"forward_columns", &Table::forward_columns, false},
                         Named{"forward_rows", &Table::forward_rows, false},
                         Named{"inverse_rows", &Table::inverse_rows, false},
                         Named{"inverse_columns", &Table::inverse_columns, false},
                         Named{"inverse_rows_sparse", &Table::inverse_rows, true},
                         Named{"inverse_columns_sparse", &Table::inverse_columns, true}}) {
    c.push_back({n.name, "sample", pixels, [&d, n] { plane = n.sparse ? d.sparse : d.planes[1]; },
                 [t, &d, n] { (t->*n.pass)(plane.data(), kStride, kRows, kCols, d.work.data()); }});
  }
  return c;
}

// Google Benchmark: the restoring is paused out of the timing.
void run_case(benchmark::State& state, Case c) {
  for (auto _ : state) {
    state.PauseTiming();
    c.reset();
    state.ResumeTiming();
    c.run();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(c.outputs));
}

std::vector<const Table*> tables_up_to(Isa cap) {
  std::vector<const Table*> tables;
  for (Isa isa : {Isa::kScalar, Isa::kSse2, Isa::kAvx2, Isa::kAvx512}) {
    if (isa > cap) break;
    if (const Table* t = kernels::for_isa(isa)) tables.push_back(t);
  }
  return tables;
}

int cycles_table(const std::vector<const Table*>& tables, int samples, const std::string& only) {
  std::printf("## quarn_kernels_bench --cycles\n\n%s\n\n", cycles::machine().c_str());
  std::printf("%s\n\n", cycles::kMethod);
  std::printf("| kernel | per | ISA | threads | TSC cycles | core cycles | core GHz |\n");
  std::printf("|---|---|---|---:|---:|---:|---:|\n");
  for (const Table* t : tables) {
    for (const Case& c : cases(t)) {
      if (!only.empty() && c.name.find(only) == std::string::npos) continue;
      const cycles::Figure f = cycles::measure(c.reset, c.run, samples);
      std::printf("| %s | %s | %s | 1 | %.3f | %s%s | %s |\n", c.name.c_str(), c.unit, t->name,
                  f.tsc_cycles / c.outputs, cycles::or_dash(f.core_cycles / c.outputs).c_str(),
                  f.quiet_runs >= 10 ? "" : "*", cycles::or_dash(f.core_ghz).c_str());
      std::fflush(stdout);
    }
  }
  return 0;
}


}  // namespace

}  // namespace quarn

int main(int argc, char** argv) {
  using namespace quarn;
  Isa cap = Isa::kAvx512;
  bool cycles_mode = false;
  int samples = 200;
  std::string only;
  std::vector<char*> rest = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--isa" && has_value) {
      if (!kernels::isa_from_name(argv[++i], &cap)) {
        std::fprintf(stderr,
                     "quarn_kernels_bench: unknown instruction set '%s' (scalar, sse2, avx2, "
                     "avx512)\n",
                     argv[i]);
        return 2;
      }
    } else if (a == "--threads" && has_value) {
      if (std::strcmp(argv[++i], "1") != 0) {
        std::fprintf(stderr, "quarn_kernels_bench: every kernel runs on one thread; --threads 1\n");
        return 2;
      }
    } else if (a == "--cycles") {
      cycles_mode = true;
    } else if (a == "--samples" && has_value) {
      samples = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--only" && has_value) {
      only = argv[++i];
    } else {
      rest.push_back(argv[i]);
    }
  }
  kernels::cap_isa(cap);
  const std::vector<const Table*> tables = tables_up_to(cap);
  if (cycles_mode) return cycles_table(tables, samples, only);

  for (const Table* t : tables) {
    for (const Case& c : cases(t)) {
      benchmark::RegisterBenchmark((c.name + "/" + t->name).c_str(), run_case, c)
          ->Unit(benchmark::kMicrosecond);
    }
  }
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  if (benchmark::ReportUnrecognizedArguments(n, rest.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
