#include "tools/stream_file.h"

#include <memory>
#include <new>
#include <utility>

#include "codec/stream_header.h"
#include "codec/validate.h"
#include "stream/budget.h"
#include "tools/image_file.h"
#include "tools/progress.h"

namespace quarn {

namespace {

// With this much room behind the file the library codes in place.
constexpr std::size_t kInPlaceRoom = 64;

// The run's one context.
quarn_context* context() {
  static const std::unique_ptr<quarn_context, void (*)(quarn_context*)> shared(
      quarn_context_new(), quarn_context_free);
  if (shared == nullptr) throw std::bad_alloc();
  return shared.get();
}

// What the library said about a failed call.
std::string refusal(int code) {
  if (code == QUARN_ERROR_MEMORY) return "out of memory";
  const std::string message = quarn_context_message(context());
  return message.empty() ? quarn_error_string(code) : message;
}

std::string decode_bytes(const StreamFile& file, std::size_t size, double bitrate, uint8_t* out,
                         std::size_t stride) {
  const int code = quarn_decode(context(), file.bytes.data(), size, bitrate, QUARN_RGB, out,
                                stride, stride * static_cast<std::size_t>(file.height));
  return code == QUARN_OK ? std::string() : refusal(code);
}

}  // namespace

std::string parse_stream_file(FileBytes bytes, StreamFile* file) {
  if (looks_like_image(bytes.bytes())) return "this is an image file, not a coded stream";
  quarn_info info;
  const int code = quarn_context_read_info(context(), bytes.data(), bytes.size(), &info);
  if (code != QUARN_OK) return refusal(code);
  if (info.stream_bytes > static_cast<std::size_t>(kMaxStreamBytes)) {
    return "stream of " + std::to_string(info.stream_bytes) +
           " bytes is longer than the decoder takes";
  }
  file->stream_bytes = static_cast<int32_t>(info.stream_bytes);
  file->width = info.width;
  file->height = info.height;
  file->info = info;
  file->bytes = std::move(bytes);
  return {};
}

void set_coding_threads(int32_t threads) { quarn_context_set_threads(context(), threads); }

std::string read_stream_file(const std::string& path, StreamFile* file) {
  FileBytes data;
  const std::string problem = read_input(path, &data);
  return problem.empty() ? parse_stream_file(std::move(data), file) : problem;
}

std::string encode_to_file(int32_t width, int32_t height, const uint8_t* rgb, double bitrate,
                           std::span<uint8_t> room, FileBytes* own, CodedFile* coded) {
  std::string problem = check_encode(width, height, bitrate);
  if (!problem.empty()) return problem;
  std::size_t size = 0;
  int code = quarn_encoded_size(width, height, bitrate, &size);
  if (code != QUARN_OK) return quarn_error_string(code);  // not expected
  // With the coder's slack behind the file the library codes in place.
  const std::size_t need = size + kInPlaceRoom;
  uint8_t* out = room.data();
  if (room.size() < need) {
    if (!own->reserve(need)) return "out of memory";
    out = own->data();
  }
  code = quarn_encode(context(), rgb, width, height, static_cast<std::size_t>(width) * 3,
                      QUARN_RGB, bitrate, out, need, &size);
  if (code != QUARN_OK) return refusal(code);
  const std::size_t complete = quarn_context_complete_size(context());
  coded->bytes = {out, size};
  coded->complete = complete == 0 ? 0 : static_cast<int32_t>(complete - kPrefixBytes);
  return {};
}

std::string encode_to_file(const RgbImage& image, double bitrate, StreamFile* file) {
  FileBytes own;
  CodedFile coded;
  const std::string problem =
      encode_to_file(image.width, image.height, image.pixels.data(), bitrate, {}, &own, &coded);
  if (!problem.empty()) return problem;
  own.set_size(coded.bytes.size());
  return parse_stream_file(std::move(own), file);
}

std::string decode_file(const StreamFile& file, double bitrate, uint8_t* out, std::size_t stride) {
  return decode_bytes(file, file.bytes.size(), bitrate, out, stride);
}

std::string decode_file(const StreamFile& file, double bitrate, RgbImage* image) {
  image->width = file.width;
  image->height = file.height;
  image->pixels.resize(static_cast<std::size_t>(file.width) * static_cast<std::size_t>(file.height) * 3);
  return decode_file(file, bitrate, image->pixels.data(), static_cast<std::size_t>(file.width) * 3);
}

std::string decode_prefix(const StreamFile& file, int32_t bytes, RgbImage* image) {
  // Rate 0 reads every byte given.
  return decode_bytes(file, static_cast<std::size_t>(bytes) + kPrefixBytes, 0.0,
                      image->pixels.data(), static_cast<std::size_t>(file.width) * 3);
}

CodingProgress::CodingProgress(void (*report)(void* user, double done), void* user) {
  quarn_context_set_progress(context(), report, user);
}

CodingProgress::~CodingProgress() { quarn_context_set_progress(context(), nullptr, nullptr); }

std::string read_picture(FileBytes bytes, const std::string& name, RgbImage* image) {
  if (looks_like_image(bytes.bytes())) return read_image(bytes.bytes(), image);
  StreamFile file;
  const std::string problem = parse_stream_file(std::move(bytes), &file);
  if (!problem.empty()) return "neither an image nor a coded stream: " + problem;
  Progress progress(int64_t{file.width} * file.height);
  progress.begin(name, "decoding");
  const CodingProgress told(progress.shown() ? &Progress::report : nullptr, &progress);
  return decode_file(file, 0.0, image);
}

}  // namespace quarn
