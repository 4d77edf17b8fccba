// quarn_bench: how fast the codec runs, stage by stage, in-process.
//
// Runs encode_image and decode_image on the Kodak photographs (or the bundled
// sample when they are absent) and prints Markdown tables:
//   warm     frames of one size again and again, as inside the host: the
//            median of repeated runs per photo, whole pipeline and each stage;
//   cold     the first frame of a fresh process (a child process per photo),
//            page faults and allocation included;
//   memory   peak resident bytes per pixel for an 8192 x 8192 image;
//   scaling  cost per pixel from 256 x 256 to 8192 x 8192.
// Megapixels per second count the logical pixels of the image.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ctime>
#include <string>
#include <vector>

#include "bench_util.h"
#include "cycles.h"
#include "codec/decoder.h"
#include "codec/encoder.h"
#include "codec/validate.h"
#include "image/big_buffer.h"
#include "image/kernels.h"
#include "image/worker_pool.h"
#include "spiht/spiht_decode.h"
#include "spiht/spiht_encode.h"
#include "stream/budget.h"

namespace quarn {

namespace {

// Threads the pipelines use (--threads; 0 was made every processor thread).
int32_t g_threads = 1;

// Wall-clock time by default; with --cpu-clock the thread's own processor
// time, which other processes on a busy machine disturb much less.
bool g_cpu_clock = false;

double now_seconds() {
#if defined(CLOCK_THREAD_CPUTIME_ID)
  if (g_cpu_clock) {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
  }
#endif
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

constexpr int kStages = static_cast<int>(Stage::kColourWrite) + 1;

// Adds the time since the previous stage boundary to the stage just ended.
struct StageTimes {
  std::array<double, kStages> seconds{};
  double last = 0.0;

  static void on_stage(void* context, Stage stage) {
    auto* self = static_cast<StageTimes*>(context);
    const double now = now_seconds();
    if (stage != Stage::kStart) self->seconds[static_cast<int>(stage)] += now - self->last;
    self->last = now;
  }
  double total() const {
    double t = 0.0;
    for (double s : seconds) t += s;
    return t;
  }
};

const Stage kEncodeStages[] = {Stage::kLoad,    Stage::kBorder, Stage::kColour, Stage::kWavelet,
                               Stage::kMaxima,  Stage::kSpiht,  Stage::kOutput};
const Stage kDecodeStages[] = {Stage::kReset, Stage::kSpiht, Stage::kPlace,
                               Stage::kInverseWavelet, Stage::kColourWrite};

const char* stage_name(Stage s) {
  switch (s) {
    case Stage::kStart: return "start";
    case Stage::kLoad: return "load+stats";
    case Stage::kBorder: return "border";
    case Stage::kColour: return "colour";
    case Stage::kWavelet: return "wavelet";
    case Stage::kMaxima: return "maxima";
    case Stage::kSpiht: return "SPIHT";
    case Stage::kOutput: return "output";
    case Stage::kReset: return "reset";
    case Stage::kPlace: return "place";
    case Stage::kInverseWavelet: return "inverse wavelet";
    case Stage::kColourWrite: return "colour+write";
  }
  return "?";
}

// With --best, the fastest of the repeated runs stands for them instead of
// their median: on a machine that others share, it shows the codec's cost
// without their interference.
bool g_best = false;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  if (g_best) return v[0];
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

struct Codec {
  Encoder enc;
  Decoder dec;
  std::vector<uint8_t> row;
  std::vector<uint8_t> cells;

  Codec() {
    enc.threads = g_threads;
    dec.threads = g_threads;
  }

  StageTimes encode(const RgbImage& image, double rate) {
    const int32_t B = stream_bytes(rate, stream_rate_for(image.width, image.height));
    row.resize(static_cast<std::size_t>(B) + kPrefixBytes);
    StageTimes t;
    enc.stages = {&StageTimes::on_stage, &t};
    encode_image(enc, row.data(), row.size(), image.width, image.height, image.pixels.data(),
                 rate);
    enc.stages = {};
    return t;
  }
  StageTimes decode(const RgbImage& image, double rate) {
    cells.resize(static_cast<std::size_t>(image.width) * image.height * 4);
    StreamHeader header;
    check_stream(row.data(), row.size(), &header);
    StageTimes t;
    dec.stages = {&StageTimes::on_stage, &t};
    decode_image(dec, header, row.data() + kPrefixBytes,
                 row.size() - kPrefixBytes, cells.data(),
                 static_cast<std::ptrdiff_t>(image.width) * 4, rate);
    dec.stages = {};
    return t;
  }
};

// Per-stage medians for one photo, and their sums over a set.
struct Figures {
  double pixels = 0;
  double encode = 0, decode = 0;
  std::array<double, kStages> enc_stage{}, dec_stage{};
  int frames = 0;

  void add_medians(const RgbImage& image, const std::vector<StageTimes>& e,
                   const std::vector<StageTimes>& d) {
    pixels += static_cast<double>(image.width) * image.height;
    std::vector<double> v;
    for (const auto& t : e) v.push_back(t.total());
    encode += median(v);
    v.clear();
    for (const auto& t : d) v.push_back(t.total());
    decode += median(v);
    for (int s = 0; s < kStages; ++s) {
      v.clear();
      for (const auto& t : e) v.push_back(t.seconds[s]);
      enc_stage[s] += median(v);
      v.clear();
      for (const auto& t : d) v.push_back(t.seconds[s]);
      dec_stage[s] += median(v);
    }
    ++frames;
  }
};

double mps(double pixels, double seconds) { return seconds > 0 ? pixels / seconds * 1e-6 : 0; }

void print_figures(const char* title, const std::vector<double>& rates,
                   const std::vector<Figures>& figs) {
  std::printf("\n### %s\n\n", title);
  std::printf("MP/s (megapixels per second); in brackets milliseconds per frame.\n\n");
  std::printf("| stage |");
  for (double r : rates) std::printf(" %.1f bpp |", r);
  std::printf("\n|---|");
  for (std::size_t i = 0; i < rates.size(); ++i) std::printf("---:|");
  std::printf("\n");
  auto line = [&](const char* name, auto pick) {
    std::printf("| %s |", name);
    for (const Figures& f : figs) {
      const double s = pick(f);
      std::printf(" %.1f (%.3f) |", mps(f.pixels, s), s / f.frames * 1e3);
    }
    std::printf("\n");
  };
  line("**encode**", [](const Figures& f) { return f.encode; });
  for (Stage s : kEncodeStages) {
    char name[64];
    std::snprintf(name, sizeof name, "encode: %s", stage_name(s));
    line(name, [s](const Figures& f) { return f.enc_stage[static_cast<int>(s)]; });
  }
  line("**decode**", [](const Figures& f) { return f.decode; });
  for (Stage s : kDecodeStages) {
    char name[64];
    std::snprintf(name, sizeof name, "decode: %s", stage_name(s));
    line(name, [s](const Figures& f) { return f.dec_stage[static_cast<int>(s)]; });
  }
}

// The instruction set cap and the thread count, which apply to the child
// processes too; every table names both.
std::string g_isa;  // empty: no cap

// Takes --isa ISA, --no-simd and --threads N out of `args`; false when one
// of them is malformed.
bool take_path_options(std::vector<std::string>& args) {
  auto erase = [&](std::size_t i, std::ptrdiff_t n) {
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
               args.begin() + static_cast<std::ptrdiff_t>(i) + n);
  };
  for (std::size_t i = 0; i < args.size();) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--no-simd") {
      g_isa = "scalar";
      erase(i, 1);
    } else if (a == "--isa" && has_value) {
      kernels::Isa isa;
      if (!kernels::isa_from_name(args[i + 1].c_str(), &isa)) {
        std::fprintf(stderr, "quarn_bench: unknown instruction set '%s' (scalar, sse2, avx2, avx512)\n",
                     args[i + 1].c_str());
        return false;
      }
      g_isa = args[i + 1];
      erase(i, 2);
    } else if (a == "--threads" && has_value) {
      char* end = nullptr;
      const long n = std::strtol(args[i + 1].c_str(), &end, 10);
      if (end == args[i + 1].c_str() || *end != '\0' || n < 0 || n > kMaxThreads) {
        std::fprintf(stderr, "quarn_bench: --threads takes 0 (every processor thread) to %d\n",
                     static_cast<int>(kMaxThreads));
        return false;
      }
      g_threads = resolve_threads(static_cast<int32_t>(n));
      erase(i, 2);
    } else {
      ++i;
    }
  }
  if (!g_isa.empty()) {
    kernels::Isa isa;
    kernels::isa_from_name(g_isa.c_str(), &isa);
    kernels::cap_isa(isa);
  }
  return true;
}

