// Helpers of the benchmark: images, child processes, resident memory.
#ifndef QUARN_BENCH_BENCH_UTIL_H
#define QUARN_BENCH_BENCH_UTIL_H

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/machine.h"
#include "tools/png_io.h"

#if defined(__unix__) || defined(__APPLE__)
#include <sys/wait.h>
#include <unistd.h>

namespace quarn {
#define QUARN_BENCH_POSIX 1
#endif

inline std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A PNG file as packed RGB; width 0 when it cannot be read.
inline RgbImage load_png(const char* path) {
  RgbImage image;
  const std::vector<uint8_t> data = read_file(path);
  if (data.empty() || !read_png(data, &image).empty()) image = RgbImage{};
  return image;
}

// A width x height picture made of mirrored copies of the bundled sample, so
// that every size has the same kind of content and no seams.
inline RgbImage tiled_sample(int32_t width, int32_t height) {
  const RgbImage s = load_png(QUARN_SAMPLE);
  RgbImage out;
  out.width = width;
  out.height = height;
  out.pixels.resize(static_cast<std::size_t>(width) * height * 3);
  uint8_t* p = out.pixels.data();
  for (int32_t y = 0; y < height; ++y) {
    const int32_t ty = y / s.height, sy = ty % 2 ? s.height - 1 - y % s.height : y % s.height;
    for (int32_t x = 0; x < width; ++x, p += 3) {
      const int32_t tx = x / s.width, sx = tx % 2 ? s.width - 1 - x % s.width : x % s.width;
      const uint8_t* q = s.pixels.data() + (static_cast<std::size_t>(sy) * s.width + sx) * 3;
      p[0] = q[0];
      p[1] = q[1];
      p[2] = q[2];
    }
  }
  return out;
}

inline bool can_run_children() {
#ifdef QUARN_BENCH_POSIX
  return true;
#else
  return false;
#endif
}

// Runs this program again with `args` (empty ones dropped) and returns what it
// printed; empty when it could not be run or failed.
inline std::string run_child(const char* self, const std::vector<std::string>& args) {
#ifdef QUARN_BENCH_POSIX
  int fds[2];
  if (pipe(fds) != 0) return "";
  const pid_t pid = fork();
  if (pid < 0) return "";
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(self));
    for (const std::string& a : args)
      if (!a.empty()) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    execv(self, argv.data());
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "";
  return out;
#else
  (void)self;
  (void)args;
  return "";
#endif
}

// Resident set of this process in KiB, now or at its peak (Linux); 0 where
// the system does not say.
inline long resident_kib(bool peak) {
  std::ifstream status("/proc/self/status");
  std::string key;
  const std::string wanted = peak ? "VmHWM:" : "VmRSS:";
  while (status >> key) {
    if (key == wanted) {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(1 << 20, '\n');
  }
  return 0;
}

// CPU model and load, so that a table says what it was measured on.
inline std::string machine_summary() {
  return "CPU: " + bench::cpu_model() + "; load average at start: " + bench::load_average();
}

}  // namespace quarn

#endif  // QUARN_BENCH_BENCH_UTIL_H
