// quarn_kernels_bench: each kernel of each available table on one 768 x 512
// image (the Kodak size).
//
// By default it runs them as Google Benchmark micro-benchmarks, whose items
// per second count the samples (or pixels) a kernel produces. With --cycles
// it prints a Markdown table of cycles per output instead (see cycles.h).
//
//   --isa ISA      only the tables up to this instruction set (scalar, sse2,
//                  avx2, avx512)
//   --threads N    threads per kernel (default 1; 0: every processor thread):
//                  each kernel's image split into bands of rows (blocks of
//                  columns for the column passes) on the codec's worker pool,
//                  as the pipelines split it; the figures are then per output
//                  of the whole machine, not of one core
//   --cycles       the cycles table; --samples N timed runs per kernel
//   --only NAME    with --cycles, only the kernels whose name contains NAME
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cycles.h"
#include "image/big_buffer.h"
#include "image/kernels.h"
#include "image/worker_pool.h"

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

// The threads each kernel runs on, and per thread (slot of the pool) its own
// work line and the rows a kernel writes that are not part of the image.
int32_t g_threads = 1;
constexpr int32_t kRun = 8;  // output pairs per run of the column passes
constexpr int32_t kRingRows = 2 * kRun + 7;
struct Slot {
  Samples work{std::max(kernels::work_floats(kCols), 3 * static_cast<std::size_t>(kCols) + 48)};
  Samples outputs{static_cast<std::size_t>(2 * kRun) * kStride};
  Samples ring{static_cast<std::size_t>(kRingRows) * kStride};
};
Slot& slot(int32_t i) {
  static std::unique_ptr<Slot> slots[kMaxThreads];
  if (!slots[i]) slots[i] = std::make_unique<Slot>();
  return *slots[i];
}

const kernels::Colour kColour = {
    {120, 110, 100},
    {{0.5774f, 0.5774f, 0.5773f}, {-0.7071f, 0.0001f, 0.7071f}, {0.4082f, -0.8165f, 0.4082f}}};

// A kernel run over the whole image, with what it needs restored before
// each run (untimed) so that repeated runs neither overflow nor sink into
// subnormal numbers; `outputs` counts what one run produces. The image is
// `units` independent units (rows, runs of rows or blocks of columns) of
// `unit_outputs` each; part(begin, end, slot) runs units [begin, end).
using Part = std::function<void(int32_t, int32_t, int32_t)>;
struct Case {
  std::string name;
  const char* unit;
  double outputs;
  std::function<void()> reset;
  std::function<void()> run;
};

// A run of the whole image split over the pool as the codec splits a stage:
// a few tasks per thread, each of at least 2^14 outputs.
std::function<void()> split(int32_t units, int64_t unit_outputs, Part part) {
  return [units, unit_outputs, part] {
    const int32_t tasks =
        std::max(1, std::min(units, task_count(g_threads, units * unit_outputs, int64_t{1} << 14)));
    run_tasks(g_threads, tasks, [&](int32_t t, int32_t s) {
      part(part_begin(units, tasks, t), part_begin(units, tasks, t + 1), s);
    });
  };
}

using Pass = void (*Table::*)(float*, std::ptrdiff_t, int32_t, int32_t, float*);

