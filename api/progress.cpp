#include "api/progress.h"

#include <algorithm>

namespace quarn::api {

namespace {

// Nanoseconds per pixel, or per stream bit for the coder, of each stage on
// one AVX2 core (quarn_bench, Kodak photos). Only their ratios matter.
struct Cost {
  Stage stage;
  double per_pixel;
  double per_bit;
};

constexpr Cost kEncodeCosts[] = {
    {Stage::kLoad, 0.7, 0.0},   {Stage::kColour, 2.5, 0.0}, {Stage::kWavelet, 8.6, 0.0},
    {Stage::kMaxima, 1.2, 0.0}, {Stage::kSpiht, 0.0, 9.0},
};
constexpr Cost kDecodeCosts[] = {
    {Stage::kSpiht, 0.0, 9.0},
    {Stage::kInverseWavelet, 7.2, 0.0},
    {Stage::kColourWrite, 3.0, 0.0},
};

void on_stage(void* context, Stage stage) {
  auto& p = *static_cast<Progress*>(context);
  p.done = stage == Stage::kStart ? 0.0
           : stage == p.last      ? 1.0
                                  : std::min(1.0, p.done + p.share[static_cast<int>(stage)]);
  p.callback(p.user, p.done);
}

template <std::size_t N>
void watch(Progress& p, StageHook& stages, const Cost (&costs)[N], Stage last, int64_t pixels,
           int64_t stream_bytes) {
  if (p.callback == nullptr) {
    stages = {};
    return;
  }
  double total = 0.0;
  for (double& s : p.share) s = 0.0;
  for (const Cost& c : costs) {
    const double cost = c.per_pixel * static_cast<double>(pixels) +
                        c.per_bit * 8.0 * static_cast<double>(stream_bytes);
    p.share[static_cast<int>(c.stage)] = cost;
    total += cost;
  }
  for (double& s : p.share) s /= total;
  p.last = last;
  p.done = 0.0;
  stages = {&on_stage, &p};
}

}  // namespace

void watch_encode(Progress& progress, StageHook& stages, int64_t pixels, int64_t stream_bytes) {
  watch(progress, stages, kEncodeCosts, Stage::kOutput, pixels, stream_bytes);
}

void watch_decode(Progress& progress, StageHook& stages, int64_t pixels, int64_t stream_bytes) {
  watch(progress, stages, kDecodeCosts, Stage::kColourWrite, pixels, stream_bytes);
}

}  // namespace quarn::api
