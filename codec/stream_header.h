// The header values that a stream carries, and their layout after the "n":
// 6 bits height >> 8, 6 bits width >> 8, 8 bits height & 255, 8 bits
// width & 255, 5 bits top_exponent, then per colour plane 8 bits of its mean
// and three 16-bit matrix entries (high byte first): 201 bits in all.
#ifndef QUARN_CODEC_STREAM_HEADER_H
#define QUARN_CODEC_STREAM_HEADER_H

#include <cstddef>
#include <cstdint>

#include "image/colour_header.h"
#include "stream/bit_reader.h"
#include "stream/bit_writer.h"

namespace quarn {

// Bits of the header after the "n", and the stream bytes that hold the "n"
// and the whole header.
inline constexpr int32_t kHeaderBits = 201;
inline constexpr int32_t kHeaderBytes = 27;
// Bytes of the size prefix ahead of the stream: width then height, big-endian.
inline constexpr int32_t kPrefixBytes = 4;

struct StreamHeader : ColourHeader {
  int32_t width = 0;
  int32_t height = 0;
  float stream_rate = 0.0f;
  int32_t tree_levels = 0;
  int32_t top_exponent = 0;
};

void write_header(BitWriter& w, const StreamHeader& h);
// Reads every field; width and height from their 14 bits. Streams from
// outside are parsed by check_header() (codec/validate.h), which calls this.
void read_header(BitReader& r, StreamHeader& h);

// The size prefix: width high, width low, height high, height low.
void write_size_prefix(uint8_t* out, int32_t width, int32_t height);
void read_size_prefix(const uint8_t* in, int32_t* width, int32_t* height);

}  // namespace quarn

#endif  // QUARN_CODEC_STREAM_HEADER_H
