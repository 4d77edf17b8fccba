// The bit reader, the mirror of the bit writer. It counts a byte as soon as
// its first bit is read, and yields zero bits past the end of its buffer
// without ever reading outside it.
#ifndef QUARN_CODEC_BIT_READER_H
#define QUARN_CODEC_BIT_READER_H

#include <cstddef>
#include <cstdint>

#include "image/fatal.h"

namespace quarn {

struct BitReader {
  const uint8_t* start = nullptr;     // the stream's first byte, its "n"
  const uint8_t* byte_ptr = nullptr;  // the next byte to fetch
  const uint8_t* end = nullptr;       // one past the last byte received
  int32_t bit_buffer = 0;             // unread bits of the fetched byte, bit 0 next
  int32_t bits_left = 0;              // unread bits left in it; 0 fetches next
  int32_t byte_count = 0;             // bytes fetched so far, the "n" included
  int32_t byte_budget = 0;            // stream length B minus one
};

inline void begin_read(BitReader& r, const uint8_t* stream, std::size_t size) {
  r.start = stream;
  r.byte_ptr = stream;
  r.end = stream + size;
  if (size == 0 || *r.byte_ptr++ != 'n') FatalError("invalid < Decoder > file");
  r.byte_count = 1;
  r.bits_left = 0;
  r.bit_buffer = 0;
}

inline int32_t get_bit(BitReader& r) {
  if (r.bits_left == 0) {
    r.bit_buffer = (r.byte_ptr != r.end) ? *r.byte_ptr++ : 0;
    ++r.byte_count;
    r.bits_left = 8;
  }
  const int32_t bit = r.bit_buffer & 1;
  r.bit_buffer >>= 1;
  --r.bits_left;
  return bit;
}

// Reads n bits (1..31); the first bit read becomes bit n-1 of the result.
inline int32_t get_bits(BitReader& r, int n) {
  int32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 1) | get_bit(r);
  return v;
}

}  // namespace quarn

#endif  // QUARN_CODEC_BIT_READER_H