std::vector<std::string> with_path_args(std::vector<std::string> args) {
  if (!g_isa.empty()) {
    args.push_back("--isa");
    args.push_back(g_isa);
  }
  args.push_back("--threads");
  args.push_back(std::to_string(g_threads));
  return args;
}

std::string threads_label() {
  return std::to_string(g_threads) + (g_threads == 1 ? " thread" : " threads");
}

// ", avx2 kernels, 2 threads": what every table was measured with.
std::string path_label() {
  return std::string(", ") + kernels::active().name + " kernels, " + threads_label();
}

struct Options {
  std::string kodak = QUARN_KODAK_DIR;
  std::vector<double> rates = {0.1, 0.5, 2.0};
  int repeat = 9;
  bool warm = true, cold = true, memory = true, scaling = true, spiht = false;
  int min_side = 256;
  int max_side = 8192;
  int photos = 24;
};

std::vector<std::string> photo_files(const Options& o) {
  std::vector<std::string> files;
  for (int i = 1; i <= o.photos; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/kodim%02d.png", i);
    if (std::filesystem::exists(o.kodak + name)) files.push_back(o.kodak + name);
  }
  if (files.empty()) files.push_back(QUARN_SAMPLE);
  return files;
}

void run_warm(const Options& o, const std::vector<RgbImage>& photos) {
  std::vector<Figures> figs;
  Codec codec;
  for (double rate : o.rates) {
    Figures f;
    for (const RgbImage& image : photos) {
      codec.encode(image, rate);  // the first frame of a size is not warm
      codec.decode(image, rate);
      std::vector<StageTimes> e, d;
      for (int i = 0; i < o.repeat; ++i) {
        e.push_back(codec.encode(image, rate));
        d.push_back(codec.decode(image, rate));
      }
      f.add_medians(image, e, d);
    }
    figs.push_back(f);
  }
  char title[128];
  std::snprintf(title, sizeof title, "Warm: %zu photos, %s of %d runs each%s", photos.size(),
                g_best ? "fastest" : "median", o.repeat, path_label().c_str());
  print_figures(title, o.rates, figs);
}

