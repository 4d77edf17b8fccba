#include <algorithm>
#include <cstring>

#include "codec/encoder.h"
#include "image/fatal.h"
#include "image/size_limits.h"
#include "image/worker_pool.h"
#include "spiht/spiht_encode.h"
#include "spiht/tree.h"
#include "stream/budget.h"

namespace quarn {

int32_t encode_image(Encoder& enc, uint8_t* out, std::size_t out_capacity, int32_t width,
                     int32_t height, const uint8_t* rgb, std::ptrdiff_t rgb_stride,
                     double bitrate) {
  stage_finished(enc.stages, Stage::kStart);
  const bool same_size = enc.width == width && enc.height == height;
  enc.height = height;
  enc.width = width;
  enc.stream_rate = stream_rate_for(width, height);
  if (std::max(width, height) > kMaxSide) FatalError("Image is too large!");

  const int32_t B = stream_bytes(bitrate, enc.stream_rate);
  enc.bits.byte_budget = B - 1;

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
  image.threads = resolve_threads(enc.threads);
  // The pixels are not stored in the planes first: the colour transform
  // reads them, and its rows go straight into the first wavelet level.
  image.Measure(rgb, rgb_stride, height, width);
  stage_finished(enc.stages, Stage::kLoad);
  stage_finished(enc.stages, Stage::kBorder);
  image.BeginTransform();
  enc.spiht.code_rows = image.codeRows;
  enc.spiht.code_cols = image.codeCols;
  enc.tree_levels = tree_levels_for(image.codeRows, image.codeCols);
  // The maxima of the finest trees are taken from the first level's rows as
  // each band of them is made, while they are in the caches, rather than in
  // a sweep of their own over the planes afterwards.
  const bool finest_now = enc.tree_levels >= 2 && image.codeRows % 4 == 0;
  RowPairsDone finest;
  if (finest_now) {
    prepare_maxima(enc.maxima, image.codeRows, image.codeCols);
    finest.context = &enc;
    finest.call = [](void* context, int plane, int32_t y0, int32_t y1) {
      auto& e = *static_cast<Encoder*>(context);
      finest_maxima(e.image, e.maxima, plane, y0, y1);
    };
  }
  image.ColourFirstLevel(rgb, rgb_stride, finest);
  stage_finished(enc.stages, Stage::kColour);
  image.TransformDeeper();
  stage_finished(enc.stages, Stage::kWavelet);
  set_mean_q(enc, enc.image);
  set_matrix_q(enc, enc.image);
  enc.top_exponent =
      descendant_maxima(enc.image, enc.maxima, enc.spiht, enc.tree_levels, finest_now);
  stage_finished(enc.stages, Stage::kMaxima);

  begin_write(enc.bits, work);
  write_header(enc.bits, enc);
  spiht_encode(enc.spiht, enc.bits, enc.image, enc.maxima, enc.tree_levels,
               enc.top_exponent);
  enc.coded_bits = enc.bits.pos;
  end_write(enc.bits);
  // A stream that ends before its budget (after the last pass) is padded
  // with zeros.
  const std::size_t stored = stored_bytes(enc.bits);
  if (stored < static_cast<std::size_t>(B)) std::memset(work + stored, 0, static_cast<std::size_t>(B) - stored);
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
  const int64_t coded = enc.coded_bits;
  // The coder checks its budget after its last bit; it stops at a check
  // once byte_budget - 1 whole bytes follow the "n".
  if (coded >= (static_cast<int64_t>(enc.bits.byte_budget) - 1) * 8) return 0;
  // A decoder given B bytes stops at a check once it has read into byte
  // B - 2 after the "n", and its last check but one can come one bit before
  // the end: (coded - 1) bits must lie within B - 3 bytes.
  return static_cast<int32_t>((coded - 1 + 7) / 8 + 3);
}

}  // namespace quarn
