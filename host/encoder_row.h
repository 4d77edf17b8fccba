// The encoder plug-in's row rule. The host sizes the output row by its own
// formula, trunc(width x height x bitrate / 8 + 4) cells, which can be one
// more or one less than the B + 4 bytes that the size prefix and the stream
// take; when less, the stream's last byte is cut. A frame is coded only when
// the row, cut or not, still holds the whole stream header.
#ifndef QUARN_HOST_ENCODER_ROW_H
#define QUARN_HOST_ENCODER_ROW_H

#include <cstdint>
#include <string>

#include "codec/validate.h"
#include "stream/budget.h"

namespace quarn::host {

// Cells of the output row. The bitrate must have passed check_bitrate().
inline int64_t encoder_row_cells(int32_t width, int32_t height, double bitrate) {
  const int64_t pixels = static_cast<int64_t>(width) * height;
  return static_cast<int64_t>(static_cast<double>(pixels) * bitrate * 0.125 + 4.0);
}

// The stream header fits in the B bytes of the stream, and in what the row
// leaves of them.
inline bool row_holds_header(int32_t width, int32_t height, double bitrate) {
  return stream_bytes(bitrate, stream_rate_for(width, height)) >= kHeaderBytes &&
         encoder_row_cells(width, height, bitrate) >= kPrefixBytes + kHeaderBytes;
}

// The lowest bitrate at this size whose row holds the whole header.
inline double lowest_row_bitrate(int32_t width, int32_t height) {
  return lowest_bitrate(width, height, row_holds_header);
}

// check_encode(), and a row that holds the whole header.
inline std::string check_row_encode(int64_t width, int64_t height, double bitrate) {
  return check_encode(width, height, bitrate, row_holds_header);
}

}  // namespace quarn::host

#endif  // QUARN_HOST_ENCODER_ROW_H
