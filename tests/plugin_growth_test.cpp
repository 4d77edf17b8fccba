// Both plug-ins through 1,000 frames of changing sizes and rates, with a few
// refused frames among them: no leak, and the heap in use after the run
// equals the heap in use after the first frame of the largest size.
//
// How memory is measured (tests/counting_malloc.h): the requested bytes of
// every block allocated and not yet freed, which move by exactly the size of
// anything kept, however small, and in plain native builds the memory mapped
// outside malloc, which catches blocks a part of the codec would map by
// itself. Under LeakSanitizer the test runs a leak check of its own at the
// end, so that a leak fails this test by name.
//
// The run ends on a copy of the measured frame (size, rate and picture),
// since the plug-ins may keep storage for the size of the frame they coded
// last (and the encoder an output row for its size and rate).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/counting_malloc.h"
#include "tests/plugin_harness.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUARN_LEAK_CHECK 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QUARN_LEAK_CHECK 1
#endif
#if defined(QUARN_LEAK_CHECK)
#include <sanitizer/lsan_interface.h>
#endif

namespace quarn {

namespace {

using namespace plugin_test;
using counting_malloc::measure;

struct Frame {
  int32_t width;
  int32_t height;
  double bitrate;
  enum Kind { kGood, kBadRate, kTooSmall, kThreePlanes, kDamagedStream } kind;
  uint32_t picture;  // seed of the test picture
};

// Sizes from 32 to the largest, 200 x 160, rates from 0.25 to 6 bits per
// pixel, one frame in 97 refused in one of four ways, and the last frame a
// copy of the first of the largest size, picture included.
constexpr int32_t kLargestWidth = 200;
constexpr int32_t kLargestHeight = 160;
constexpr int kFrames = 1000;

std::vector<Frame> frames() {
  std::vector<Frame> list;
  const int32_t sides[] = {32, 48, 40, 96, 64, 120, 33, 72};
  const double rates[] = {0.5, 0.3, 2.0, 6.0, 0.25, 1.0, 4.0};
  for (int i = 0; i < kFrames - 1; ++i) {
    Frame f{sides[i % 8], sides[(i / 8 + 3) % 8], rates[i % 7], Frame::kGood,
            static_cast<uint32_t>(i)};
    if (i % 50 == 7) {
      f.width = kLargestWidth;
      f.height = kLargestHeight;
    }
    if (i % 97 == 13) f.kind = static_cast<Frame::Kind>(1 + (i / 97) % 4);
    list.push_back(f);
  }
  list.push_back(list[7]);
  return list;
}

TEST(PluginGrowth, ThousandFramesKeepNothingAndLeakNothing) {
  if (!measure().known) GTEST_SKIP() << "no way to read the heap in use on this platform";
  platform::Module m;
  ASSERT_EQ(platform::load_module(QUARN_PACK_MODULE, &m), "");
  ASSERT_EQ(platform::load_module(QUARN_OPEN_MODULE, &m), "");
  platform::take_errors();

  const std::vector<Frame> list = frames();
  void* pack = platform::new_instance(kPack);
  void* open = platform::new_instance(kOpen);
  ASSERT_NE(pack, nullptr);
  ASSERT_NE(open, nullptr);

  // One frame through both plug-ins; everything it makes is gone when it
  // returns.
  int refused = 0;
  const auto one_frame = [&](int i) {
    const Frame& f = list[static_cast<std::size_t>(i)];
    const double rate = f.kind == Frame::kBadRate ? std::nan("") : f.bitrate;
    ASSERT_TRUE(platform::set_attribute(pack, "bitrate", rate));
    ASSERT_TRUE(platform::set_attribute(open, "bitrate", f.bitrate * 0.75));

    void* input = nullptr;
    if (f.kind == Frame::kTooSmall) {
      input = image_matrix(test_picture(16, 16));
    } else if (f.kind == Frame::kThreePlanes) {
      input = platform::new_matrix(_jit_sym_char, 3, f.width, f.height);
    } else {
      input = image_matrix(test_picture(f.width, f.height, f.picture));
    }
    const t_jit_err packed = platform::run_frame(pack, input);
    platform::free_matrix(input);
    void* coded = platform::output_matrix(pack);
    if (f.kind == Frame::kGood || f.kind == Frame::kDamagedStream) {
      ASSERT_EQ(packed, 0) << "frame " << i;
      if (f.kind == Frame::kDamagedStream) platform::matrix_data(coded)[4] = 'x';
      const t_jit_err opened = platform::run_frame(open, coded);
      if (f.kind == Frame::kGood) {
        ASSERT_EQ(opened, 0) << "frame " << i;
      } else {
        ASSERT_EQ(opened, kEROR) << "frame " << i;
        ++refused;
      }
    } else {
      ASSERT_NE(packed, 0) << "frame " << i;
      ++refused;
    }
    platform::take_errors();
  };

  counting_malloc::Memory after_first_largest;
  for (int i = 0; i < kFrames; ++i) {
    one_frame(i);
    if (HasFatalFailure()) return;
    if (i == 7) after_first_largest = measure();
  }
  const counting_malloc::Memory after_run = measure();
  EXPECT_GE(refused, 8);

  EXPECT_EQ(after_run.heap, after_first_largest.heap)
      << "heap in use after the first 200x160 frame and after the run";
  EXPECT_EQ(after_run.mapped, after_first_largest.mapped)
      << "memory mapped outside malloc after the first 200x160 frame and after the run";

  platform::free_instance(pack);
  platform::free_instance(open);
#if defined(QUARN_LEAK_CHECK)
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer found leaks";
#endif
}

}  // namespace

}  // namespace quarn
