/* The library as a C program sees it: only <quarn/quarn.h>, compiled as C.
   Codes a synthetic picture through every entry, checks that the entries
   agree with each other, and writes the picture (PPM), the coded file and
   the decoded pixels (PPM) when given a folder, so that CTest can compare
   them with the tool's. */
#include <math.h>
#include <quarn/quarn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { W = 97, H = 66 };
static const double kRate = 0.75;
static int failures = 0;

#define CHECK(cond)                                                      \
  do {                                                                   \
    if (!(cond)) {                                                       \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                        \
    }                                                                    \
  } while (0)

static void write_file(const char* folder, const char* name, const char* head,
                       const unsigned char* bytes, size_t size) {
  char path[4096];
  FILE* f;
  snprintf(path, sizeof path, "%s/%s", folder, name);
  f = fopen(path, "wb");
  CHECK(f != NULL);
  if (f == NULL) return;
  if (head != NULL) fputs(head, f);
  CHECK(fwrite(bytes, 1, size, f) == size);
  CHECK(fclose(f) == 0);
}

/* The last share of a call that a progress callback was told. */
static void keep_progress(void* user, double done) { *(double*)user = done; }

int main(int argc, char** argv) {
  unsigned char rgb[W * H * 3];
  unsigned char rgba[(W * 4 + 5) * H];
  unsigned char* file = NULL;
  unsigned char* decoded = NULL;
  size_t file_size = 0;
  size_t need = 0;
  int width = 0;
  int height = 0;
  int x, y, c;
  double error = 0;

  for (y = 0; y < H; ++y) {
    for (x = 0; x < W; ++x) {
      for (c = 0; c < 3; ++c) {
        const int v =
            (int)(127 + 100 * sin(x * 0.11 + c) * cos(y * 0.07 - c)) + (x * y * 7 + c) % 9;
        rgb[(y * W + x) * 3 + c] = (unsigned char)(v < 0 ? 0 : v > 255 ? 255 : v);
        rgba[y * (W * 4 + 5) + x * 4 + c] = rgb[(y * W + x) * 3 + c];
      }
      rgba[y * (W * 4 + 5) + x * 4 + 3] = (unsigned char)(x + y); /* alpha is ignored */
    }
  }

  CHECK(strcmp(quarn_version(), "0.2.0") == 0);
  CHECK(quarn_encoded_size(W, H, kRate, &need) == QUARN_OK);
  CHECK(need == 4 + (size_t)(W * H * kRate / 8));

  /* The allocating pair: a round trip close to the picture. */
  CHECK(quarn_encode_rgb(rgb, W, H, W * 3, kRate, &file, &file_size) == QUARN_OK);
  CHECK(file_size == need);
  CHECK(file != NULL && file[0] == 0 && file[1] == W && file[2] == 0 && file[3] == H &&
        file[4] == 'n');
  CHECK(quarn_decode_rgb(file, file_size, 0, &decoded, &width, &height) == QUARN_OK);
  CHECK(width == W && height == H && decoded != NULL);
  if (decoded != NULL) {
    size_t i;
    for (i = 0; i < sizeof rgb; ++i) error += (rgb[i] - decoded[i]) * (double)(rgb[i] - decoded[i]);
    printf("c_api_test: PSNR %.2f dB\n", 10 * log10(255.0 * 255.0 * sizeof rgb / error));
    CHECK(10 * log10(255.0 * 255.0 * sizeof rgb / error) > 20);
  }

  /* A context, RGBA at a stride, into the caller's buffers: the same file and
     the same pixels, frame after frame. */
  {
    quarn_context* context = quarn_context_new();
    unsigned char out[4096];
    unsigned char pixels[(W * 4 + 5) * H];
    size_t out_size = 0;
    int frame;
    double progress = -1;
    CHECK(context != NULL);
    CHECK(quarn_context_set_threads(context, 1) == QUARN_OK);
    CHECK(quarn_context_set_progress(context, keep_progress, &progress) == QUARN_OK);
    for (frame = 0; frame < 3 && context != NULL; ++frame) {
      memset(pixels, 0xEE, sizeof pixels);
      CHECK(quarn_encode(context, rgba, W, H, W * 4 + 5, QUARN_RGBA, kRate, out, sizeof out,
                         &out_size) == QUARN_OK);
      CHECK(out_size == file_size && memcmp(out, file, out_size) == 0);
      CHECK(quarn_decode(context, out, out_size, kRate, QUARN_RGBA, pixels, W * 4 + 5,
                         sizeof pixels) == QUARN_OK);
      CHECK(strcmp(quarn_context_message(context), "") == 0);
      CHECK(progress == 1.0);
      for (y = 0; y < H && decoded != NULL; ++y) {
        for (x = 0; x < W; ++x) {
          CHECK(memcmp(&pixels[y * (W * 4 + 5) + x * 4], &decoded[(y * W + x) * 3], 3) == 0);
          CHECK(pixels[y * (W * 4 + 5) + x * 4 + 3] == 255);
        }
        CHECK(pixels[y * (W * 4 + 5) + W * 4] == 0xEE); /* between rows: untouched */
      }
    }
    /* This budget cuts the coding short: no padding to mark. */
    CHECK(quarn_context_complete_size(context) == 0);
    /* Failures give a code and say why; the context stays usable. */
    CHECK(quarn_encode(context, rgb, W, H, W * 3, QUARN_RGB, kRate, out, 40, &out_size) ==
          QUARN_ERROR_BUFFER);
    CHECK(strlen(quarn_context_message(context)) > 0);
    CHECK(quarn_decode(context, out, 30, 0, QUARN_RGB, pixels, W * 3, sizeof pixels) ==
          QUARN_ERROR_STREAM);
    out[4] = 'm';
    {
      quarn_info info;
      CHECK(quarn_context_read_info(context, out, out_size, &info) == QUARN_ERROR_STREAM);
      CHECK(strncmp(quarn_context_message(context), "invalid < Decoder > file", 24) == 0);
    }
    quarn_context_free(context);
  }

  /* The header, read without decoding. */
  {
    quarn_info info;
    CHECK(quarn_read_info(file, file_size, &info) == QUARN_OK);
    CHECK(info.width == W && info.height == H && info.stream_bytes == file_size - 4);
    CHECK(info.top_exponent > 0 && info.top_exponent < 32);
    CHECK(info.matrix[0] * info.matrix[0] + info.matrix[1] * info.matrix[1] +
              info.matrix[2] * info.matrix[2] >
          0.99);
  }

  CHECK(strlen(quarn_error_string(QUARN_ERROR_STREAM)) > 0);
  CHECK(strcmp(quarn_error_string(12345), quarn_error_string(-12345)) == 0);

  if (argc > 1 && decoded != NULL) {
    char head[64];
    snprintf(head, sizeof head, "P6\n%d %d\n255\n", W, H);
    write_file(argv[1], "picture.ppm", head, rgb, sizeof rgb);
    write_file(argv[1], "api.qrn", NULL, file, file_size);
    write_file(argv[1], "api.ppm", head, decoded, sizeof rgb);
  }
  quarn_free(file);
  quarn_free(decoded);
  quarn_free(NULL);
  if (failures == 0) printf("c_api_test: every check passed\n");
  return failures == 0 ? 0 : 1;
}
