#include <algorithm>

#include "codec/budget.h"
#include "codec/decoder.h"
#include "image/fatal.h"

namespace {

// Both pipelines; `bytes` is 4 for cells, 3 for packed pixels.
void decode(Decoder& dec, int32_t width, int32_t height, const uint8_t* stream,
            std::size_t stream_size, uint8_t* out, std::ptrdiff_t out_stride, double bitrate,
            int bytes) {
  stage_finished(dec.stages, Stage::kStart);
  begin_read(dec.bits, stream, stream_size);
  read_header(dec.bits, dec);
  // The image is built at the header's size and written at the caller's;
  // they must agree or the buffers below would not fit.
  if (dec.width != width || dec.height != height) {
    FatalError("invalid < Decoder > file");
  }
  dec.stream_rate = stream_rate_for(dec.width, dec.height);
  // A bitrate above the stream's own decodes the whole stream and stops
  // there: past its end there is nothing to read, and zero bits taken for
  // coefficient bits would only make the picture worse.
  int32_t B = stream_bytes(bitrate, dec.stream_rate);
  if (static_cast<std::size_t>(B) > stream_size) B = static_cast<int32_t>(stream_size);
  dec.bits.byte_budget = B - 1;

  load_colour_q(dec.image, dec, dec.height, dec.width, dec.planes_clear);
  dec.planes_clear = false;
  dec.spiht.code_rows = dec.image.codeRows;
  dec.spiht.code_cols = dec.image.codeCols;
  dec.tree_levels = std::min(spiht_levels(dec.image.codeRows),
                             spiht_levels(dec.image.codeCols));
  stage_finished(dec.stages, Stage::kReset);
  spiht_decode(dec.spiht, dec.bits, dec.image, dec.tree_levels, dec.top_exponent);
  stage_finished(dec.stages, Stage::kSpiht);
  // Image_3C::Recover's wavelet half; its colour half goes straight into the
  // output cells.
  if (dec.image.levels < 1) FatalError("cannot recover < Image_3C >");
  for (int k = 0; k < 3; ++k) dec.image.RecoverPlane(dec.image.plane[k]);
  stage_finished(dec.stages, Stage::kInverseWavelet);
  if (bytes == 4) {
    dec.image.WriteCells(out, out_stride);
  } else {
    dec.image.WriteRgb(out, out_stride);
  }
  dec.planes_clear = true;
  stage_finished(dec.stages, Stage::kColourWrite);
}

}  // namespace

void decode_image(Decoder& dec, int32_t width, int32_t height,
                  const uint8_t* stream, std::size_t stream_size, uint8_t* out,
                  std::ptrdiff_t out_stride, double bitrate) {
  decode(dec, width, height, stream, stream_size, out, out_stride, bitrate, 4);
}

void decode_image_rgb(Decoder& dec, int32_t width, int32_t height,
                      const uint8_t* stream, std::size_t stream_size, uint8_t* out,
                      std::ptrdiff_t out_stride, double bitrate) {
  decode(dec, width, height, stream, stream_size, out, out_stride, bitrate, 3);
}
