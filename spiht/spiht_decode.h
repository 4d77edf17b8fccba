// SPIHT decoding: the mirror of the coder, rebuilding the three coefficient
// planes from the bits of an embedded stream.
#ifndef QUARN_SPIHT_SPIHT_DECODE_H
#define QUARN_SPIHT_SPIHT_DECODE_H

#include <cstdint>

#include "spiht/lists.h"
#include "stream/bit_reader.h"

namespace quarn {

class Image_3C;

struct SpihtDecodeState : SpihtState {
  // The LSP entries' values so far, entry for entry beside their offsets in
  // `lsp`.
  LspStore values;
  // Offset above the decoded part of the magnitude at which the coefficients
  // found in sorting pass k currently sit.
  float pass_offset[kMaxPasses] = {};
  // Magnitude given to a coefficient found in the current sorting pass.
  float entry_magnitude = 0.0f;
};

// Reads SPIHT bits from `r` until a budget check finds byte_count at or above
// byte_budget, or the last of 32 passes ends, keeping the coefficients found
// and their values in the LSP. `coefficients` gives only the layout.
void spiht_decode(SpihtDecodeState& s, BitReader& r, const Image_3C& coefficients,
                  int32_t tree_levels, int32_t top_exponent);

// Then writes the coefficients found into the planes (which must start all
// zero; every other sample stays so), on `coefficients.threads` threads, and
// empties the lists.
void spiht_place(SpihtDecodeState& s, Image_3C& coefficients);

}  // namespace quarn

#endif  // QUARN_SPIHT_SPIHT_DECODE_H
