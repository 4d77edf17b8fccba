/* The entry points the JavaScript wrapper (quarn.mjs) calls: the public C
   API as it stands, plus one call that lays a stream's header out as plain
   numbers, so that the wrapper never needs to know a struct's layout. */
#include <emscripten/emscripten.h>
#include <stddef.h>

#include "quarn/quarn.h"

/* Encodes `height` rows of `width` RGBA pixels, packed. */
EMSCRIPTEN_KEEPALIVE int qw_encode(const unsigned char* rgba, int width, int height,
                                   double bitrate, unsigned char** out, size_t* out_size) {
  return quarn_encode_rgba(rgba, width, height, (size_t)width * 4, bitrate, out, out_size);
}

/* Decodes `size` bytes of a coded file into packed RGBA (alpha 255). */
EMSCRIPTEN_KEEPALIVE int qw_decode(const unsigned char* data, size_t size, double bitrate,
                                   unsigned char** rgba, int* width, int* height) {
  return quarn_decode_rgba(data, size, bitrate, rgba, width, height);
}

/* The header: width, height, stream bytes, bits per pixel, top exponent,
   the three means and the nine matrix entries, row by row: 17 numbers. */
EMSCRIPTEN_KEEPALIVE int qw_info(const unsigned char* data, size_t size, double* fields) {
  quarn_info info;
  const int code = quarn_read_info(data, size, &info);
  if (code != 0) return code;
  fields[0] = info.width;
  fields[1] = info.height;
  fields[2] = (double)info.stream_bytes;
  fields[3] = info.bits_per_pixel;
  fields[4] = info.top_exponent;
  for (int i = 0; i < 3; ++i) fields[5 + i] = info.means[i];
  for (int i = 0; i < 9; ++i) fields[8 + i] = info.matrix[i];
  return 0;
}
