// The byte budget and the tree level rule: what the encoder and the decoder
// must compute identically, computed here once for both.
#ifndef QUARN_STREAM_BUDGET_H
#define QUARN_STREAM_BUDGET_H

#include <cstdint>

namespace quarn {

// Largest stream length the codec accepts, with room for its work buffers.
inline constexpr int32_t kMaxStreamBytes = 0x7FFFFFFF - 4096;

// 8 / (width x height): the bits per pixel that one stream byte is worth.
// The product is exact, the quotient formed in double and rounded to float.
float stream_rate_for(int32_t width, int32_t height);

// B = bitrate / stream_rate, truncated toward zero. Values that are not
// positive give 0; values beyond kMaxStreamBytes (and not-a-number) are
// clamped, so the conversion is always defined.
int32_t stream_bytes(double bitrate, float stream_rate);

// The lowest bitrate at which the decoder's B equals `bytes` for this size,
// so that a decoder given it reads exactly a stream of that length.
double bitrate_for_bytes(int32_t width, int32_t height, int32_t bytes);

// Tree levels that a coding size allows: min(trailing zero bits, bit length
// - 2) - 1. Differs from the wavelet's own level rule.
int32_t spiht_levels(int32_t a);

// The trees' levels for a coding size: the smaller of the two sides' rule.
int32_t tree_levels_for(int32_t code_rows, int32_t code_cols);

}  // namespace quarn

#endif  // QUARN_STREAM_BUDGET_H
