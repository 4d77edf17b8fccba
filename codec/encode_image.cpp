#include <algorithm>
#include <cstring>

#include "codec/budget.h"
#include "codec/encoder.h"
#include "image/fatal.h"
#include "spiht/spiht_encode.h"
#include "spiht/tree.h"

int32_t encode_image(Encoder& enc, uint8_t* out, std::size_t out_capacity,
                     int32_t width, int32_t height, const uint8_t* rgb,
                     double bitrate) {
  stage_finished(enc.stages, Stage::kStart);
  const bool same_size = enc.width == width && enc.height == height;
  enc.height = height;
  enc.width = width;
  enc.stream_rate = stream_rate_for(width, height);
  if (std::max(width, height) > 8192) FatalError("Image is too large!");

  const int32_t B = stream_bytes(bitrate, enc.stream_rate);
  enc.bits.byte_budget = B - 1;

  // The coder clears the buffer from the end of the header on, so a stream
  // that ends before its budget (after the last pass) is padded with zeros.
  // A caller's buffer with room for the slack is coded into directly.
  // Otherwise the encoder's own buffer is used: kept while the size stays,
  // like the image; a new size starts afresh, so that a frame's largest
  // budget is not held for every later size.
  const std::size_t work_size = static_cast<std::size_t>(B) + kEncodeSlack;
  const bool in_place = out_capacity >= kPrefixBytes + work_size;
  uint8_t* work = nullptr;
  if (in_place) {
    if (!same_size) std::vector<uint8_t>().swap(enc.stream);
    work = out + kPrefixBytes;
  } else {
    if (!same_size || enc.stream.size() < work_size) {
      std::vector<uint8_t>(work_size).swap(enc.stream);
    }
    work = enc.stream.data();
  }

  Image_3C& image = enc.image;
  // Image_3C::Read and Image_3C::Transform, without storing the pixels in
  // the planes first: the colour transform reads them.
  image.Measure(rgb, height, width);
  stage_finished(enc.stages, Stage::kLoad);
  image.ExtendBorders(rgb);
  stage_finished(enc.stages, Stage::kBorder);
  image.BeginTransform();
  image.ColourPixels(rgb);
  stage_finished(enc.stages, Stage::kColour);
  for (unsigned k = 0; k < 3; ++k) image.TransformPlane(image.plane[k]);
  stage_finished(enc.stages, Stage::kWavelet);
  enc.spiht.code_rows = enc.image.codeRows;
  enc.spiht.code_cols = enc.image.codeCols;
  set_mean_q(enc, enc.image);
  set_matrix_q(enc, enc.image);
  enc.tree_levels = std::min(spiht_levels(enc.image.codeRows),
                             spiht_levels(enc.image.codeCols));
  enc.top_exponent =
      descendant_maxima(enc.image, enc.maxima, enc.spiht, enc.tree_levels);
  stage_finished(enc.stages, Stage::kMaxima);

  begin_write(enc.bits, work);
  write_header(enc.bits, enc);
  spiht_encode(enc.spiht, enc.bits, enc.image, enc.maxima, enc.tree_levels,
               enc.top_exponent);
  end_write(enc.bits);
  stage_finished(enc.stages, Stage::kSpiht);

  int32_t copied = 0;
  if (out_capacity >= static_cast<std::size_t>(kPrefixBytes)) {
    write_size_prefix(out, width, height);
    copied = static_cast<int32_t>(
        std::min(static_cast<std::size_t>(B), out_capacity - kPrefixBytes));
    if (!in_place) std::memcpy(out + kPrefixBytes, work, static_cast<std::size_t>(copied));
  }
  stage_finished(enc.stages, Stage::kOutput);
  return copied;
}

int32_t complete_stream_bytes(const Encoder& enc) {
  const BitWriter& w = enc.bits;
  // Bits coded after the "n": end_write has counted the flush byte.
  const int64_t coded = static_cast<int64_t>(w.byte_count - 2) * 8 + (8 - w.bits_left);
  // The coder checks its budget after its last bit; it stops at a check
  // once byte_budget - 1 whole bytes follow the "n".
  if (coded >= (static_cast<int64_t>(w.byte_budget) - 1) * 8) return 0;
  // A decoder given B bytes stops at a check once it has read into byte
  // B - 2 after the "n", and its last check but one can come one bit before
  // the end: (coded - 1) bits must lie within B - 3 bytes.
  return static_cast<int32_t>((coded - 1 + 7) / 8 + 3);
}
