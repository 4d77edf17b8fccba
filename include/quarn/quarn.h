/* quarn: a colour still-image codec whose streams are embedded. An image is
   coded at a chosen number of bits per pixel into a stream of exactly that
   length, and any prefix of the stream decodes to a coarser picture.

   A coded file is a 4-byte size prefix (width, then height, each big-endian
   16-bit) and the stream behind it, which starts with the byte "n" and a
   27-byte header. Images are 32 to 8192 pixels in each direction.

   Every function returns 0 or a negative code from the list below; none
   ends the process or writes to the standard error stream. Functions that
   take no context may be called from any thread at any time; a context is
   used by one thread at a time, and separate contexts may work at once. */
#ifndef QUARN_QUARN_H
#define QUARN_QUARN_H

#include <stddef.h>

#if defined(_WIN32)
#if defined(QUARN_BUILDING_SHARED)
#define QUARN_API __declspec(dllexport)
#elif defined(QUARN_STATIC)
#define QUARN_API
#else
#define QUARN_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define QUARN_API __attribute__((visibility("default")))
#else
#define QUARN_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. Their values and meanings stay as they are. */
enum {
  QUARN_OK = 0,
  QUARN_ERROR_ARGUMENT = -1, /* a null pointer, an unknown pixel format, a row
                                stride shorter than a row */
  QUARN_ERROR_SIZE = -2,     /* width or height outside 32 to 8192 */
  QUARN_ERROR_BITRATE = -3,  /* not a finite positive number, above 64, or
                                too low for the stream header at this size */
  QUARN_ERROR_STREAM = -4,   /* not a coded file, or one damaged in its size
                                prefix or header, or shorter than them */
  QUARN_ERROR_BUFFER = -5,   /* the caller's buffer is too small */
  QUARN_ERROR_MEMORY = -6,   /* memory could not be had */
  QUARN_ERROR_INTERNAL = -7  /* an internal fault of the codec */
};

/* Pixel layouts, named by their bytes per pixel. RGBA input ignores alpha;
   RGBA output has alpha 255. */
enum { QUARN_RGB = 3, QUARN_RGBA = 4 };

/* The codec's version, e.g. "0.2.0". */
QUARN_API const char* quarn_version(void);

/* Encodes packed 8-bit RGB (3 bytes a pixel, rows `stride` bytes apart)
   at `bitrate` bits per pixel. On success *out holds the coded file:
   the 4-byte size prefix and the stream, exactly as `quarn encode`
   writes it; free it with quarn_free. Returns 0 or a negative code. */
QUARN_API int quarn_encode_rgb(const unsigned char* rgb, int width, int height, size_t stride,
                               double bitrate, unsigned char** out, size_t* out_size);

/* Decodes a coded file, or any prefix of it at least as long as its
   header. A `bitrate` of 0 reads all the bytes given; a positive value
   reads only the prefix that rate covers. On success *rgb holds
   width*height*3 bytes (free with quarn_free). Returns 0 or a negative
   code. */
QUARN_API int quarn_decode_rgb(const unsigned char* data, size_t size, double bitrate,
                               unsigned char** rgb, int* width, int* height);

QUARN_API void quarn_free(void* p);

/* A one-line English description of a code returned above. */
QUARN_API const char* quarn_error_string(int code);

/* The size of the coded file for this image size and bitrate: the size
   prefix and B stream bytes, B being bitrate x width x height / 8 rounded
   down (computed in the codec's exact arithmetic). */
QUARN_API int quarn_encoded_size(int width, int height, double bitrate, size_t* size);

/* What a coded file's size prefix and header say, read without decoding. */
typedef struct quarn_info {
  int width;
  int height;
  size_t stream_bytes;   /* stream bytes given, behind the size prefix */
  double bits_per_pixel; /* stream_bytes x 8 / (width x height) */
  int top_exponent;      /* the first coding threshold is 2^top_exponent */
  int means[3];          /* the colour means, 0 to 255 */
  float matrix[9];       /* the colour matrix row by row, as the decoder uses it */
} quarn_info;

