#include <algorithm>

#include "codec/decoder.h"
#include "image/worker_pool.h"
#include "stream/budget.h"

namespace quarn {

namespace {

// Both pipelines; `bytes` is 4 for cells, 3 for packed pixels.
void decode(Decoder& dec, const StreamHeader& header, const uint8_t* stream,
            std::size_t stream_size, uint8_t* out, std::ptrdiff_t out_stride, double bitrate,
            int bytes) {
  stage_finished(dec.stages, Stage::kStart);
  static_cast<StreamHeader&>(dec) = header;
  begin_read(dec.bits, stream, stream_size, kHeaderBits);
  dec.stream_rate = stream_rate_for(dec.width, dec.height);
  // A budget beyond the stream given would only read zero bits past its end.
  const int32_t B = static_cast<int32_t>(
      std::min<int64_t>(stream_bytes(bitrate, dec.stream_rate), static_cast<int64_t>(stream_size)));
  dec.bits.byte_budget = B - 1;

  dec.image.threads = resolve_threads(dec.threads);
  load_colour_q(dec.image, dec, dec.height, dec.width, dec.planes_clear);
  dec.planes_clear = false;
  dec.spiht.code_rows = dec.image.codeRows;
  dec.spiht.code_cols = dec.image.codeCols;
  dec.tree_levels = tree_levels_for(dec.image.codeRows, dec.image.codeCols);
  stage_finished(dec.stages, Stage::kReset);
  spiht_decode(dec.spiht, dec.bits, dec.image, dec.tree_levels, dec.top_exponent);
  stage_finished(dec.stages, Stage::kSpiht);
  spiht_place(dec.spiht, dec.image);
  stage_finished(dec.stages, Stage::kPlace);
  // Every level but the first; the first goes with the colour transform
  // straight into the output.
  dec.image.RecoverDeeper();
  stage_finished(dec.stages, Stage::kInverseWavelet);
  if (bytes == 4) {
    dec.image.RecoverCells(out, out_stride);
  } else {
    dec.image.RecoverRgb(out, out_stride);
  }
  dec.planes_clear = true;
  stage_finished(dec.stages, Stage::kColourWrite);
}

}  // namespace

void decode_image(Decoder& dec, const StreamHeader& header, const uint8_t* stream,
                  std::size_t stream_size, uint8_t* out, std::ptrdiff_t out_stride,
                  double bitrate) {
  decode(dec, header, stream, stream_size, out, out_stride, bitrate, 4);
}

void decode_image_rgb(Decoder& dec, const StreamHeader& header, const uint8_t* stream,
                      std::size_t stream_size, uint8_t* out, std::ptrdiff_t out_stride,
                      double bitrate) {
  decode(dec, header, stream, stream_size, out, out_stride, bitrate, 3);
}

}  // namespace quarn
