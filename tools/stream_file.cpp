#include "tools/stream_file.h"

#include <cstring>
#include <new>
#include <utility>

#include "codec/bit_reader.h"
#include "codec/budget.h"
#include "codec/decoder.h"
#include "codec/encoder.h"
#include "codec/validate.h"
#include "tools/image_file.h"

namespace {

// One codec state each for the whole run, so that their image storage is
// reused from one call to the next.
Encoder& shared_encoder() {
  static Encoder encoder;
  return encoder;
}

Decoder& shared_decoder() {
  static Decoder decoder;
  return decoder;
}

}  // namespace

std::string parse_stream_file(FileBytes bytes, StreamFile* file) {
  if (looks_like_image(bytes.bytes())) return "this is an image file, not a coded stream";
  int32_t width = 0;
  int32_t height = 0;
  std::string problem = check_stream(bytes.data(), bytes.size(), &width, &height);
  if (!problem.empty()) return problem;
  if (bytes.size() - kPrefixBytes > static_cast<std::size_t>(kMaxStreamBytes)) {
    return "stream of " + std::to_string(bytes.size() - kPrefixBytes) +
           " bytes is longer than the decoder takes";
  }
  file->stream_bytes = static_cast<int32_t>(bytes.size() - kPrefixBytes);
  file->width = width;
  file->height = height;
  file->bytes = std::move(bytes);
  return {};
}

std::string read_stream_file(const std::string& path, StreamFile* file) {
  FileBytes data;
  const std::string problem = read_input(path, &data);
  return problem.empty() ? parse_stream_file(std::move(data), file) : problem;
}

StreamHeader read_stream_header(const StreamFile& file) {
  BitReader reader;
  begin_read(reader, file.bytes.data() + kPrefixBytes,
             static_cast<std::size_t>(file.stream_bytes));
  StreamHeader header;
  read_header(reader, header);
  return header;
}

double whole_stream_bitrate(const StreamFile& file) {
  return bitrate_for_bytes(file.width, file.height, file.stream_bytes);
}

std::span<const uint8_t> encode_to_file(int32_t width, int32_t height, const uint8_t* rgb,
                                        double bitrate, std::span<uint8_t> room,
                                        FileBytes* own, int32_t* complete) {
  const int32_t B = stream_bytes(bitrate, stream_rate_for(width, height));
  // With the coder's slack behind the budget the encoder codes in place.
  const std::size_t need = static_cast<std::size_t>(B) + kPrefixBytes + kEncodeSlack;
  uint8_t* out = room.data();
  if (room.size() < need) {
    if (!own->reserve(need)) return {};
    out = own->data();
  }
  const int32_t written = encode_image(shared_encoder(), out, need, width, height, rgb, bitrate);
  if (complete != nullptr) *complete = complete_stream_bytes(shared_encoder());
  return {out, static_cast<std::size_t>(written) + kPrefixBytes};
}

FileBytes encode_to_file(const RgbImage& image, double bitrate) {
  FileBytes out;
  const std::span<const uint8_t> coded =
      encode_to_file(image.width, image.height, image.pixels.data(), bitrate, {}, &out);
  if (coded.empty()) throw std::bad_alloc();
  out.set_size(coded.size());
  return out;
}

void decode_file(const StreamFile& file, double bitrate, uint8_t* out, std::ptrdiff_t stride) {
  decode_image_rgb(shared_decoder(), file.width, file.height, file.bytes.data() + kPrefixBytes,
                   static_cast<std::size_t>(file.stream_bytes), out, stride, bitrate);
}

RgbImage decode_file(const StreamFile& file, double bitrate) {
  RgbImage image;
  image.width = file.width;
  image.height = file.height;
  image.pixels.resize(static_cast<std::size_t>(file.width) * static_cast<std::size_t>(file.height) * 3);
  decode_file(file, bitrate, image.pixels.data(), static_cast<std::ptrdiff_t>(file.width) * 3);
  return image;
}

void decode_prefix(const StreamFile& file, int32_t bytes, RgbImage* image) {
  decode_image_rgb(shared_decoder(), file.width, file.height, file.bytes.data() + kPrefixBytes,
                   static_cast<std::size_t>(bytes), image->pixels.data(),
                   static_cast<std::ptrdiff_t>(file.width) * 3,
                   bitrate_for_bytes(file.width, file.height, bytes));
}

std::string read_picture(FileBytes bytes, RgbImage* image) {
  if (looks_like_image(bytes.bytes())) return read_image(bytes.bytes(), image);
  StreamFile file;
  const std::string problem = parse_stream_file(std::move(bytes), &file);
  if (!problem.empty()) return "neither an image nor a coded stream: " + problem;
  *image = decode_file(file, whole_stream_bitrate(file));
  return {};
}
