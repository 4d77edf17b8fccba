#include <algorithm>
#include <new>

#include "codec/budget.h"
#include "codec/decoder.h"
#include "image/fatal.h"

void decode_image(Decoder& dec, int32_t width, int32_t height,
                  const uint8_t* stream, std::size_t stream_size, uint8_t* out,
                  std::ptrdiff_t out_stride, double bitrate) {
  stage_finished(dec.stages, Stage::kStart);
  begin_read(dec.bits, stream, stream_size);
  read_header(dec.bits, dec);
  // The image is built at the header's size and written at the caller's;
  // they must agree or the buffers below would not fit.
  if (dec.width != width || dec.height != height) {
    FatalError("invalid < Decoder > file");
  }
  dec.stream_rate = stream_rate_for(dec.width, dec.height);
  const int32_t B = stream_bytes(bitrate, dec.stream_rate);
  dec.bits.byte_budget = B - 1;

  const std::size_t rgb_size = static_cast<std::size_t>(width) * height * 3 + 10;
  auto* rgb = new (std::nothrow) uint8_t[rgb_size];
  CheckAllocation(rgb, "rgb buffer");

  load_colour_q(dec.image, dec, dec.height, dec.width);
  dec.spiht.code_rows = dec.image.codeRows;
  dec.spiht.code_cols = dec.image.codeCols;
  dec.tree_levels = std::min(spiht_levels(dec.image.codeRows),
                             spiht_levels(dec.image.codeCols));
  stage_finished(dec.stages, Stage::kReset);
  spiht_decode(dec.spiht, dec.bits, dec.image, dec.tree_levels, dec.top_exponent);
  stage_finished(dec.stages, Stage::kSpiht);
  dec.image.Recover();
  stage_finished(dec.stages, Stage::kInverseWavelet);
  dec.image.Write(rgb);

  const uint8_t* px = rgb;
  for (int32_t r = 0; r < height; ++r) {
    uint8_t* cell = out + r * out_stride;
    for (int32_t c = 0; c < width; ++c, cell += 4, px += 3) {
      cell[0] = 255;
      cell[1] = px[0];
      cell[2] = px[1];
      cell[3] = px[2];
    }
  }
  delete[] rgb;
  stage_finished(dec.stages, Stage::kColourWrite);
}