// The child's side of a cold measurement: one encode and one decode, each
// the first of its kind in this process; prints the stage times.
int cold_child(const char* file, double rate) {
  // A process that codes one picture, as the tool does: its buffers share
  // huge pages (see image/big_buffer.h).
  share_big_buffers(true);
  const RgbImage image = load_png(file);
  if (image.width == 0) return 1;
  Codec codec;
  const StageTimes e = codec.encode(image, rate);
  const StageTimes d = codec.decode(image, rate);
  for (double s : e.seconds) std::printf("%.9f ", s);
  for (double s : d.seconds) std::printf("%.9f ", s);
  std::printf("\n");
  return 0;
}

void run_cold(const Options& o, const char* self, const std::vector<std::string>& files,
              const std::vector<RgbImage>& photos) {
  std::vector<Figures> figs;
  for (double rate : o.rates) {
    Figures f;
    for (std::size_t i = 0; i < files.size(); ++i) {
      char args[64];
      std::snprintf(args, sizeof args, "%.17g", rate);
      const std::string out =
          run_child(self, with_path_args({"--cold-child", files[i], args}));
      StageTimes e, d;
      const char* p = out.c_str();
      char* end = nullptr;
      bool ok = true;
      for (int s = 0; s < 2 * kStages && ok; ++s) {
        const double v = std::strtod(p, &end);
        ok = end != p;
        p = end;
        (s < kStages ? e.seconds[s] : d.seconds[s - kStages]) = v;
      }
      if (!ok) {
        std::fprintf(stderr, "cold run of %s failed\n", files[i].c_str());
        continue;
      }
      f.add_medians(photos[i], {e}, {d});
    }
    figs.push_back(f);
  }
  char title[128];
  std::snprintf(title, sizeof title, "Cold: first frame of a fresh process, %zu photos%s",
                files.size(), path_label().c_str());
  print_figures(title, o.rates, figs);
}

