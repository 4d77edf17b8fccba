// Shared by the plug-in tests: loading both modules into the stand-in host,
// test pictures, matrices filled from them, and the frames whose rows and
// pixels are pinned by hash on every build. The codec library is called
// directly for comparison through tests/codec_test_util.h.
#ifndef QUARN_TESTS_PLUGIN_HARNESS_H
#define QUARN_TESTS_PLUGIN_HARNESS_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "codec/validate.h"
#include "platform/loader.h"
#include "tests/codec_test_util.h"
#include "tests/host_matrix_checks.h"

namespace quarn::plugin_test {

inline constexpr const char* kPack = "jit.quarnpack";
inline constexpr const char* kOpen = "jit.quarnopen";

// Loads both plug-ins (once per process) and clears the console.
class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::Module m;
    ASSERT_EQ(platform::load_module(QUARN_PACK_MODULE, &m), "");
    ASSERT_EQ(m.name, kPack);
    ASSERT_EQ(platform::load_module(QUARN_OPEN_MODULE, &m), "");
    ASSERT_EQ(m.name, kOpen);
    platform::take_errors();
  }
  void TearDown() override {
    for (void* m : matrices_) platform::free_matrix(m);
    for (void* x : instances_) platform::free_instance(x);
  }

  // Instances and matrices made through these are freed when the test ends.
  void* instance(const char* name, const std::string& args = "") {
    void* x = platform::new_instance(name, args);
    if (x != nullptr) instances_.push_back(x);
    return x;
  }
  void* matrix(void* m) {
    matrices_.push_back(m);
    return m;
  }

 private:
  std::vector<void*> instances_;
  std::vector<void*> matrices_;
};

// A 4-plane char matrix of the picture with the given alpha in plane 0;
// bytes between rows (row_padding) hold `filler`.
inline void* image_matrix(const RgbImage& p, long row_padding = 0, uint8_t alpha = 255,
                          uint8_t filler = 0) {
  void* m = platform::new_matrix(_jit_sym_char, 4, p.width, p.height, row_padding, "in");
  const t_jit_matrix_info info = platform::matrix_info(m);
  uint8_t* data = platform::matrix_data(m);
  std::memset(data, filler, platform::matrix_bytes(m));
  const uint8_t* px = p.pixels.data();
  for (int32_t y = 0; y < p.height; ++y) {
    uint8_t* cell = data + y * info.dimstride[1];
    for (int32_t x = 0; x < p.width; ++x, cell += 4, px += 3) {
      cell[0] = alpha;
      cell[1] = px[0];
      cell[2] = px[1];
      cell[3] = px[2];
    }
  }
  return m;
}

// A 1-plane char matrix with one coded row per entry, each zero-padded to
// the longest.
inline void* row_matrix(const std::vector<std::vector<uint8_t>>& rows) {
  std::size_t longest = 0;
  for (const auto& r : rows) longest = std::max(longest, r.size());
  void* m = platform::new_matrix(_jit_sym_char, 1, static_cast<long>(longest),
                                 static_cast<long>(rows.size()), 0, "in");
  const t_jit_matrix_info info = platform::matrix_info(m);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::memcpy(platform::matrix_data(m) + i * static_cast<std::size_t>(info.dimstride[1]),
                rows[i].data(), rows[i].size());
  }
  return m;
}

// Row 0 of a 1-plane char matrix.
inline std::vector<uint8_t> first_row(void* m) {
  const t_jit_matrix_info info = platform::matrix_info(m);
  const uint8_t* data = platform::matrix_data(m);
  if (data == nullptr) return {};
  return std::vector<uint8_t>(data, data + info.dim[0]);
}

// The colour planes of a 4-plane char matrix as packed RGB.
inline std::vector<uint8_t> rgb_of(void* m) {
  const t_jit_matrix_info info = platform::matrix_info(m);
  const uint8_t* data = platform::matrix_data(m);
  std::vector<uint8_t> rgb;
  for (long y = 0; y < info.dim[1]; ++y) {
    const uint8_t* cell = data + y * info.dimstride[1];
    for (long x = 0; x < info.dim[0]; ++x, cell += 4) rgb.insert(rgb.end(), cell + 1, cell + 4);
  }
  return rgb;
}

// The lock and unlock calls of a host trace.
inline std::vector<std::string> lock_events(const std::vector<std::string>& trace) {
  std::vector<std::string> locks;
  for (const std::string& line : trace) {
    if (line.find(" lock ") != std::string::npos) locks.push_back(line);
  }
  return locks;
}

// The cells of the row the encoder plug-in makes: width x height x bitrate / 8 + 4.
inline std::size_t row_cells(int32_t width, int32_t height, double bitrate) {
  return static_cast<std::size_t>(static_cast<double>(width * height) * bitrate * 0.125 + 4.0);
}

// Two instances of `plugin` (made with `args`) on two threads at once, each
// running `frames` frames of the input `make_input` gives it; every frame's
// output as `read` takes it from the output matrix, empty where a frame failed.
inline std::vector<std::vector<uint8_t>> frames_on_two_threads(
    const char* plugin, const char* args, const std::function<void*()>& make_input,
    const std::function<std::vector<uint8_t>(void*)>& read, int frames = 6) {
  std::vector<std::vector<uint8_t>> outputs(2 * static_cast<std::size_t>(frames));
  std::thread threads[2];
  for (int t = 0; t < 2; ++t) {
    threads[t] = std::thread([&, t] {
      void* x = platform::new_instance(plugin, args);
      void* in = make_input();
      for (int f = 0; f < frames; ++f) {
        if (platform::run_frame(x, in) == 0) outputs[t * frames + f] = read(platform::output_matrix(x));
      }
      platform::free_matrix(in);
      platform::free_instance(x);
    });
  }
  for (std::thread& t : threads) t.join();
  return outputs;
}

// Fixed frames whose coded rows and decoded pixels are pinned by hash, so
// that every build (64-bit, 32-bit, Windows) must give the same bytes.
struct GoldenCase {
  int32_t width;
  int32_t height;
  double bitrate;
  uint64_t row_hash;
  uint64_t pixel_hash;
};

inline void PrintTo(const GoldenCase& c, std::ostream* os) {
  *os << c.width << "x" << c.height << "@" << c.bitrate;
}

// The picture of each case is test_picture(width, height, width).
inline std::vector<GoldenCase> golden_cases() {
  return {
      {256, 256, 0.5, 0xcd33716037d62f61ull, 0x9e3e401f77c6f73dull},
      {320, 240, 0.5, 0x84645ac5f81598b3ull, 0x583bb5cf2e6a54a3ull},
      {40, 264, 0.7, 0xebe349a1b64102feull, 0xd52d1118ae82a6e4ull},
      {97, 61, 2.0, 0x75cb246d1e8b77edull, 0xb07ff7135258fbe8ull},
      {130, 34, 6.0, 0x50a508009562d64dull, 0xb48615db78b70f6aull},
      {512, 128, 0.1, 0x703e8d7a90e9177aull, 0x60b837acb40aeea1ull},
  };
}

}  // namespace quarn::plugin_test

#endif  // QUARN_TESTS_PLUGIN_HARNESS_H
