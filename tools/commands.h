// The tool's commands. Each takes parsed options whose file count has been
// checked, and returns the exit status.
#ifndef QUARN_TOOLS_COMMANDS_H
#define QUARN_TOOLS_COMMANDS_H

#include <string>

#include "tools/args.h"
#include "tools/image_file.h"

int run_encode(const Options& options);   // IN OUT
int run_decode(const Options& options);   // IN OUT
int run_info(const Options& options);     // FILE
int run_compare(const Options& options);  // A B
int run_ladder(const Options& options);   // IN OUT

// The output format: --format if given, else OUT's extension; PNG for
// stdout. kUnknown when neither tells.
ImageFormat output_format(const Options& options, const std::string& out);

// What an image output holds, for messages: "a PNG image", "a PPM image".
std::string image_noun(ImageFormat format);

// A bitrate as people write it: "0.5", "2", "0.025".
std::string format_rate(double rate);

// The shortest decimal bitrate that gives `bytes` stream bytes at this size:
// "0.25" for 12287 bytes at 768x512. Given back to -b it gives those bytes.
std::string rate_for_bytes_text(int32_t width, int32_t height, int32_t bytes);

#endif  // QUARN_TOOLS_COMMANDS_H