// Peak memory: one child encodes an n x n image and writes its row to a file,
// another decodes that row; each reports its resident peak.
int memory_child(const char* mode, int32_t n, double rate, const char* row_file) {
  const long start = resident_kib(false);
  if (std::strcmp(mode, "encode") == 0) {
    const RgbImage image = tiled_sample(n, n);
    const long before = resident_kib(false);
    Codec codec;
    codec.encode(image, rate);
    const long peak = resident_kib(true);
    std::FILE* f = std::fopen(row_file, "wb");
    if (f == nullptr) return 1;
    std::fwrite(codec.row.data(), 1, codec.row.size(), f);
    std::fclose(f);
    std::printf("%ld %ld %ld\n", start, before, peak);
    return 0;
  }
  std::vector<uint8_t> row = read_file(row_file);
  if (row.size() < 4) return 1;
  Codec codec;
  codec.row = std::move(row);
  RgbImage size;
  size.width = size.height = n;
  codec.cells.assign(static_cast<std::size_t>(n) * n * 4, 0);
  const long before = resident_kib(false);
  codec.decode(size, rate);
  const long peak = resident_kib(true);
  std::printf("%ld %ld %ld\n", start, before, peak);
  return 0;
}

void run_memory(const Options& o, const char* self) {
  const int32_t n = o.max_side;
  const double rate = 0.5;
  const std::string row_file =
      (std::filesystem::temp_directory_path() / "quarn_bench_memory.qrn").string();
  std::printf("\n### Peak memory, %d x %d at %.1f bpp%s\n\n", n, n, rate,
              path_label().c_str());
  std::printf("Resident set: *process* counts everything the process holds at its peak "
              "(program, input image, output buffer, codec); *codec* only what the call "
              "adds to the resident set present before it (input and output buffers "
              "already in place).\n\n");
  std::printf("| | process, bytes/pixel | codec, bytes/pixel |\n|---|---:|---:|\n");
  char ns[16], rs[32];
  std::snprintf(ns, sizeof ns, "%d", n);
  std::snprintf(rs, sizeof rs, "%.17g", rate);
  const double pixels = static_cast<double>(n) * n;
  for (const char* mode : {"encode", "decode"}) {
    const std::string out = run_child(
        self, with_path_args({"--memory-child", mode, ns, rs, row_file}));
    long start = 0, before = 0, peak = 0;
    if (std::sscanf(out.c_str(), "%ld %ld %ld", &start, &before, &peak) != 3) {
      std::fprintf(stderr, "memory run (%s) failed\n", mode);
      continue;
    }
    std::printf("| %s | %.2f | %.2f |\n", mode, peak * 1024.0 / pixels,
                (peak - before) * 1024.0 / pixels);
  }
  std::remove(row_file.c_str());
}

