// Coded files: the 4-byte size prefix (width, then height, big-endian), then
// the stream of exactly B bytes. The codec runs only on input that has
// passed the shared checks of codec/validate.h.
#ifndef QUARN_TOOLS_STREAM_FILE_H
#define QUARN_TOOLS_STREAM_FILE_H

#include <cstdint>
#include <string>

#include "codec/stream_header.h"
#include "tools/file_io.h"
#include "tools/rgb_image.h"

struct StreamFile {
  FileBytes bytes;  // the whole file, prefix included
  int32_t width = 0;
  int32_t height = 0;
  int32_t stream_bytes = 0;  // bytes behind the prefix
};

// Takes the file's bytes; returns an empty string when they form a coded
// file the decoder can take, else what is wrong with them.
std::string parse_stream_file(FileBytes bytes, StreamFile* file);

// Reads the file at `path` ("-" is stdin) and parses it as above.
std::string read_stream_file(const std::string& path, StreamFile* file);

// The header values the stream carries (its first 27 bytes).
StreamHeader read_stream_header(const StreamFile& file);

// The lowest rate at which the decoder reads the whole stream.
double whole_stream_bitrate(const StreamFile& file);

// Codes `height` rows of `width` packed pixels, which must have passed
// check_encode() at this bitrate, into a coded file. Returns its bytes: in
// `room` when that is large enough, else in new storage in `own`; empty
// when there is no memory for them. When `complete` is given it receives
// the stream length at which the coding was whole, or 0 when the budget
// cut it (complete_stream_bytes()).
std::span<const uint8_t> encode_to_file(int32_t width, int32_t height, const uint8_t* rgb,
                                        double bitrate, std::span<uint8_t> room,
                                        FileBytes* own, int32_t* complete = nullptr);
// The same for an image, into new storage.
FileBytes encode_to_file(const RgbImage& image, double bitrate);

// Decodes the prefix of the stream that `bitrate` covers; the bitrate must
// pass check_encode() for the file's size.
RgbImage decode_file(const StreamFile& file, double bitrate);
// Decodes the first `bytes` stream bytes of the file as a file of that
// length would decode, into `image` (sized already).
void decode_prefix(const StreamFile& file, int32_t bytes, RgbImage* image);
// The same into `height` rows of packed pixels at `out`, `stride` bytes
// apart.
void decode_file(const StreamFile& file, double bitrate, uint8_t* out, std::ptrdiff_t stride);

// An image file, or a coded file decoded in full: whatever the bytes hold.
std::string read_picture(FileBytes bytes, RgbImage* image);

#endif  // QUARN_TOOLS_STREAM_FILE_H
