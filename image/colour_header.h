// The colour parameters as carried in the stream header: the three integer
// means and the colour matrix quantised to 10000 + 10000 x entry.
//
// The encoder and decoder records extend this with the rest of their header
// values; these functions act on whichever record they are given.
#ifndef QUARN_IMAGE_COLOUR_HEADER_H
#define QUARN_IMAGE_COLOUR_HEADER_H

#include <cstdint>

namespace quarn {

class Image_3C;

struct ColourHeader {
  int32_t mean_q[3] = {0, 0, 0};  // 8 bits each in the stream
  int32_t matrix_q[9] = {};       // 16 bits each, row by row
};

// Encoder: header values from the image's means and matrix.
void set_mean_q(ColourHeader& header, const Image_3C& image);
void set_matrix_q(ColourHeader& header, const Image_3C& image);

// A colour matrix entry as the decoder uses it: q x 0.0001 - 1, in double,
// rounded to float.
float matrix_entry(int32_t q);

// Decoder: sets the image up for (rows, cols) with every sample cleared, then
// de-quantises the header values into its means and matrix. `known_zero` as
// for Image_3C::ResetCoefficients.
void load_colour_q(Image_3C& image, const ColourHeader& header, int32_t rows,
                   int32_t cols, bool known_zero = false);

}  // namespace quarn

#endif  // QUARN_IMAGE_COLOUR_HEADER_H