// SPIHT alone, in core cycles per coded bit (bench/cycles.h): each photo is
// encoded once, then its coefficients are coded and its stream decoded again
// and again (the coder leaves the planes as they were, the decoder keeps
// what it finds in its lists).
void run_spiht(const Options& o, const std::vector<RgbImage>& photos) {
  std::printf("\n### SPIHT, core cycles per coded bit, %zu photos%s\n\n", photos.size(),
              path_label().c_str());
  std::printf("%s\n\n", cycles::machine().c_str());
  std::printf("The cycles of a photo: the tenth percentile of %d runs (%s). Coded bits: "
              "the stream's bits after its header.\n\n",
              o.repeat * 4, "see quarn_kernels_bench --cycles");
  std::printf("| rate | bits per frame | encode cycles/bit | decode cycles/bit | encode ns/bit | "
              "decode ns/bit | core GHz |\n|---|---:|---:|---:|---:|---:|---:|\n");
  for (double rate : o.rates) {
    double bits = 0, enc_cycles = 0, dec_cycles = 0, enc_ns = 0, dec_ns = 0, ghz = 0;
    int photos_measured = 0;
    for (const RgbImage& image : photos) {
      Codec codec;
      codec.encode(image, rate);
      Encoder& enc = codec.enc;
      std::vector<uint8_t> stream(codec.row.size() + kEncodeSlack);
      BitWriter w;
      const cycles::Figure e = cycles::measure(
          [&] {
            begin_write(w, stream.data());
            w.byte_budget = enc.bits.byte_budget;
            w.pos = kHeaderBits;
          },
          [&] {
            spiht_encode(enc.spiht, w, enc.image, enc.maxima, enc.tree_levels, enc.top_exponent);
          },
          o.repeat * 4);
      const double coded = static_cast<double>(w.pos - kHeaderBits);
      StreamHeader header;
      check_stream(codec.row.data(), codec.row.size(), &header);
      Decoder& dec = codec.dec;
      dec.image.ResetCoefficients(header.height, header.width);
      dec.spiht.code_rows = dec.image.codeRows;
      dec.spiht.code_cols = dec.image.codeCols;
      BitReader r;
      const cycles::Figure d = cycles::measure(
          [&] {
            begin_read(r, codec.row.data() + kPrefixBytes, codec.row.size() - kPrefixBytes,
                       kHeaderBits);
            r.byte_budget = enc.bits.byte_budget;
          },
          [&] { spiht_decode(dec.spiht, r, dec.image, enc.tree_levels, header.top_exponent); },
          o.repeat * 4);
      bits += coded;
      enc_cycles += e.core_cycles;
      dec_cycles += d.core_cycles;
      enc_ns += e.tsc_cycles / cycles::tick_rate() * 1e9;
      dec_ns += d.tsc_cycles / cycles::tick_rate() * 1e9;
      ghz += e.core_ghz;
      ++photos_measured;
    }
    std::printf("| %.2f bpp | %.0f | %.2f | %.2f | %.2f | %.2f | %.2f |\n", rate,
                bits / photos_measured, enc_cycles / bits, dec_cycles / bits, enc_ns / bits,
                dec_ns / bits, ghz / photos_measured);
    std::fflush(stdout);
  }
}

// Stage groups of the scaling table: what streams the planes and what walks
// the trees.
struct StageGroup {
  const char* name;
  std::vector<Stage> stages;
};

