// Checks of everything that comes from outside (a host matrix, a file, a
// stream, a library caller), made before the codec sees it. The plug-ins, the
// command-line tool, the library's C API and the fuzzers all go through
// these, so that no input a user can supply reaches the codec's fault path.
//
// Each check returns an empty string when the input is acceptable, and
// otherwise one line that says what is wrong.
#ifndef QUARN_CODEC_VALIDATE_H
#define QUARN_CODEC_VALIDATE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/stream_header.h"
#include "image/size_limits.h"

namespace quarn {

// Far beyond anything the coder can use (it ends after 32 passes), and low
// enough that B and the buffers behind it stay within 32 bits.
inline constexpr double kMaxBitrate = 64.0;

// From kMinSide to kMaxSide each way.
std::string check_size(int64_t width, int64_t height);

// Finite, positive, at most kMaxBitrate.
std::string check_bitrate(double bitrate);

// Size, bitrate, and a budget of B bytes that holds the complete header.
std::string check_encode(int64_t width, int64_t height, double bitrate);

// Size, bitrate, and a budget that `holds` accepts, which must accept every
// rate above one that it accepts; a rate too low names the lowest it takes.
std::string check_encode(int64_t width, int64_t height, double bitrate,
                         bool (*holds)(int32_t, int32_t, double));

// The lowest bitrate at this size that `holds` accepts, shown with six
// significant digits, so that it can be printed, read back and used exactly
// as shown. `holds` must accept every rate above one that it accepts.
double lowest_bitrate(int32_t width, int32_t height, bool (*holds)(int32_t, int32_t, double));

// The lowest bitrate at this size whose B holds the whole stream header.
double lowest_bitrate(int32_t width, int32_t height);

// A stream (the bytes behind the size prefix) that starts with "n" and holds
// the whole header, whose sizes the codec takes. This is where a header is
// parsed: on success its fields are in *header, for decode_image.
std::string check_header(const uint8_t* stream, std::size_t size, StreamHeader* header);

// A coded row: size prefix, then a stream that passes check_header, whose
// sizes equal the prefix's. On success its header is in *header.
std::string check_stream(const uint8_t* row, std::size_t size, StreamHeader* header);

}  // namespace quarn

#endif  // QUARN_CODEC_VALIDATE_H
