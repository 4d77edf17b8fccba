/* Codes a picture at 0.5 bits per pixel, then decodes half of the file:
   any prefix of a stream decodes, to a coarser picture.
   cc example.c $(pkg-config --cflags --libs quarn) */
#include <quarn/quarn.h>
#include <stdio.h>

int main(void) {
  static unsigned char rgb[256 * 192 * 3]; /* 256 x 192 pixels, RGB */
  for (size_t i = 0; i < sizeof rgb; ++i) rgb[i] = (unsigned char)(i / 3 % 256 + i % 3 * 80);
  unsigned char *file = NULL, *pixels = NULL;
  size_t size = 0;
  int width = 0, height = 0;
  int code = quarn_encode_rgb(rgb, 256, 192, 256 * 3, 0.5, &file, &size);
  if (code == QUARN_OK) code = quarn_decode_rgb(file, size / 2, 0, &pixels, &width, &height);
  printf("%zu bytes; decoded %dx%d from %zu: %s\n", size, width, height, size / 2,
         quarn_error_string(code));
  quarn_free(file);
  quarn_free(pixels);
  return code == QUARN_OK ? 0 : 1;
}
