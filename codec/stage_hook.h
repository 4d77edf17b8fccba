// An optional observer of the pipelines' stages, used by the benchmark to
// time each stage of a real encode or decode. When no observer is set, a stage
// boundary costs one test of a null pointer.
#ifndef QUARN_CODEC_STAGE_HOOK_H
#define QUARN_CODEC_STAGE_HOOK_H

#include <cstdint>

namespace quarn {

// Stages in the order the pipelines run them. Each is reported when it ends;
// kStart is reported when a pipeline begins.
enum class Stage : uint8_t {
  kStart,
  // Encoder.
  kLoad,     // pixels into planes, colour statistics, eigenvectors
  kBorder,   // border extension to the coding size
  kColour,   // forward colour transform and the first wavelet level
  kWavelet,  // the other levels of the forward wavelet transform
  kMaxima,   // descendant maxima and the top exponent
  kSpiht,    // SPIHT coding or decoding (both pipelines)
  kOutput,   // size prefix and stream bytes into the caller's row
  // Decoder.
  kReset,           // header, image set-up and de-quantised colours
  kPlace,           // the decoded coefficients into the planes
  kInverseWavelet,  // inverse wavelet transform but for the first level
  kColourWrite,     // the first level, inverse colour transform and output
};

struct StageHook {
  void (*finished)(void* context, Stage stage) = nullptr;
  void* context = nullptr;
};

inline void stage_finished(const StageHook& hook, Stage stage) {
  if (hook.finished != nullptr) hook.finished(hook.context, stage);
}

}  // namespace quarn

#endif  // QUARN_CODEC_STAGE_HOOK_H
