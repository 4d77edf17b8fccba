// The encoding pipeline: packed RGB pixels in, size prefix and an embedded
// stream of exactly B bytes out.
#ifndef QUARN_CODEC_ENCODER_H
#define QUARN_CODEC_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/stage_hook.h"
#include "codec/stream_header.h"
#include "image/image_3c.h"
#include "spiht/lists.h"
#include "stream/bit_writer.h"

namespace quarn {

// Everything one encoding works on. The images keep their storage from one
// call to the next while the size stays the same; the rest is rebuilt.
struct Encoder : StreamHeader {
  BitWriter bits;
  Image_3C image;   // pixels, then coefficients
  Image_3C maxima;  // descendant maxima of the coefficient trees
  SpihtState spiht;
  StageHook stages;  // optional: told as each stage ends (for benchmarks)
  // Threads the stages around the coder may use (it codes on one): 0 for
  // every processor thread. The stream is the same for every count.
  int32_t threads = 1;
  std::vector<uint8_t> stream;  // the stream as it is coded, kept between images
  int64_t coded_bits = 0;       // bits coded after the "n", the flush byte not counted
};

// Room the coder needs behind the budget of B stream bytes: for the header of
// a tiny budget, the bits emitted between the last two budget checks, its
// whole-word stores and the flush byte.
inline constexpr std::size_t kEncodeSlack = 64;

// Encodes `height` rows of `width` pixels (3 bytes each, row r at
// rgb + r * rgb_stride) at `bitrate` bits per pixel. Writes the size prefix
// and the first B stream bytes to `out`, never more than `out_capacity` bytes
// in all, and returns the number of stream bytes written. With room for
// kPrefixBytes + B + kEncodeSlack bytes it codes straight into `out` (the
// bytes past the stream are then overwritten too); with less it codes into
// its own buffer and copies. Input must have passed check_encode(); faults
// inside (failed allocations) raise quarn::Fault or std::bad_alloc.
int32_t encode_image(Encoder& enc, uint8_t* out, std::size_t out_capacity, int32_t width,
                     int32_t height, const uint8_t* rgb, std::ptrdiff_t rgb_stride,
                     double bitrate);

// The same for packed rows, 3 x width bytes apart.
inline int32_t encode_image(Encoder& enc, uint8_t* out, std::size_t out_capacity,
                            int32_t width, int32_t height, const uint8_t* rgb, double bitrate) {
  return encode_image(enc, out, out_capacity, width, height, rgb,
                      static_cast<std::ptrdiff_t>(width) * 3, bitrate);
}

// After encode_image: when the coder ran out of passes before the budget
// stopped it, the shortest stream length B at which that encoding is whole:
// the coder codes every pass within it and a decoder given it reads every
// bit. A longer budget only adds zero bytes. 0 when the budget cut the
// coding short.
int32_t complete_stream_bytes(const Encoder& enc);

}  // namespace quarn

#endif  // QUARN_CODEC_ENCODER_H
