// quarn info FILE [--json]
#include <cstdio>
#include <string>

#include "tools/commands.h"
#include "tools/messages.h"
#include "tools/stream_file.h"

namespace quarn {

namespace {

// The length of the UTF-8 sequence at text[i], or 0 when none starts there.
std::size_t utf8_sequence(const std::string& text, std::size_t i) {
  const auto at = [&](std::size_t k) {
    return k < text.size() ? static_cast<unsigned>(static_cast<unsigned char>(text[k])) : 0u;
  };
  const unsigned lead = at(i);
  std::size_t n = 0;
  unsigned low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (at(i + 1) < low || at(i + 1) > high) return 0;
  for (std::size_t k = 2; k < n; ++k) {
    if ((at(i + k) & 0xC0) != 0x80) return 0;
  }
  return n;
}

// A JSON string of any bytes: quotes, backslashes and control characters
// escaped, and bytes that are not UTF-8 (a file name may hold any) given as
// U+FFFD, so that the output always parses.
std::string json_string(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c < 0x20 || c == 0x7F) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        out += escape;
      } else {
        out += static_cast<char>(c);
      }
      ++i;
    } else if (const std::size_t n = utf8_sequence(text, i); n > 0) {
      out.append(text, i, n);
      i += n;
    } else {
      out += "\\ufffd";
      ++i;
    }
  }
  return out + "\"";
}

// A colour matrix entry; the stream holds each to four decimals.
std::string entry(float value) {
  char text[24];
  std::snprintf(text, sizeof text, "%.4f", static_cast<double>(value));
  return text;
}

void print_text(const std::string& name, const StreamFile& file) {
  const quarn_info& h = file.info;
  std::printf("file:            %s\n", name.c_str());
  std::printf("size:            %d x %d\n", h.width, h.height);
  std::printf("stream bytes:    %zu (file %zu bytes with the size prefix)\n", h.stream_bytes,
              file.bytes.size());
  std::printf("bits per pixel:  %s\n", format_rate(h.bits_per_pixel).c_str());
  std::printf("top exponent:    %d\n", h.top_exponent);
  std::printf("means:           %d %d %d\n", h.means[0], h.means[1], h.means[2]);
  for (int row = 0; row < 3; ++row) {
    std::printf("%s", row == 0 ? "colour matrix:  " : "                ");
    for (int col = 0; col < 3; ++col) std::printf(" %8s", entry(h.matrix[3 * row + col]).c_str());
    std::printf("\n");
  }
}

// The same fields as one JSON object on one line.
void print_json(const std::string& name, const StreamFile& file) {
  const quarn_info& h = file.info;
  std::string matrix;
  for (int row = 0; row < 3; ++row) {
    matrix += row == 0 ? "[" : ", [";
    for (int col = 0; col < 3; ++col) {
      matrix += (col == 0 ? "" : ", ") + entry(h.matrix[3 * row + col]);
    }
    matrix += "]";
  }
  std::printf(
      "{\"file\": %s, \"width\": %d, \"height\": %d, \"stream_bytes\": %zu, "
      "\"file_bytes\": %zu, \"bits_per_pixel\": %s, \"top_exponent\": %d, "
      "\"means\": [%d, %d, %d], \"colour_matrix\": [%s]}\n",
      json_string(name).c_str(), h.width, h.height, h.stream_bytes, file.bytes.size(),
      format_rate(h.bits_per_pixel).c_str(), h.top_exponent, h.means[0], h.means[1], h.means[2],
      matrix.c_str());
}

}  // namespace

int run_info(const Options& o) {
  const std::string& in = o.files[0];
  StreamFile file;
  const std::string problem = read_stream_file(in, &file);
  if (!problem.empty()) return refuse(input_name(in), problem);
  (o.json ? print_json : print_text)(input_name(in), file);
  return kExitOk;
}

}  // namespace quarn