std::vector<Case> cases(const Table* t) {
  Data& d = data();
  static Samples plane(kSamples);
  static Samples planes[3] = {Samples(kSamples), Samples(kSamples), Samples(kSamples)};
  const double pixels = static_cast<double>(kRows) * kCols;
  auto restore_planes = [&d] {
    for (int k = 0; k < 3; ++k) planes[k] = d.planes[k];
  };
  // f(offset of row y in a plane, offset of its pixels in the picture) for
  // each row of the part, split by bands of rows.
  auto by_rows = [](auto f) {
    return split(kRows, kCols, [f](int32_t y0, int32_t y1, int32_t s) {
      for (int32_t y = y0; y < y1; ++y) f(y * kStride, static_cast<std::ptrdiff_t>(y) * kCols, s);
    });
  };
  std::vector<Case> c;
  c.push_back({"load_row", "pixel", pixels, restore_planes,
               by_rows([t, &d](std::ptrdiff_t o, std::ptrdiff_t px, int32_t) {
                 kernels::PixelSums sums = {};
                 t->load_row(d.rgb.data() + px * 3, kCols, planes[0].data() + o,
                             planes[1].data() + o, planes[2].data() + o, &sums);
                 benchmark::DoNotOptimize(sums);
               })});
  c.push_back({"pixel_sums", "pixel", pixels, [] {},
               by_rows([t, &d](std::ptrdiff_t, std::ptrdiff_t px, int32_t) {
                 kernels::PixelSums sums = {};
                 t->pixel_sums(d.rgb.data() + px * 3, kCols, &sums);
                 benchmark::DoNotOptimize(sums);
               })});
  c.push_back({"colour_pixels", "pixel", pixels, restore_planes,
               by_rows([t, &d](std::ptrdiff_t o, std::ptrdiff_t px, int32_t s) {
                 t->colour_pixels(d.rgb.data() + px * 3, kCols, planes[0].data() + o,
                                  planes[1].data() + o, planes[2].data() + o, kColour,
                                  slot(s).work.data());
               })});
  c.push_back({"forward_colour", "pixel", pixels, restore_planes,
               by_rows([t](std::ptrdiff_t o, std::ptrdiff_t, int32_t) {
                 t->forward_colour(planes[0].data() + o, planes[1].data() + o,
                                   planes[2].data() + o, kCols, kColour);
               })});
  c.push_back({"inverse_colour", "pixel", pixels, restore_planes,
               by_rows([t](std::ptrdiff_t o, std::ptrdiff_t, int32_t) {
                 t->inverse_colour(planes[0].data() + o, planes[1].data() + o,
                                   planes[2].data() + o, kCols, kColour);
               })});
  for (bool clear : {false, true}) {
    c.push_back({clear ? "colour_cells+clear" : "colour_cells", "pixel", pixels, restore_planes,
                 by_rows([t, &d, clear](std::ptrdiff_t o, std::ptrdiff_t px, int32_t) {
                   t->colour_cells(planes[0].data() + o, planes[1].data() + o,
                                   planes[2].data() + o, kCols, kColour, d.cells.data() + px * 4,
                                   clear);
                 })});
  }
  c.push_back({"colour_rgb", "pixel", pixels, restore_planes,
               by_rows([t, &d](std::ptrdiff_t o, std::ptrdiff_t px, int32_t) {
                 t->colour_rgb(planes[0].data() + o, planes[1].data() + o, planes[2].data() + o,
                               kCols, kColour, d.rgb.data() + px * 3, false);
               })});
  // Descendant maxima of the finest ring (from coefficients alone) and of the
  // next (coefficients and maxima): a 384 x 256 region of outputs.
  for (bool with_maxima : {false, true}) {
    c.push_back({with_maxima ? "block_max+maxima" : "block_max", "output", pixels / 4, [] {},
                 split(kRows / 2, kCols / 2, [t, &d, with_maxima](int32_t y0, int32_t y1, int32_t) {
                   const float* m = with_maxima ? d.maxima.data() : nullptr;
                   for (int32_t y = y0; y < y1; ++y) {
                     const float* c0 = d.planes[0].data() + 2 * y * kStride;
                     const float* m0 = m == nullptr ? nullptr : m + 2 * y * kStride;
                     t->block_max(c0, c0 + kStride, m0, m0 == nullptr ? nullptr : m0 + kStride,
                                  d.planes[1].data() + y * kStride, 0, kCols / 2);
                   }
                 })});
  }
  // The wavelet passes: the column passes by blocks of whole cache lines of
  // columns, the row passes by bands of rows.
  struct Named {
    const char* name;
    Pass pass;
    bool sparse;
    bool by_columns;
  };
  constexpr int32_t kLine = 16;
  for (const Named& n : {Named{"forward_columns", &Table::forward_columns, false, true},
                         Named{"forward_rows", &Table::forward_rows, false, false},
                         Named{"inverse_rows", &Table::inverse_rows, false, false},
                         Named{"inverse_columns", &Table::inverse_columns, false, true},
                         Named{"inverse_rows_sparse", &Table::inverse_rows, true, false},
                         Named{"inverse_columns_sparse", &Table::inverse_columns, true, true}}) {
    const Pass pass = n.pass;
    c.push_back({n.name, "sample", pixels, [&d, n] { plane = n.sparse ? d.sparse : d.planes[1]; },
                 n.by_columns
                     ? split((kCols + kLine - 1) / kLine, int64_t{kRows} * kLine,
                             [t, pass](int32_t b0, int32_t b1, int32_t s) {
                               const int32_t x0 = b0 * kLine, x1 = std::min(kCols, b1 * kLine);
                               (t->*pass)(plane.data() + x0, kStride, kRows, x1 - x0,
                                          slot(s).work.data());
                             })
                     : split(kRows, kCols, [t, pass](int32_t y0, int32_t y1, int32_t s) {
                         (t->*pass)(plane.data() + y0 * kStride, kStride, y1 - y0, kCols,
                                    slot(s).work.data());
                       })});
  }
  // The first level's column passes over rows given by pointer, as the
  // pipelines run them: runs of kRun output pairs, their input rows in a
  // ring of 2 kRun + 7 rows (in the cache), over the whole picture; and the
  // row pass into a ring row. Each thread has its own ring and outputs.
  constexpr int32_t kRuns = kRows / 2 / kRun;
  for (bool sparse : {false, true}) {
    auto fill_rings = [&d, sparse] {
      for (int32_t s = 0; s < g_threads; ++s) {
        std::memcpy(slot(s).ring.data(), (sparse ? d.sparse : d.planes[0]).data(),
                    sizeof(float) * kRingRows * kStride);
      }
    };
    c.push_back({sparse ? "analyze_columns_sparse" : "analyze_columns", "sample", pixels,
                 [&d, fill_rings] {
                   plane = d.planes[1];
                   fill_rings();
                 },
                 split(kRuns, int64_t{2 * kRun} * kCols, [t](int32_t r0, int32_t r1, int32_t s) {
                   const float* in[kRingRows];
                   float* low[kRun];
                   float* high[kRun];
                   for (int32_t i = 0; i < kRingRows; ++i) in[i] = slot(s).ring.data() + i * kStride;
                   for (int32_t r = r0; r < r1; ++r) {
                     for (int32_t j = 0; j < kRun; ++j) {
                       low[j] = plane.data() + (r * kRun + j) * kStride;
                       high[j] = plane.data() + (kRows / 2 + r * kRun + j) * kStride;
                     }
                     t->analyze_columns(in, kRun, kCols, low, high);
                   }
                 })});
    c.push_back({sparse ? "synthesize_columns_sparse" : "synthesize_columns", "sample", pixels,
                 fill_rings,
                 split(kRuns, int64_t{2 * kRun} * kCols, [t](int32_t r0, int32_t r1, int32_t s) {
                   const float* in[kRingRows];
                   float* out[2 * kRun];
                   for (int32_t i = 0; i < kRingRows; ++i) in[i] = slot(s).ring.data() + i * kStride;
                   for (int32_t j = 0; j < 2 * kRun; ++j) out[j] = slot(s).outputs.data() + j * kStride;
                   for (int32_t r = r0; r < r1; ++r) t->synthesize_columns(in, kRun, kCols, out);
                 })});
    c.push_back({sparse ? "inverse_rows_to_sparse" : "inverse_rows_to", "sample", pixels,
                 [&d, sparse] { plane = sparse ? d.sparse : d.planes[1]; },
                 split(kRows, kCols, [t](int32_t y0, int32_t y1, int32_t s) {
                   for (int32_t y = y0; y < y1; ++y) {
                     t->inverse_rows_to(plane.data() + y * kStride, kStride, 1, kCols,
                                        slot(s).ring.data() + (y % kRingRows) * kStride, 0,
                                        slot(s).work.data());
                   }
                 })});
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
      std::printf("| %s | %s | %s | %d | %.3f | %s%s | %s |\n", c.name.c_str(), c.unit, t->name,
                  g_threads, f.tsc_cycles / c.outputs, cycles::or_dash(f.core_cycles / c.outputs).c_str(),
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
      char* end = nullptr;
      const long n = std::strtol(argv[++i], &end, 10);
      if (end == argv[i] || *end != '\0' || n < 0 || n > kMaxThreads) {
        std::fprintf(stderr, "quarn_kernels_bench: --threads takes 0 (every processor thread) to %d\n",
                     static_cast<int>(kMaxThreads));
        return 2;
      }
      g_threads = resolve_threads(static_cast<int32_t>(n));
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
