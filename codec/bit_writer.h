// The bit writer: the stream's "n" byte, then bits packed least significant
// first into each byte, multi-bit fields most significant bit first.
//
// Inline, because the SPIHT coder appends every one of its bits through it.
#ifndef QUARN_CODEC_BIT_WRITER_H
#define QUARN_CODEC_BIT_WRITER_H

#include <cstdint>

namespace quarn {

struct BitWriter {
  uint8_t* byte_ptr = nullptr;  // where the next completed byte is stored
  int32_t bit_buffer = 0;       // the bits of the byte being filled, from bit 7 down
  int32_t bits_left = 0;        // free positions left in that byte, 8..1
  int32_t byte_count = 0;       // bytes stored so far, the "n" included
  int32_t byte_budget = 0;      // stream length B minus one; the coder stops here
};

inline void begin_write(BitWriter& w, uint8_t* buffer) {
  w.byte_ptr = buffer;
  w.bits_left = 8;
  w.byte_count = 1;
  w.bit_buffer = 0;
  *w.byte_ptr++ = 'n';
}

inline void put_bit(BitWriter& w, int32_t b) {
  w.bit_buffer >>= 1;
  if (b != 0) w.bit_buffer |= 0x80;
  if (--w.bits_left == 0) {
    *w.byte_ptr++ = static_cast<uint8_t>(w.bit_buffer);
    ++w.byte_count;
    w.bits_left = 8;
  }
}

// Appends the low n bits of v (n in 0..31), bit n-1 first.
inline void put_bits(BitWriter& w, int n, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (int i = n - 1; i >= 0; --i) put_bit(w, static_cast<int32_t>((u >> i) & 1u));
}

// Stores the partial last byte, its pending bits moved down to bit 0. With no
// bits pending the stream still gains a zero byte.
inline void end_write(BitWriter& w) {
  *w.byte_ptr++ = static_cast<uint8_t>((w.bit_buffer >> w.bits_left) & 0xFF);
  ++w.byte_count;
}

}  // namespace quarn

#endif  // QUARN_CODEC_BIT_WRITER_H