/* Reads the header of a coded file, or of any prefix of it at least as
   long as its header. */
QUARN_API int quarn_read_info(const unsigned char* data, size_t size, quarn_info* info);

/* A context keeps the codec's storage from one call to the next, so that
   frames of one size are coded without allocating. */
typedef struct quarn_context quarn_context;

/* A new context, or NULL when memory could not be had. */
QUARN_API quarn_context* quarn_context_new(void);
QUARN_API void quarn_context_free(quarn_context* context);

/* The threads a context's calls may use, the caller's among them: 0 for
   every processor thread the machine has (what a new context uses, and what
   quarn_encode_rgb and quarn_decode_rgb use), 1 to code on the caller's
   thread alone, or a count (at most 64). The coder itself runs on one
   thread; the stages around it (colour transforms, wavelet transforms,
   maxima, output) are split among the others. Streams and pixels are the
   same for every count. The threads come from one pool that the library
   keeps for the whole process and shares between contexts; contexts used
   on several threads at once share its threads too. A negative count is an
   argument error. */
QUARN_API int quarn_context_set_threads(quarn_context* context, int threads);

/* Progress of a long call: while quarn_encode or quarn_decode runs with
   this context, `callback` is called on the calling thread as each stage of
   the coding ends, with `user` and the share of the call done so far: 0 as
   it starts, then rising, and 1 once the coded file or the pixels are
   complete. The shares are estimated from the image's size and the stream
   bytes coded, so they track time only roughly; a call makes a handful of
   these calls, so they cost nothing that counts. A NULL callback stops
   them. The callback must not call the library with the same context. */
typedef void (*quarn_progress_callback)(void* user, double done);
QUARN_API int quarn_context_set_progress(quarn_context* context, quarn_progress_callback callback,
                                         void* user);

/* What went wrong in the context's last call that failed, in one line
   (the codec's own text for an internal fault); "" after a success. */
QUARN_API const char* quarn_context_message(const quarn_context* context);

/* quarn_read_info through a context, whose message then says what is wrong
   with a file it refuses. */
QUARN_API int quarn_context_read_info(quarn_context* context, const unsigned char* data,
                                      size_t size, quarn_info* info);

/* Encodes `height` rows of `width` pixels in `format`, rows `stride` bytes
   apart, at `bitrate` bits per pixel, into `out`, which has room for
   `capacity` bytes. The coded file takes quarn_encoded_size bytes; *out_size
   is set to that. With 64 bytes more room the file is coded in place rather
   than copied; the bytes of `out` past the file may then be overwritten. */
QUARN_API int quarn_encode(quarn_context* context, const unsigned char* pixels, int width,
                           int height, size_t stride, int format, double bitrate,
                           unsigned char* out, size_t capacity, size_t* out_size);

/* After the context's last quarn_encode, when that call succeeded and the
   coder finished its last pass in fewer bytes than the budget gave it: the
   size of the shortest coded file (size prefix included) that holds the
   whole stream. That prefix of the file decodes to the same pixels as the
   whole file, and every byte after it is zero. Otherwise 0. */
QUARN_API size_t quarn_context_complete_size(const quarn_context* context);

/* Decodes a coded file (or a prefix of it at least as long as its header)
   at `bitrate` as quarn_decode_rgb does, into `pixels`: the header's height
   rows of its width pixels in `format`, rows `stride` bytes apart, within
   `capacity` bytes. The bytes between rows are left alone. */
QUARN_API int quarn_decode(quarn_context* context, const unsigned char* data, size_t size,
                           double bitrate, int format, unsigned char* pixels, size_t stride,
                           size_t capacity);

#ifdef __cplusplus
}
#endif

#endif /* QUARN_QUARN_H */
