// Coded files: the 4-byte size prefix (width, then height, big-endian), then
// the stream of exactly B bytes. The codec runs only on input that has
// passed the shared checks of codec/validate.h.
#ifndef QUARN_TOOLS_STREAM_FILE_H
#define QUARN_TOOLS_STREAM_FILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "codec/stream_header.h"
#include "tools/rgb_image.h"

struct StreamFile {
  std::vector<uint8_t> bytes;  // the whole file, prefix included
  int32_t width = 0;
  int32_t height = 0;
  int32_t stream_bytes = 0;  // bytes behind the prefix
};

// Takes the file's bytes; returns an empty string when they form a coded
// file the decoder can take, else what is wrong with them.
std::string parse_stream_file(std::vector<uint8_t> bytes, StreamFile* file);

// The header values the stream carries (its first 27 bytes).
StreamHeader read_stream_header(const StreamFile& file);

// The lowest rate at which the decoder reads the whole stream.
double whole_stream_bitrate(const StreamFile& file);

// The image must have passed check_encode() at this bitrate.
std::vector<uint8_t> encode_to_file(const RgbImage& image, double bitrate);

// Decodes the prefix of the stream that `bitrate` covers; the bitrate must
// pass check_encode() for the file's size.
RgbImage decode_file(const StreamFile& file, double bitrate);

// An image file, or a coded file decoded in full: whatever the bytes hold.
std::string read_picture(std::vector<uint8_t> bytes, RgbImage* image);

#endif  // QUARN_TOOLS_STREAM_FILE_H
