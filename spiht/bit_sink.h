// The SPIHT coders' own bit I/O, in the stream layout of the bit writer and
// reader (bit k after the "n" is bit k % 8 of byte k / 8) but by position:
// the writer gathers bits in a 64-bit word that it stores whole into a
// buffer cleared ahead of it, so that 0 bits only move the position on; the
// reader reads bits at a position and sees 0 bits past the end of its data.
// Both live in local variables of the coding loops, so that they stay in
// registers.
#ifndef QUARN_SPIHT_BIT_SINK_H
#define QUARN_SPIHT_BIT_SINK_H

#include <cstdint>
#include <cstring>

#include "spiht/group_mask.h"

namespace quarn {

// Stream bytes are little-endian words.
inline uint64_t little_endian64(uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return __builtin_bswap64(v);
#else
  return v;
#endif
}
inline uint32_t little_endian32(uint32_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return __builtin_bswap32(v);
#else
  return v;
#endif
}

struct BitSink {
  uint8_t* out;   // the stream's byte after the "n"
  int64_t pos;    // bits written after the "n"
  uint64_t acc;   // the bits of the word that holds bit pos, those below it

  QUARN_HOT void store_word() {
    const uint64_t word = little_endian64(acc);
    std::memcpy(out + (pos >> 6) * 8, &word, sizeof word);
  }
  QUARN_HOT void put(uint32_t bit) {
    acc |= uint64_t{bit} << (pos & 63);
    if ((++pos & 63) == 0) {
      const uint64_t word = little_endian64(acc);
      std::memcpy(out + ((pos >> 6) - 1) * 8, &word, sizeof word);
      acc = 0;
    }
  }
  // The n (at most 32) low bits of `bits`, lowest first; the rest are 0.
  QUARN_HOT void put_bits(uint32_t bits, int n) {
    const int used = static_cast<int>(pos & 63);
    acc |= uint64_t{bits} << used;
    pos += n;
    if (used + n >= 64) {
      const uint64_t word = little_endian64(acc);
      std::memcpy(out + ((pos >> 6) - 1) * 8, &word, sizeof word);
      acc = uint64_t{bits} >> (63 - used) >> 1;
    }
  }
  QUARN_HOT void zeros(int n) { put_bits(0, n); }
};

struct BitSource {
  const uint8_t* data;  // the stream's byte after the "n"
  int64_t bytes;        // bytes from data to the end of the stream
  int64_t pos;          // bits read after the "n"

  QUARN_HOT uint32_t byte_at(int64_t i) const { return i < bytes ? data[i] : 0u; }
  // At least the next 25 bits, the next one lowest.
  QUARN_HOT uint32_t peek() const {
    const int64_t i = pos >> 3;
    uint32_t word;
    if (i + 4 <= bytes) {
      std::memcpy(&word, data + i, sizeof word);
      word = little_endian32(word);
    } else {
      word = byte_at(i) | byte_at(i + 1) << 8 | byte_at(i + 2) << 16 | byte_at(i + 3) << 24;
    }
    return word >> (pos & 7);
  }
  QUARN_HOT uint32_t get() {
    const uint32_t bit = (byte_at(pos >> 3) >> (pos & 7)) & 1u;
    ++pos;
    return bit;
  }
};

}  // namespace quarn

#endif  // QUARN_SPIHT_BIT_SINK_H
