// The bit writer: the stream's "n" byte, then bits packed least significant
// first into each byte (bit k after the "n" is bit k % 8 of byte k / 8),
// multi-bit fields most significant bit first.
//
// Bits gather in a 64-bit word that is stored whole once it is full, so a
// zero bit only moves the position on. The buffer must have room for the
// last word that end_write stores: up to 8 bytes past the last bit. Bytes
// past that word are never written.
//
// Inline, because the SPIHT coder appends every one of its bits through it;
// it copies the writer into a local for each pass, so that the fields stay
// in registers, and copies it back.
#ifndef QUARN_STREAM_BIT_WRITER_H
#define QUARN_STREAM_BIT_WRITER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "stream/byte_order.h"

namespace quarn {

struct BitWriter {
  uint8_t* out = nullptr;   // the stream's byte after the "n"
  int64_t pos = 0;          // bits written after the "n"
  uint64_t acc = 0;         // the word that holds bit `pos`: the bits below it
  int32_t byte_budget = 0;  // stream length B minus one; the coder stops here
};

inline void begin_write(BitWriter& w, uint8_t* buffer) {
  buffer[0] = 'n';
  w.out = buffer + 1;
  w.pos = 0;
  w.acc = 0;
}

// Bytes stored so far, the "n" included: a byte counts once it is complete.
inline int32_t byte_count(const BitWriter& w) { return static_cast<int32_t>(1 + (w.pos >> 3)); }

// The first bit position at which byte_count reaches byte_budget: the coder
// is over its budget from there on.
inline int64_t bit_limit(const BitWriter& w) {
  return (static_cast<int64_t>(w.byte_budget) - 1) * 8;
}

// Stores the word that holds bits 64 x index and up. Positions are never
// negative.
QUARN_HOT void store_word(const BitWriter& w, uint64_t index, uint64_t word) {
  const uint64_t bytes = little_endian(word);
  std::memcpy(w.out + index * 8, &bytes, sizeof bytes);
}

// Appends one bit, 1 when b is non-zero.
QUARN_HOT void put_bit(BitWriter& w, uint32_t b) {
  const uint64_t index = static_cast<uint64_t>(w.pos) >> 6;
  w.acc |= uint64_t{b != 0} << (w.pos & 63);
  if ((++w.pos & 63) == 0) {
    store_word(w, index, w.acc);
    w.acc = 0;
  }
}

// Appends the n (at most 32) low bits of `bits`, the lowest first; the bits
// above them must be 0. The coder's group codes come in this order.
QUARN_HOT void put_code(BitWriter& w, uint32_t bits, int n) {
  const uint64_t index = static_cast<uint64_t>(w.pos) >> 6;
  const int used = static_cast<int>(w.pos & 63);
  w.acc |= uint64_t{bits} << used;
  w.pos += n;
  if (used + n >= 64) {
    store_word(w, index, w.acc);
    w.acc = uint64_t{bits} >> (63 - used) >> 1;
  }
}

QUARN_HOT void put_zeros(BitWriter& w, int n) { put_code(w, 0, n); }

// Appends the low n bits of v (n in 0..31), bit n-1 first: the header's
// fields. A negative v gives the low bits of its two's complement.
inline void put_bits(BitWriter& w, int n, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  uint32_t first_lowest = 0;
  for (int i = 0; i < n; ++i) first_lowest |= (u >> i & 1u) << (n - 1 - i);
  put_code(w, first_lowest, n);
}

// Stores the last word, whose partial byte keeps its bits at the low
// positions with zeros above, and counts that byte; with no bits pending
// the stream still gains a zero byte.
inline void end_write(BitWriter& w) {
  store_word(w, static_cast<uint64_t>(w.pos) >> 6, w.acc);
  w.pos = ((w.pos >> 3) + 1) * 8;
}

// After end_write: the bytes from the "n" to the end of the last word
// stored. Whatever lies beyond is as the buffer held it.
inline std::size_t stored_bytes(const BitWriter& w) {
  return static_cast<std::size_t>(1 + (((w.pos - 1) >> 6) + 1) * 8);
}

}  // namespace quarn

#endif  // QUARN_STREAM_BIT_WRITER_H
