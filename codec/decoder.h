// The decoding pipeline: a stream in, a 4-byte-per-pixel image out (255, then
// the three colour bytes).
#ifndef QUARN_CODEC_DECODER_H
#define QUARN_CODEC_DECODER_H

#include <cstddef>
#include <cstdint>

#include "codec/bit_reader.h"
#include "codec/stage_hook.h"
#include "codec/stream_header.h"
#include "image/image_3c.h"
#include "spiht/spiht_decode.h"

struct Decoder : StreamHeader {
  BitReader bits;
  Image_3C image;
  SpihtDecodeState spiht;
  StageHook stages;  // optional: told as each stage ends (for benchmarks)
  // decode_image leaves every sample of `image` zero and sets this, so that
  // the next image of the same size skips clearing them. Whatever else
  // writes into `image` must reset it.
  bool planes_clear = false;
};

// Decodes the stream (the bytes behind the size prefix) at the decoder's own
// `bitrate`: the first B bytes of the stream, or all `stream_size` of them
// when the bitrate's B is larger, so that any bitrate above the stream's own
// decodes exactly the whole stream. It never reads past `stream_size` bytes
// (where the coder's last step reaches beyond them it gets zero bits).
// Writes `height` rows of `width` 4-byte pixels, row r starting at
// out + r * out_stride. Width and height are the size prefix's; the stream
// must have passed check_stream(), anything else is an internal fault and
// ends the process.
void decode_image(Decoder& dec, int32_t width, int32_t height,
                  const uint8_t* stream, std::size_t stream_size, uint8_t* out,
                  std::ptrdiff_t out_stride, double bitrate);

// The same, writing 3-byte pixels (the three colour bytes): the row layout
// of PPM and PNG files, so that a tool can decode straight into its output.
void decode_image_rgb(Decoder& dec, int32_t width, int32_t height,
                      const uint8_t* stream, std::size_t stream_size, uint8_t* out,
                      std::ptrdiff_t out_stride, double bitrate);

#endif  // QUARN_CODEC_DECODER_H
