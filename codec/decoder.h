// The decoding pipeline: a stream in, a 4-byte-per-pixel image out (255, then
// the three colour bytes).
#ifndef QUARN_CODEC_DECODER_H
#define QUARN_CODEC_DECODER_H

#include <cstddef>
#include <cstdint>

#include "codec/stage_hook.h"
#include "codec/stream_header.h"
#include "image/image_3c.h"
#include "spiht/spiht_decode.h"
#include "stream/bit_reader.h"

namespace quarn {

struct Decoder : StreamHeader {
  BitReader bits;
  Image_3C image;
  SpihtDecodeState spiht;
  StageHook stages;  // optional: told as each stage ends (for benchmarks)
  // Threads the stages around the coder may use (it decodes on one): 0 for
  // every processor thread. The pixels are the same for every count.
  int32_t threads = 1;
  // decode_image leaves every sample of `image` zero and sets this, so that
  // the next image of the same size skips clearing them. Whatever else
  // writes into `image` must reset it.
  bool planes_clear = false;
};

// Decodes a stream (the bytes behind the size prefix) whose header passed
// check_header() or check_stream() (codec/validate.h), which gave `header`;
// reading resumes after the header. Decodes at the decoder's own `bitrate`,
// reading no more than `stream_size` bytes: a bitrate above the stream's
// reads exactly the whole stream. Writes header.height rows of header.width
// 4-byte pixels (255, then the three colour bytes), row r starting at
// out + r * out_stride. Faults inside (failed allocations) raise
// quarn::Fault or std::bad_alloc.
void decode_image(Decoder& dec, const StreamHeader& header, const uint8_t* stream,
                  std::size_t stream_size, uint8_t* out, std::ptrdiff_t out_stride,
                  double bitrate);

// The same, writing 3-byte pixels (the three colour bytes): the row layout
// of PPM and PNG files, so that a tool can decode straight into its output.
void decode_image_rgb(Decoder& dec, const StreamHeader& header, const uint8_t* stream,
                      std::size_t stream_size, uint8_t* out, std::ptrdiff_t out_stride,
                      double bitrate);

}  // namespace quarn

#endif  // QUARN_CODEC_DECODER_H
