// The PNG row filter the writer uses: Paeth (type 4) on every row. Each
// byte becomes its difference from the Paeth predictor of the bytes to its
// left, above and above-left in the unfiltered picture, so that on smooth
// pictures most bytes come out near zero and compress well, even by the
// fastest deflate strategies.
#ifndef QUARN_TOOLS_PNG_FILTER_H
#define QUARN_TOOLS_PNG_FILTER_H

#include <cstddef>
#include <cstdint>

namespace quarn {

inline constexpr uint8_t kPngFilterPaeth = 4;

// Filters one row of `bytes` bytes of 3-byte pixels into `out` (which does
// not hold the filter type byte). `above` is the row before it, or null for
// the first row, which is filtered as if a row of zeros were above it.
void paeth_filter_row(const uint8_t* row, const uint8_t* above, std::size_t bytes, uint8_t* out);

// The same, one byte at a time: the reference the fast version matches.
void paeth_filter_row_scalar(const uint8_t* row, const uint8_t* above, std::size_t bytes,
                             uint8_t* out);

}  // namespace quarn

#endif  // QUARN_TOOLS_PNG_FILTER_H