void run_scaling(const Options& o) {
  const double rate = 0.5;
  const std::vector<StageGroup> enc_groups = {
      {"colour", {Stage::kLoad, Stage::kBorder, Stage::kColour}},
      {"wavelet", {Stage::kWavelet}},
      {"maxima", {Stage::kMaxima}},
      {"SPIHT", {Stage::kSpiht, Stage::kOutput}}};
  const std::vector<StageGroup> dec_groups = {
      {"SPIHT", {Stage::kReset, Stage::kSpiht}},
      {"wavelet", {Stage::kPlace, Stage::kInverseWavelet}},
      {"colour", {Stage::kColourWrite}}};
  std::printf("\n### Scaling at %.1f bpp, warm%s\n\n", rate, path_label().c_str());
  std::printf("Nanoseconds per pixel, %s of repeated runs; linear cost keeps them flat. The "
              "stage columns are each the %s of that stage's times.\n\n",
              g_best ? "fastest" : "median", g_best ? "fastest" : "median");
  std::printf("| size | encode ns/px | decode ns/px | encode MP/s | decode MP/s |");
  for (const StageGroup& g : enc_groups) std::printf(" enc %s |", g.name);
  for (const StageGroup& g : dec_groups) std::printf(" dec %s |", g.name);
  std::printf("\n|---|---:|---:|---:|---:|");
  for (std::size_t i = 0; i < enc_groups.size() + dec_groups.size(); ++i) std::printf("---:|");
  std::printf("\n");
  for (int32_t n = o.min_side; n <= o.max_side; n *= 2) {
    const RgbImage image = tiled_sample(n, n);
    Codec codec;
    codec.encode(image, rate);
    codec.decode(image, rate);
    const double pixels = static_cast<double>(n) * n;
    const int runs = std::max(3, static_cast<int>(std::min(25.0, 4e7 / pixels)));
    std::vector<StageTimes> e, d;
    for (int i = 0; i < runs; ++i) {
      e.push_back(codec.encode(image, rate));
      d.push_back(codec.decode(image, rate));
    }
    auto total = [](const std::vector<StageTimes>& v) {
      std::vector<double> t;
      for (const StageTimes& s : v) t.push_back(s.total());
      return median(t);
    };
    auto group = [](const std::vector<StageTimes>& v, const StageGroup& g) {
      std::vector<double> t;
      for (const StageTimes& s : v) {
        double sum = 0.0;
        for (Stage st : g.stages) sum += s.seconds[static_cast<int>(st)];
        t.push_back(sum);
      }
      return median(t);
    };
    const double te = total(e), td = total(d);
    std::printf("| %d x %d | %.2f | %.2f | %.1f | %.1f |", n, n, te / pixels * 1e9,
                td / pixels * 1e9, mps(pixels, te), mps(pixels, td));
    for (const StageGroup& g : enc_groups) std::printf(" %.2f |", group(e, g) / pixels * 1e9);
    for (const StageGroup& g : dec_groups) std::printf(" %.2f |", group(d, g) / pixels * 1e9);
    std::printf("\n");
    std::fflush(stdout);
  }
}

constexpr const char kUsage[] =
    "usage: quarn_bench [options]\n"
    "\n"
    "Times encode_image and decode_image, stage by stage, on the Kodak photos\n"
    "(or the bundled sample when they are absent) and prints Markdown tables.\n"
    "\n"
    "  --kodak DIR          where kodim01.png .. kodim24.png are\n"
    "  --photos N           use the first N photos (default 24)\n"
    "  --rates R1,R2,...    bits per pixel (default 0.1,0.5,2)\n"
    "  --repeat N           runs per photo for the warm figures (default 9)\n"
    "  --only WHAT          warm, cold, memory or scaling (default all four), or\n"
    "                       spiht (SPIHT alone, core cycles per coded bit)\n"
    "  --max-side N         largest side for memory and scaling (default 8192)\n"
    "  --min-side N         smallest side for scaling (default 256)\n"
    "  --best               the fastest run instead of the median\n"
    "  --cpu-clock          the thread's processor time instead of wall time\n"
    "  --isa ISA            at most this instruction set: scalar, sse2, avx2 or\n"
    "                       avx512 (never more than the processor has)\n"
    "  --no-simd            the scalar kernels only (--isa scalar)\n"
    "  --threads N          threads to code with (default 1; 0: every processor\n"
    "                       thread); SPIHT itself always runs on one\n"
    "  --write-tiled N FILE write an N x N PPM of the tiled sample (the scaling\n"
    "                       and memory picture) and exit\n";

int usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

}  // namespace quarn

