// The ladder sheet: decoded tiles left to right on a white sheet, an 8-pixel
// gutter around and between them, and under each tile a 74-pixel strip with
// up to three dark label lines. Every column is as wide as the tile or its
// widest label line, whichever is wider; a narrower tile is centred in it.
#ifndef QUARN_TOOLS_LADDER_SHEET_H
#define QUARN_TOOLS_LADDER_SHEET_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/rgb_image.h"

inline constexpr int32_t kSheetGutter = 8;
inline constexpr int32_t kLabelStrip = 74;
inline constexpr int kLabelLines = 3;
inline constexpr int kLabelScale = 2;
// Sheets beyond this many pixels are refused rather than built.
inline constexpr int64_t kMaxSheetPixels = int64_t{1} << 27;

struct SheetLayout {
  int32_t tiles = 0;
  int32_t tile_width = 0;
  int32_t tile_height = 0;
  int32_t column_width = 0;
  int64_t width = 0;
  int64_t height = 0;
};

// The layout for `tiles` tiles of one size whose label lines are at most
// `label_chars` characters long.
SheetLayout ladder_layout(int32_t tiles, int32_t tile_width, int32_t tile_height,
                          int label_chars);

// An empty string when the sheet is small enough to build, else why not.
std::string check_layout(const SheetLayout& layout);

// A white sheet of the layout's size.
RgbImage blank_sheet(const SheetLayout& layout);

// Copies tile `index` into its place and writes its label lines below it.
void place_tile(const SheetLayout& layout, int32_t index, const RgbImage& tile,
                const std::vector<std::string>& label, RgbImage* sheet);

#endif  // QUARN_TOOLS_LADDER_SHEET_H
