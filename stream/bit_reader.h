// The bit reader, the mirror of the bit writer. It reads bits by their
// position after the "n", counts a byte as soon as its first bit is read,
// and yields zero bits past the end of what it was given, never reading
// outside it.
//
// Inline, because the SPIHT decoder reads every one of its bits through it;
// it copies the reader into a local for each pass and copies it back.
#ifndef QUARN_STREAM_BIT_READER_H
#define QUARN_STREAM_BIT_READER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "stream/byte_order.h"

namespace quarn {

struct BitReader {
  const uint8_t* data = nullptr;  // the stream's byte after the "n"
  int64_t bytes = 0;              // bytes from `data` to the end of the stream given
  int64_t pos = 0;                // bits read after the "n"
  int32_t byte_budget = 0;        // stream length B minus one; the decoder stops here
};

// Reads the stream that starts at `stream` (its "n") and holds `size` bytes,
// from `pos` bits after the "n" on. Whether the stream starts with "n" is the
// header's check (codec/stream_header.h).
inline void begin_read(BitReader& r, const uint8_t* stream, std::size_t size, int64_t pos = 0) {
  r.data = size > 0 ? stream + 1 : stream;
  r.bytes = size > 0 ? static_cast<int64_t>(size - 1) : 0;
  r.pos = pos;
}

// Bytes fetched so far, the "n" included: a byte counts from its first bit.
inline int32_t byte_count(const BitReader& r) {
  return static_cast<int32_t>(1 + ((r.pos + 7) >> 3));
}

// The first bit position at which byte_count reaches byte_budget.
inline int64_t bit_limit(const BitReader& r) {
  return r.byte_budget <= 1 ? -1 : (static_cast<int64_t>(r.byte_budget) - 2) * 8 + 1;
}

// Byte i after the "n", 0 past the end. Positions are never negative.
QUARN_HOT uint32_t byte_at(const BitReader& r, uint64_t i) {
  return i < static_cast<uint64_t>(r.bytes) ? r.data[i] : 0u;
}

// At least the next 25 bits, the next one lowest; not consumed.
QUARN_HOT uint32_t peek_bits(const BitReader& r) {
  const uint64_t i = static_cast<uint64_t>(r.pos) >> 3;
  uint32_t word;
  if (i + 4 <= static_cast<uint64_t>(r.bytes)) {
    std::memcpy(&word, r.data + i, sizeof word);
    word = little_endian(word);
  } else {
    word = byte_at(r, i) | byte_at(r, i + 1) << 8 | byte_at(r, i + 2) << 16 |
           byte_at(r, i + 3) << 24;
  }
  return word >> (r.pos & 7);
}

QUARN_HOT void skip_bits(BitReader& r, int n) { r.pos += n; }

QUARN_HOT int32_t get_bit(BitReader& r) {
  const uint32_t bit = (byte_at(r, static_cast<uint64_t>(r.pos) >> 3) >> (r.pos & 7)) & 1u;
  ++r.pos;
  return static_cast<int32_t>(bit);
}

// Reads n bits (1..31); the first bit read becomes bit n-1 of the result.
inline int32_t get_bits(BitReader& r, int n) {
  int32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 1) | get_bit(r);
  return v;
}

}  // namespace quarn

#endif  // QUARN_STREAM_BIT_READER_H
