// The deflate coder of the PNG writer (tools/png_write.cpp): each call codes
// one band of filtered rows as a dynamic Huffman block of literals, with
// runs of a repeated byte as matches at distance 1, and nothing else.
//
// After the Paeth filter a decoded photograph is mostly small differences,
// which a Huffman code of the bytes compresses nearly as well as a search
// for longer matches would, and runs take care of flat areas. zlib codes
// such data at about 70 MB/s a core whatever its settings; this runs
// several times faster. A band that is not the last ends on an empty
// stored block, at a byte boundary, so bands coded apart join into one
// stream.
#ifndef QUARN_TOOLS_PNG_DEFLATE_H
#define QUARN_TOOLS_PNG_DEFLATE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarn {

// The most bytes deflate_band writes for `size` input bytes.
std::size_t deflate_band_bound(std::size_t size);

// Codes `size` bytes as raw deflate data (no zlib header or checksum) into
// `out`, which must hold deflate_band_bound(size) bytes; returns the bytes
// written. `last` marks the stream's final block; other bands end on a byte
// boundary, ready for the next band's data. No match reaches before `in`.
// `tokens` is storage for the coder, kept from one call to the next.
std::size_t deflate_band(const uint8_t* in, std::size_t size, bool last, uint8_t* out,
                         std::vector<uint16_t>* tokens);

}  // namespace quarn

#endif  // QUARN_TOOLS_PNG_DEFLATE_H
