// Coded files: the 4-byte size prefix (width, then height, big-endian), then
// the stream of exactly B bytes. The tool codes and decodes them through the
// library's C API (include/quarn/quarn.h), as any program built on the
// library does, with one context for the whole run so that the codec's
// storage is kept from one call to the next.
#ifndef QUARN_TOOLS_STREAM_FILE_H
#define QUARN_TOOLS_STREAM_FILE_H

#include <cstdint>
#include <span>
#include <string>

#include "quarn/quarn.h"
#include "tools/file_io.h"
#include "tools/rgb_image.h"

namespace quarn {

struct StreamFile {
  FileBytes bytes;  // the whole file, prefix included
  int32_t width = 0;
  int32_t height = 0;
  int32_t stream_bytes = 0;  // bytes behind the prefix
  quarn_info info{};         // what its header says
};

// Takes the file's bytes; returns an empty string when they form a coded
// file the decoder can take, else what is wrong with them.
std::string parse_stream_file(FileBytes bytes, StreamFile* file);

// Reads the file at `path` ("-" is stdin) and parses it as above.
std::string read_stream_file(const std::string& path, StreamFile* file);

// The threads the run's codings use: 0 for every processor thread (the
// default), else a count.
void set_coding_threads(int32_t threads);

// A coded file made by encode_to_file.
struct CodedFile {
  std::span<const uint8_t> bytes;  // size prefix and stream
  // The stream length at which the coding was whole, when the coder ran out
  // of passes within fewer bytes than the budget (the rest is zeros); else 0.
  int32_t complete = 0;
};

// Codes `height` rows of `width` packed RGB pixels at `bitrate`: in `room`
// when it has space for the coded file and the coder's slack, else in new
// storage in `own`. Returns an empty string, or why the library refused.
std::string encode_to_file(int32_t width, int32_t height, const uint8_t* rgb, double bitrate,
                           std::span<uint8_t> room, FileBytes* own, CodedFile* coded);
// The same for an image, into `file`, which keeps the coded file.
std::string encode_to_file(const RgbImage& image, double bitrate, StreamFile* file);

// Decodes the prefix of the stream that `bitrate` covers (0: all of it) into
// `height` rows of packed pixels at `out`, `stride` bytes apart.
std::string decode_file(const StreamFile& file, double bitrate, uint8_t* out, std::size_t stride);
// The same into `image`, sized here.
std::string decode_file(const StreamFile& file, double bitrate, RgbImage* image);
// Decodes the first `bytes` stream bytes as a file of that length decodes,
// into `image` (sized already).
std::string decode_prefix(const StreamFile& file, int32_t bytes, RgbImage* image);

// While it lives, every encoding and decoding above tells `report` the
// share of the call done, on this thread (quarn_context_set_progress).
class CodingProgress {
 public:
  CodingProgress(void (*report)(void* user, double done), void* user);
  ~CodingProgress();
  CodingProgress(const CodingProgress&) = delete;
  CodingProgress& operator=(const CodingProgress&) = delete;
};

// An image file, or a coded file decoded in full: whatever the bytes hold.
// `name` names the file in the progress line of a large decoding.
std::string read_picture(FileBytes bytes, const std::string& name, RgbImage* image);

}  // namespace quarn

#endif  // QUARN_TOOLS_STREAM_FILE_H
