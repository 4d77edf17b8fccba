// A small bitmap font for the labels on ladder sheets: 5x9 glyphs for the
// digits, the letters a-z and A-Z, and " .,-+:()/%=". Capitals and digits
// stand on the baseline 7 rows high; g, j, p, q, y and the comma reach 2 rows
// below it. Other characters show as a hollow box.
#ifndef QUARN_TOOLS_FONT_H
#define QUARN_TOOLS_FONT_H

#include <cstdint>
#include <string>

#include "tools/rgb_image.h"

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 9;   // rows, descenders included
inline constexpr int kGlyphAdvance = 6;  // glyph plus one column of space

// Width in pixels of `text` drawn at `scale`, without the trailing space.
int text_width(const std::string& text, int scale);

// Draws `text` with its top left corner at (x, y), each font pixel a square
// of `scale` pixels, in grey level `ink`. Pixels outside the image are
// skipped.
void draw_text(RgbImage* image, int x, int y, const std::string& text, int scale,
               uint8_t ink);

#endif  // QUARN_TOOLS_FONT_H
