// The same picture in every file layout the tool reads: PNG of each colour
// type and bit depth (palette with and without tRNS, interlaced or not) and
// binary PNM/PAM with several maxvals, each paired with the 8-bit RGB image
// it stands for. 16-bit samples are v * 257, the image an 8-bit v stands
// for, unless the variant says otherwise.
#ifndef QUARN_TESTS_IMAGE_VARIANTS_H
#define QUARN_TESTS_IMAGE_VARIANTS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/png_writer.h"
#include "tools/rgb_image.h"

namespace quarn {

struct ImageVariant {
  std::string name;
  std::vector<uint8_t> file;
  RgbImage equivalent;
};

namespace variants_detail {

using Sample = std::function<uint16_t(std::size_t pixel, int channel)>;

inline RgbImage map_pixels(const RgbImage& base, const std::function<uint8_t(std::size_t, int)>& f) {
  RgbImage out = base;
  for (std::size_t p = 0; p < out.pixels.size() / 3; ++p) {
    for (int c = 0; c < 3; ++c) out.pixels[3 * p + c] = f(p, c);
  }
  return out;
}

inline std::vector<uint16_t> samples(const RgbImage& base, int channels, const Sample& f) {
  std::vector<uint16_t> s;
  for (std::size_t p = 0; p < base.pixels.size() / 3; ++p) {
    for (int c = 0; c < channels; ++c) s.push_back(f(p, c));
  }
  return s;
}

inline uint16_t alpha_of(std::size_t pixel) { return static_cast<uint16_t>(pixel * 37 % 256); }

// A palette of levels[0] x levels[1] x levels[2] evenly spaced colours.
struct Quantiser {
  int levels[3];
  int size() const { return levels[0] * levels[1] * levels[2]; }
  int level(uint8_t v, int c) const { return (v * (levels[c] - 1) + 127) / 255; }
  uint8_t value(int level, int c) const {
    return static_cast<uint8_t>(levels[c] == 1 ? 128 : level * 255 / (levels[c] - 1));
  }
  int index(const uint8_t* px) const {
    return (level(px[0], 0) * levels[1] + level(px[1], 1)) * levels[2] + level(px[2], 2);
  }
  std::vector<png_color> palette() const {
    std::vector<png_color> p;
    for (int r = 0; r < levels[0]; ++r) {
      for (int g = 0; g < levels[1]; ++g) {
        for (int b = 0; b < levels[2]; ++b) p.push_back({value(r, 0), value(g, 1), value(b, 2)});
      }
    }
    return p;
  }
};

inline std::vector<uint8_t> pnm_file(const std::string& header, const RgbImage& base, int channels,
                                     int bytes, const Sample& f) {
  std::vector<uint8_t> file(header.begin(), header.end());
  for (const uint16_t v : samples(base, channels, f)) {
    if (bytes == 2) file.push_back(static_cast<uint8_t>(v >> 8));
    file.push_back(static_cast<uint8_t>(v));
  }
  return file;
}

}  // namespace variants_detail

inline std::vector<ImageVariant> image_variants(const RgbImage& base) {
  using namespace variants_detail;
  const auto w = static_cast<uint32_t>(base.width);
  const auto h = static_cast<uint32_t>(base.height);
  const auto& px = base.pixels;
  // Samples of a layout, one letter per channel: r, g, b, y (grey: the
  // green channel) or a (alpha); times 257 for 16-bit samples.
  const auto channels_of = [&](const std::string& channels, int scale) -> Sample {
    return [&, channels, scale](std::size_t p, int c) {
      const char k = channels[static_cast<std::size_t>(c)];
      const int v = k == 'a' ? alpha_of(p) : px[3 * p + (k == 'r' ? 0 : k == 'b' ? 2 : 1)];
      return static_cast<uint16_t>(v * scale);
    };
  };
  const Sample rgb8 = channels_of("rgb", 1), rgb16 = channels_of("rgb", 257);
  const Sample rgba8 = channels_of("rgba", 1), rgba16 = channels_of("rgba", 257);
  const Sample grey8 = channels_of("y", 1), grey16 = channels_of("y", 257);
  const Sample grey_alpha8 = channels_of("ya", 1), grey_alpha16 = channels_of("ya", 257);
  // Grey pictures take the green channel.
  const auto grey_bits = [&](int depth) {
    const int top = (1 << depth) - 1;
    return map_pixels(base, [&, top](std::size_t p, int) {
      return static_cast<uint8_t>((px[3 * p + 1] * top + 127) / 255 * (255 / top));
    });
  };
  const RgbImage grey = grey_bits(8);
  const auto grey_sample = [&](int depth) -> Sample {
    const int top = (1 << depth) - 1;
    return [&, top](std::size_t p, int) { return static_cast<uint16_t>((px[3 * p + 1] * top + 127) / 255); };
  };
  const auto quantised = [&](const Quantiser& q) {
    return map_pixels(base, [&, q](std::size_t p, int c) {
      return q.value(q.level(px[3 * p + c], c), c);
    });
  };
  const auto indices = [&](const Quantiser& q) -> Sample {
    return [&, q](std::size_t p, int) { return static_cast<uint16_t>(q.index(&px[3 * p])); };
  };
  // `trns`: a tRNS chunk naming sample value 0.
  const auto png = [&](int type, int depth, const Sample& f, bool interlaced = false,
                       bool trns = false) {
    PngLayout layout;
    layout.colour_type = type;
    layout.depth = depth;
    layout.interlaced = interlaced;
    layout.grey_or_rgb_trns = trns;
    return write_png_file(layout, w, h, samples(base, png_channels(type), f));
  };
  const auto palette_png = [&](const Quantiser& q, int depth, bool with_trns) {
    PngLayout layout;
    layout.colour_type = PNG_COLOR_TYPE_PALETTE;
    layout.depth = depth;
    layout.palette = q.palette();
    if (with_trns) {
      for (int i = 0; i < q.size(); ++i) layout.palette_alpha.push_back(static_cast<uint8_t>(i * 41));
    }
    return write_png_file(layout, w, h, samples(base, 1, indices(q)));
  };
  const std::string size = std::to_string(w) + " " + std::to_string(h);
  const std::string pam_size = "WIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) + "\n";
  const Quantiser q216{{6, 6, 6}}, q16{{2, 4, 2}}, q4{{1, 2, 2}}, q2{{1, 2, 1}};

  std::vector<ImageVariant> v;
  v.push_back({"png_rgb8", png(PNG_COLOR_TYPE_RGB, 8, rgb8), base});
  v.push_back({"png_rgb8_interlaced", png(PNG_COLOR_TYPE_RGB, 8, rgb8, true), base});
  v.push_back({"png_rgb8_trns", png(PNG_COLOR_TYPE_RGB, 8, rgb8, false, true), base});
  v.push_back({"png_rgb16", png(PNG_COLOR_TYPE_RGB, 16, rgb16), base});
  // Only the high byte of a 16-bit sample counts.
  v.push_back({"png_rgb16_low_bytes",
               png(PNG_COLOR_TYPE_RGB, 16,
                   [&](std::size_t p, int c) {
                     return static_cast<uint16_t>(px[3 * p + c] * 256 + (p * 7 + c * 85) % 256);
                   }),
               base});
  v.push_back({"png_rgba8", png(PNG_COLOR_TYPE_RGB_ALPHA, 8, rgba8), base});
  v.push_back({"png_rgba16", png(PNG_COLOR_TYPE_RGB_ALPHA, 16, rgba16), base});
  v.push_back({"png_rgba16_interlaced", png(PNG_COLOR_TYPE_RGB_ALPHA, 16, rgba16, true), base});
  v.push_back({"png_grey1", png(PNG_COLOR_TYPE_GRAY, 1, grey_sample(1)), grey_bits(1)});
  v.push_back({"png_grey2", png(PNG_COLOR_TYPE_GRAY, 2, grey_sample(2)), grey_bits(2)});
  v.push_back({"png_grey4", png(PNG_COLOR_TYPE_GRAY, 4, grey_sample(4)), grey_bits(4)});
  v.push_back({"png_grey8", png(PNG_COLOR_TYPE_GRAY, 8, grey8), grey});
  v.push_back({"png_grey8_trns", png(PNG_COLOR_TYPE_GRAY, 8, grey8, false, true), grey});
  v.push_back({"png_grey16", png(PNG_COLOR_TYPE_GRAY, 16, grey16), grey});
  v.push_back({"png_grey_alpha8", png(PNG_COLOR_TYPE_GRAY_ALPHA, 8, grey_alpha8), grey});
  v.push_back({"png_grey_alpha16", png(PNG_COLOR_TYPE_GRAY_ALPHA, 16, grey_alpha16), grey});
  v.push_back({"png_palette8", palette_png(q216, 8, false), quantised(q216)});
  v.push_back({"png_palette8_trns", palette_png(q216, 8, true), quantised(q216)});
  v.push_back({"png_palette4", palette_png(q16, 4, false), quantised(q16)});
  v.push_back({"png_palette2_trns", palette_png(q4, 2, true), quantised(q4)});
  v.push_back({"png_palette1", palette_png(q2, 1, false), quantised(q2)});

  v.push_back({"p6_255", pnm_file("P6\n" + size + "\n255\n", base, 3, 1, rgb8), base});
  v.push_back({"p6_65535", pnm_file("P6 " + size + " 65535\n", base, 3, 2, rgb16), base});
  v.push_back({"p6_1023_comments",
               pnm_file("P6\n# made by a test\n" + size + " # size\n1023\n", base, 3, 2,
                        [&](std::size_t p, int c) {
                          return static_cast<uint16_t>((px[3 * p + c] * 1023 + 127) / 255);
                        }),
               base});
  v.push_back({"p5_255", pnm_file("P5\n" + size + "\n255\n", base, 1, 1, grey8), grey});
  v.push_back({"p5_15", pnm_file("P5\n" + size + "\n15\n", base, 1, 1, grey_sample(4)), grey_bits(4)});
  v.push_back({"pam_grey", pnm_file("P7\n" + pam_size + "DEPTH 1\nMAXVAL 255\nTUPLTYPE GRAYSCALE\nENDHDR\n",
                                    base, 1, 1, grey8), grey});
  v.push_back({"pam_grey_alpha16",
               pnm_file("P7\n# comment\n" + pam_size + "DEPTH 2\nMAXVAL 65535\nENDHDR\n", base, 2, 2,
                        grey_alpha16), grey});
  v.push_back({"pam_rgb", pnm_file("P7\n" + pam_size + "DEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n",
                                   base, 3, 1, rgb8), base});
  v.push_back({"pam_rgba", pnm_file("P7\n" + pam_size + "DEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                                    base, 4, 1, rgba8), base});
  v.push_back({"pam_rgba16", pnm_file("P7\n" + pam_size + "DEPTH 4\nMAXVAL 65535\nENDHDR\n",
                                      base, 4, 2, rgba16), base});
  return v;
}

}  // namespace quarn

#endif  // QUARN_TESTS_IMAGE_VARIANTS_H
