#include "tools/ladder_sheet.h"

#include <algorithm>
#include <cstring>

#include "tools/font.h"

namespace {

constexpr uint8_t kPaper = 255;
constexpr uint8_t kInk = 32;
constexpr int kLineHeight = (kGlyphHeight + 2) * kLabelScale;
constexpr int kLabelTop = 6;  // from the tile's bottom edge to the first line
static_assert(kLabelTop + (kLabelLines - 1) * kLineHeight + kGlyphHeight * kLabelScale <=
                  kLabelStrip,
              "the label lines, descenders included, fit in their strip");

}  // namespace

SheetLayout ladder_layout(int32_t tiles, int32_t tile_width, int32_t tile_height,
                          int label_chars) {
  SheetLayout l;
  l.tiles = tiles;
  l.tile_width = tile_width;
  l.tile_height = tile_height;
  l.column_width =
      std::max(tile_width, text_width(std::string(static_cast<std::size_t>(label_chars), '0'),
                                      kLabelScale));
  l.width = int64_t{tiles} * l.column_width + int64_t{tiles + 1} * kSheetGutter;
  l.height = int64_t{tile_height} + kLabelStrip + 2 * kSheetGutter;
  return l;
}

std::string check_layout(const SheetLayout& l) {
  if (l.width > kMaxSheetPixels / l.height) {
    return "the sheet would be " + std::to_string(l.width) + "x" + std::to_string(l.height) +
           " pixels, more than the " + std::to_string(kMaxSheetPixels) +
           " that ladder builds; use fewer rates or a smaller image";
  }
  return {};
}

RgbImage blank_sheet(const SheetLayout& l) {
  RgbImage sheet;
  sheet.width = static_cast<int32_t>(l.width);
  sheet.height = static_cast<int32_t>(l.height);
  sheet.pixels.assign(static_cast<std::size_t>(l.width * l.height * 3), kPaper);
  return sheet;
}

void place_tile(const SheetLayout& l, int32_t index, const RgbImage& tile,
                const std::vector<std::string>& label, RgbImage* sheet) {
  const int64_t column_left = kSheetGutter + int64_t{index} * (l.column_width + kSheetGutter);
  const int64_t left = column_left + (l.column_width - l.tile_width) / 2;
  const std::size_t row_bytes = static_cast<std::size_t>(l.tile_width) * 3;
  for (int32_t y = 0; y < l.tile_height; ++y) {
    const auto offset = static_cast<std::size_t>(((kSheetGutter + y) * l.width + left) * 3);
    std::memcpy(sheet->pixels.data() + offset,
                tile.pixels.data() + static_cast<std::size_t>(y) * row_bytes, row_bytes);
  }
  const int top = kSheetGutter + l.tile_height + kLabelTop;
  for (std::size_t i = 0; i < label.size() && i < kLabelLines; ++i) {
    draw_text(sheet, static_cast<int>(column_left), top + static_cast<int>(i) * kLineHeight,
              label[i], kLabelScale, kInk);
  }
}