int main(int argc, char** argv) {
  using namespace quarn;
  Options o;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!take_path_options(args)) return usage();
  if (std::find(args.begin(), args.end(), "--best") != args.end()) {
    g_best = true;
    args.erase(std::find(args.begin(), args.end(), "--best"));
  }
  if (std::find(args.begin(), args.end(), "--cpu-clock") != args.end()) {
    g_cpu_clock = true;
    args.erase(std::find(args.begin(), args.end(), "--cpu-clock"));
  }
  if (!args.empty() && args[0] == "--write-tiled" && args.size() >= 3) {
    // An n x n PPM of the tiled sample, for whole-process runs of the tool.
    const int32_t n = std::clamp(std::atoi(args[1].c_str()), 32, 8192);
    const RgbImage image = tiled_sample(n, n);
    std::FILE* f = std::fopen(args[2].c_str(), "wb");
    if (f == nullptr) return 1;
    std::fprintf(f, "P6\n%d %d\n255\n", static_cast<int>(n), static_cast<int>(n));
    const bool written = std::fwrite(image.pixels.data(), 1, image.pixels.size(), f) ==
                         image.pixels.size();
    return std::fclose(f) == 0 && written ? 0 : 1;
  }
  if (!args.empty() && args[0] == "--cold-child" && args.size() >= 3) {
    return cold_child(args[1].c_str(), std::strtod(args[2].c_str(), nullptr));
  }
  if (!args.empty() && args[0] == "--memory-child" && args.size() >= 5) {
    return memory_child(args[1].c_str(), std::atoi(args[2].c_str()),
                        std::strtod(args[3].c_str(), nullptr), args[4].c_str());
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--kodak" && has_value) {
      o.kodak = args[++i];
    } else if (a == "--rates" && has_value) {
      o.rates.clear();
      for (const char* p = args[++i].c_str(); *p != '\0';) {
        char* end = nullptr;
        o.rates.push_back(std::strtod(p, &end));
        if (end == p) return usage();
        p = *end == ',' ? end + 1 : end;
      }
    } else if (a == "--repeat" && has_value) {
      o.repeat = std::max(1, std::atoi(args[++i].c_str()));
    } else if (a == "--photos" && has_value) {
      o.photos = std::clamp(std::atoi(args[++i].c_str()), 1, 24);
    } else if (a == "--min-side" && has_value) {
      o.min_side = std::clamp(std::atoi(args[++i].c_str()), 256, 8192);
    } else if (a == "--max-side" && has_value) {
      o.max_side = std::clamp(std::atoi(args[++i].c_str()), 256, 8192);
    } else if (a == "--only" && has_value) {
      const std::string which = args[++i];
      o.warm = which == "warm";
      o.cold = which == "cold";
      o.memory = which == "memory";
      o.scaling = which == "scaling";
      o.spiht = which == "spiht";
      if (!(o.warm || o.cold || o.memory || o.scaling || o.spiht)) return usage();
    } else {
      return usage();
    }
  }

  const std::vector<std::string> files = photo_files(o);
  std::vector<RgbImage> photos;
  for (const std::string& f : files) {
    photos.push_back(load_png(f.c_str()));
    if (photos.back().width == 0) {
      std::fprintf(stderr, "quarn_bench: cannot read %s\n", f.c_str());
      return 1;
    }
  }
  std::printf("## quarn_bench\n\n");
  std::printf("Kernels: %s. Threads: %d. Photos: %zu from %s.\n", kernels::active().name,
              static_cast<int>(g_threads), photos.size(),
              files.size() == 1 ? "the bundled sample" : o.kodak.c_str());
  std::printf("%s\n", machine_summary().c_str());
  if (g_cpu_clock) std::printf("Times are the thread's processor time, not wall-clock time.\n");
  std::fflush(stdout);

  if (o.warm) run_warm(o, photos);
  std::fflush(stdout);
  if (o.cold) {
    if (can_run_children()) run_cold(o, argv[0], files, photos);
    else std::printf("\n(cold runs need a POSIX system; skipped)\n");
  }
  std::fflush(stdout);
  if (o.memory) {
    if (can_run_children()) run_memory(o, argv[0]);
    else std::printf("\n(memory runs need a POSIX system; skipped)\n");
  }
  std::fflush(stdout);
  if (o.scaling) run_scaling(o);
  if (o.spiht) run_spiht(o, photos);
  return 0;
}
