// Checks of everything that comes from outside (a host matrix, a file, a
// stream), made before the codec sees it. The plug-ins, the command-line tool
// and the fuzzers all go through these, so that no input a user can supply
// reaches the codec's fatal-error exit.
//
// Each check returns an empty string when the input is acceptable, and
// otherwise one line that says what is wrong.
#ifndef QUARN_CODEC_VALIDATE_H
#define QUARN_CODEC_VALIDATE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarn {

inline constexpr int32_t kMinSide = 32;
inline constexpr int32_t kMaxSide = 8192;
// Far beyond anything the coder can use (it ends after 32 passes), and low
// enough that B and the buffers behind it stay within 32 bits.
inline constexpr double kMaxBitrate = 64.0;

std::string check_size(int64_t width, int64_t height);

// Finite, positive, at most kMaxBitrate.
std::string check_bitrate(double bitrate);

// Cells of the encoder plug-in's output row: trunc(width x height x bitrate
// / 8 + 4). It can be one more or one less than the B + 4 bytes that the
// stream and its prefix take; when less, the stream's last byte is cut. The
// bitrate must have passed check_bitrate().
int64_t encoder_row_cells(int32_t width, int32_t height, double bitrate);

// The lowest bitrate at this size whose budget holds the whole stream
// header, also in the encoder plug-in's row.
double lowest_bitrate(int32_t width, int32_t height);

// Size, bitrate, and a budget that holds at least the complete header, both
// as B bytes and after the plug-in's row has cut it.
std::string check_encode(int64_t width, int64_t height, double bitrate);

// A coded row: size prefix, then a stream that starts with "n" and holds the
// whole header, whose sizes equal the prefix's and lie in 32..8192. On
// success stores the size in *width and *height.
std::string check_stream(const uint8_t* row, std::size_t size, int32_t* width,
                         int32_t* height);

}  // namespace quarn

#endif  // QUARN_CODEC_VALIDATE_H
