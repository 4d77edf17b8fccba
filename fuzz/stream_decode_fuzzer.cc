// A coded row (size prefix and stream, as in a .qrn file) from anyone: the
// validating entry that the tool and the decoder plug-in use, then decoding
// at several rates: the whole stream, a coarser prefix, and a rate past the
// end of the stream (which reads the whole stream and never outside the
// row).
#include <cstdint>
#include <vector>

#include "codec/decoder.h"
#include "codec/stream_header.h"
#include "codec/validate.h"
#include "fuzz/fuzz_helper.h"
#include "stream/budget.h"

namespace quarn {

namespace {

// One decoder for the whole run, as in the tool and the plug-in: its image
// storage is kept or replaced from one input to the next.
Decoder& shared_decoder() {
  static Decoder decoder;
  return decoder;
}

// Output rows get a few bytes of slack beyond 4 x width that decoding must
// leave alone.
constexpr std::ptrdiff_t kRowSlack = 3;
constexpr uint8_t kUntouched = 0xA5;

void decode_at(const uint8_t* row, std::size_t size, const StreamHeader& header,
               double bitrate) {
  const int32_t width = header.width;
  const int32_t height = header.height;
  if (!check_encode(width, height, bitrate).empty()) return;
  const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(width) * 4 + kRowSlack;
  std::vector<uint8_t> out(static_cast<std::size_t>(stride) * height, kUntouched);
  decode_image(shared_decoder(), header, row + kPrefixBytes, size - kPrefixBytes,
               out.data(), stride, bitrate);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* r = out.data() + y * stride;
    for (int32_t x = 0; x < width; ++x) {
      fuzz::require(r[4 * x] == 255, "every decoded pixel has 255 in plane 0");
    }
    for (std::ptrdiff_t i = 4 * width; i < stride; ++i) {
      fuzz::require(r[i] == kUntouched, "decoding stays inside the output rows");
    }
  }
}

}  // namespace

int test_one_input(const uint8_t* data, std::size_t size) {
  StreamHeader header;
  const std::string problem = check_stream(data, size, &header);
  if (!problem.empty()) {
    fuzz::require_one_line(problem);
    return 0;
  }
  const int32_t width = header.width;
  const int32_t height = header.height;
  fuzz::require(width >= kMinSide && width <= kMaxSide && height >= kMinSide &&
                    height <= kMaxSide,
                "an accepted stream has a size the codec takes");
  if (static_cast<int64_t>(width) * height > fuzz::kMaxPixels) return 0;

  const auto stream = static_cast<int32_t>(size - kPrefixBytes);
  const double whole = bitrate_for_bytes(width, height, stream);
  fuzz::require(stream_bytes(whole, stream_rate_for(width, height)) == stream,
                "the whole-stream rate reads exactly the stream");
  for (const double rate : {whole, whole * 0.5, whole * 1.5}) {
    decode_at(data, size, header, rate);
  }
  return 0;
}

}  // namespace quarn

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return quarn::test_one_input(data, size);
}
