// Progress of a call, told to the caller's callback at the codec's stage
// boundaries. What share of the call each stage takes is estimated before
// it starts, from the image's size and the bits the coder writes or reads.
#ifndef QUARN_API_PROGRESS_H
#define QUARN_API_PROGRESS_H

#include <cstdint>

#include "codec/stage_hook.h"
#include "quarn/quarn.h"

namespace quarn::api {

inline constexpr int kStageCount = static_cast<int>(Stage::kColourWrite) + 1;

struct Progress {
  quarn_progress_callback callback = nullptr;
  void* user = nullptr;
  double share[kStageCount] = {};  // of the call, per stage
  Stage last = Stage::kStart;      // the stage that completes the call
  double done = 0.0;
};

// Points `stages` at `progress` for an encoding of `pixels` pixels into
// `stream_bytes` bytes, or at nothing when there is no callback.
void watch_encode(Progress& progress, StageHook& stages, int64_t pixels, int64_t stream_bytes);
// The same for a decoding that reads `stream_bytes` bytes.
void watch_decode(Progress& progress, StageHook& stages, int64_t pixels, int64_t stream_bytes);

}  // namespace quarn::api

#endif  // QUARN_API_PROGRESS_H
