// SPIHT coding of the three coefficient planes into one embedded bit stream.
#ifndef QUARN_SPIHT_SPIHT_ENCODE_H
#define QUARN_SPIHT_SPIHT_ENCODE_H

#include <cstdint>

#include "spiht/lists.h"
#include "stream/bit_writer.h"

namespace quarn {

class Image_3C;

// Appends SPIHT bits to `w` until a budget check finds byte_count at or above
// byte_budget, or the last of 32 passes ends. Requires the coding size copies
// in `s`, `maxima` from descendant_maxima and the header already written.
// Leaves the coefficients as they were, the lists as coding left them (the
// LSP holds the magnitudes still to code) and the last partial word
// unstored. The
// writer's buffer must have room for byte_budget + 16 bytes: up to 37 bits
// can follow the last check, and the writer stores whole 8-byte words.
void spiht_encode(SpihtState& s, BitWriter& w, const Image_3C& coefficients,
                  const Image_3C& maxima, int32_t tree_levels, int32_t top_exponent);

}  // namespace quarn

#endif  // QUARN_SPIHT_SPIHT_ENCODE_H
