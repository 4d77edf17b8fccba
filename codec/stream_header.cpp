#include "codec/stream_header.h"

namespace quarn {

void write_header(BitWriter& w, const StreamHeader& h) {
  put_bits(w, 6, h.height >> 8);
  put_bits(w, 6, h.width >> 8);
  put_bits(w, 8, h.height & 255);
  put_bits(w, 8, h.width & 255);
  put_bits(w, 5, h.top_exponent);
  for (int k = 0; k < 3; ++k) {
    put_bits(w, 8, h.mean_q[k]);
    for (int j = 0; j < 3; ++j) {
      put_bits(w, 8, h.matrix_q[3 * k + j] >> 8);
      put_bits(w, 8, h.matrix_q[3 * k + j] & 255);
    }
  }
}

void read_header(BitReader& r, StreamHeader& h) {
  const int32_t height_high = get_bits(r, 6);
  const int32_t width_high = get_bits(r, 6);
  h.height = height_high * 256 + get_bits(r, 8);
  h.width = width_high * 256 + get_bits(r, 8);
  h.top_exponent = get_bits(r, 5);
  for (int k = 0; k < 3; ++k) {
    h.mean_q[k] = get_bits(r, 8);
    for (int j = 0; j < 3; ++j) {
      const int32_t high = get_bits(r, 8);
      h.matrix_q[3 * k + j] = high * 256 + get_bits(r, 8);
    }
  }
}

void write_size_prefix(uint8_t* out, int32_t width, int32_t height) {
  out[0] = static_cast<uint8_t>(width / 256);
  out[1] = static_cast<uint8_t>(width % 256);
  out[2] = static_cast<uint8_t>(height / 256);
  out[3] = static_cast<uint8_t>(height % 256);
}

void read_size_prefix(const uint8_t* in, int32_t* width, int32_t* height) {
  *width = in[0] * 256 + in[1];
  *height = in[2] * 256 + in[3];
}

}  // namespace quarn
