// Cycles per output on a machine without performance counters.
//
// The time stamp counter ticks at a fixed rate, but the core's clock moves
// with boost and with the load of the host, so a time alone gives cycles
// only at an assumed clock. Each timed run is therefore bracketed by two
// runs of a chain of dependent 64-bit multiplications, whose latency is 3
// core cycles on every current x86 core: their time gives the core's clock
// just before and just after, and a run counts only when the two agree
// within 1%.
//
// A core that runs two hardware threads (as the vCPUs of a cloud machine
// often do) gives each about half its issue slots while the other is busy.
// A run of no-operations, which a lone thread issues at about 6 a cycle on
// current cores, tells whether the other thread was quiet around the timed
// run; the core cycles are taken from such runs when there are enough.
#ifndef QUARN_BENCH_CYCLES_H
#define QUARN_BENCH_CYCLES_H

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "bench/machine.h"

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#define QUARN_BENCH_TSC 1
#endif

namespace cycles {

inline constexpr const char* kMethod =
    "TSC cycles: the fastest run's time in time stamp counter ticks. Core cycles: each run's "
    "ticks divided by the ticks per core cycle measured just before and after it (a chain of "
    "dependent multiplications, 3 cycles each), runs whose clock moved by more than 1% left "
    "out; the tenth percentile of the runs around which the core's other hardware thread was "
    "quiet (no-operations issued at 5.5 or more a cycle), or of all runs when fewer than 10 "
    "were quiet (marked *). Core GHz: the median clock of those runs.";

struct Figure {
  double tsc_cycles = 0;  // per run
  double core_cycles = std::numeric_limits<double>::quiet_NaN();
  double core_ghz = std::numeric_limits<double>::quiet_NaN();
  int quiet_runs = 0;
};

inline std::string or_dash(double v) {
  if (std::isnan(v)) return "-";
  char s[32];
  std::snprintf(s, sizeof s, "%.3f", v);
  return s;
}

#ifdef QUARN_BENCH_TSC
inline uint64_t ticks() {
  unsigned aux;
  return __rdtscp(&aux);
}

// Ticks of the time stamp counter per core cycle, now.
inline double ticks_per_cycle() {
  constexpr int kLinks = 8000;
  uint64_t x = 3;
  const uint64_t t0 = ticks();
  for (int i = 0; i < kLinks; i += 8) {
#if defined(__x86_64__)
    asm volatile(
        "imul %0, %0\n\timul %0, %0\n\timul %0, %0\n\timul %0, %0\n\t"
        "imul %0, %0\n\timul %0, %0\n\timul %0, %0\n\timul %0, %0"
        : "+r"(x));
#else
    uint32_t y = static_cast<uint32_t>(x);
    asm volatile(
        "imul %0, %0\n\timul %0, %0\n\timul %0, %0\n\timul %0, %0\n\t"
        "imul %0, %0\n\timul %0, %0\n\timul %0, %0\n\timul %0, %0"
        : "+r"(y));
    x = y;
#endif
  }
  return static_cast<double>(ticks() - t0) / (3.0 * kLinks);
}

// Ticks per no-operation, issued as fast as the core allows.
inline double ticks_per_nop() {
  constexpr int kRounds = 400;
  const uint64_t t0 = ticks();
  for (int i = 0; i < kRounds; ++i) {
    asm volatile(
        "nop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\t"
        "nop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\t"
        "nop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\t"
        "nop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\t"
        "nop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\t"
        "nop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\t"
        "nop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\t"
        "nop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop\n\tnop");
  }
  return static_cast<double>(ticks() - t0) / (64.0 * kRounds);
}

// Ticks per second, against the steady clock over 50 ms.
inline double tick_rate() {
  static const double rate = [] {
    const auto c0 = std::chrono::steady_clock::now();
    const uint64_t t0 = ticks();
    while (std::chrono::steady_clock::now() - c0 < std::chrono::milliseconds(50)) {
    }
    const uint64_t t1 = ticks();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - c0).count();
    return static_cast<double>(t1 - t0) / s;
  }();
  return rate;
}
#endif

inline Figure measure(const std::function<void()>& reset, const std::function<void()>& run,
                      int samples) {
  Figure f;
  reset();
  run();
#ifdef QUARN_BENCH_TSC
  std::vector<double> all, quiet, all_ghz, quiet_ghz;
  double fastest = std::numeric_limits<double>::infinity();
  for (int s = 0; s < samples; ++s) {
    reset();
    const double c0 = ticks_per_cycle();
    const double n0 = ticks_per_nop();
    const uint64_t t0 = ticks();
    run();
    const uint64_t t1 = ticks();
    const double n1 = ticks_per_nop();
    const double c1 = ticks_per_cycle();
    const double t = static_cast<double>(t1 - t0);
    fastest = std::min(fastest, t);
    if (std::fabs(c0 - c1) > 0.01 * c0) continue;
    const double c = 0.5 * (c0 + c1);
    all.push_back(t / c);
    all_ghz.push_back(tick_rate() / c * 1e-9);
    if (std::max(n0, n1) <= c / 5.5) {
      quiet.push_back(t / c);
      quiet_ghz.push_back(all_ghz.back());
    }
  }
  f.tsc_cycles = fastest;
  f.quiet_runs = static_cast<int>(quiet.size());
  std::vector<double>& core = quiet.size() >= 10 ? quiet : all;
  std::vector<double>& ghz = quiet.size() >= 10 ? quiet_ghz : all_ghz;
  if (!core.empty()) {
    std::sort(core.begin(), core.end());
    std::sort(ghz.begin(), ghz.end());
    f.core_cycles = core[core.size() / 10];
    f.core_ghz = ghz[ghz.size() / 2];
  }
#else
  // Without a time stamp counter: nanoseconds stand in for ticks.
  double fastest = std::numeric_limits<double>::infinity();
  for (int s = 0; s < samples; ++s) {
    reset();
    const auto t0 = std::chrono::steady_clock::now();
    run();
    fastest = std::min(
        fastest,
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count());
  }
  f.tsc_cycles = fastest;
#endif
  return f;
}

// The processor, the counter's rate and the load, for the table's heading.
inline std::string machine() {
  const std::string model = bench::cpu_model();
  const std::string load = bench::load_average();
  char s[256];
#ifdef QUARN_BENCH_TSC
  std::snprintf(s, sizeof s, "CPU: %s; time stamp counter %.3f GHz; load average at start: %s",
                model.c_str(), tick_rate() * 1e-9, load.c_str());
#else
  std::snprintf(s, sizeof s, "CPU: %s; nanoseconds instead of cycles; load average: %s",
                model.c_str(), load.c_str());
#endif
  return s;
}

}  // namespace cycles

#endif  // QUARN_BENCH_CYCLES_H
