/* The entry points the JavaScript wrapper (quarn.mjs) calls, on the public C
   API alone. One context serves every call, so that pictures of one size
   are coded again and again without allocating; the module is used from one
   thread. Each call leaves its failure's message for qw_message. */
#include <emscripten/emscripten.h>
#include <stddef.h>
#include <stdlib.h>

#include "quarn/quarn.h"

static quarn_context* context;
static const char* failure = "";
/* A non-null place for calls whose output is never written. */
static unsigned char nowhere[4];

/* The context's own message (which says what exactly is wrong) when the
   failing call went through it, the code's description otherwise. */
static int fail(int code, int in_context) {
  failure = in_context ? quarn_context_message(context) : "";
  if (failure[0] == '\0') failure = quarn_error_string(code);
  return code;
}

EMSCRIPTEN_KEEPALIVE int qw_init(void) {
  context = quarn_context_new();
  return context ? QUARN_OK : fail(QUARN_ERROR_MEMORY, 0);
}

EMSCRIPTEN_KEEPALIVE const char* qw_message(void) { return failure; }

/* Encodes `height` rows of `width` RGBA pixels, packed. On success *out
   holds the coded file (free with quarn_free). */
EMSCRIPTEN_KEEPALIVE int qw_encode(const unsigned char* rgba, int width, int height,
                                   double bitrate, unsigned char** out, size_t* out_size) {
  *out = NULL;
  *out_size = 0;
  size_t size = 0;
  unsigned char* file = NULL;
  if (quarn_encoded_size(width, height, bitrate, &size) == QUARN_OK) {
    file = malloc(size);
    if (!file) return fail(QUARN_ERROR_MEMORY, 0);
  }
  /* A size or rate that the library refuses is refused by this call too,
     which says why in the context's message. */
  const size_t stride = width > 0 ? (size_t)width * 4 : 0;
  const int code = quarn_encode(context, rgba, width, height, stride, QUARN_RGBA, bitrate,
                                file ? file : nowhere, file ? size : 0, out_size);
  if (code != QUARN_OK) {
    free(file);
    return fail(code, 1);
  }
  *out = file;
  return QUARN_OK;
}

/* Why `size` bytes hold no readable header, from a decoding call that
   stops at its checks. */
static int refuse_stream(const unsigned char* data, size_t size, double bitrate, int code) {
  const int checked = quarn_decode(context, data, size, bitrate, QUARN_RGBA, nowhere, 0, 0);
  if (checked == QUARN_ERROR_STREAM || checked == QUARN_ERROR_BITRATE) return fail(checked, 1);
  return fail(code, 0);
}

/* Decodes `size` bytes of a coded file at `bitrate` (0: all of them) into
   new packed RGBA pixels (alpha 255; free with quarn_free). */
EMSCRIPTEN_KEEPALIVE int qw_decode(const unsigned char* data, size_t size, double bitrate,
                                   unsigned char** rgba, int* width, int* height) {
  *rgba = NULL;
  quarn_info info;
  int code = quarn_read_info(data, size, &info);
  if (code != QUARN_OK) return refuse_stream(data, size, bitrate, code);
  /* At most 8192 x 8192 x 4 bytes: within 32 bits. */
  const size_t stride = (size_t)info.width * 4;
  const size_t bytes = stride * (size_t)info.height;
  unsigned char* pixels = malloc(bytes);
  if (!pixels) return fail(QUARN_ERROR_MEMORY, 0);
  code = quarn_decode(context, data, size, bitrate, QUARN_RGBA, pixels, stride, bytes);
  if (code != QUARN_OK) {
    free(pixels);
    return fail(code, 1);
  }
  *rgba = pixels;
  *width = info.width;
  *height = info.height;
  return QUARN_OK;
}

/* The header as 17 numbers: width, height, stream bytes, bits per pixel,
   top exponent, the three means and the nine matrix entries row by row. */
EMSCRIPTEN_KEEPALIVE int qw_info(const unsigned char* data, size_t size, double* fields) {
  quarn_info info;
  const int code = quarn_read_info(data, size, &info);
  if (code != QUARN_OK) return refuse_stream(data, size, 0.0, code);
  fields[0] = info.width;
  fields[1] = info.height;
  fields[2] = (double)info.stream_bytes;
  fields[3] = info.bits_per_pixel;
  fields[4] = info.top_exponent;
  for (int i = 0; i < 3; ++i) fields[5 + i] = info.means[i];
  for (int i = 0; i < 9; ++i) fields[8 + i] = info.matrix[i];
  return QUARN_OK;
}
