// PNG writing, made for speed: the tool writes pictures of up to 8192x8192
// pixels (192 MiB of RGB), and with libpng's defaults (zlib level 6,
// every filter tried on every row) that took ten times as long as decoding
// them.
//
// - Every row is Paeth-filtered (tools/png_filter.h): on decoded photographs
//   it compresses within a few percent of trying every filter, at the cost
//   of one.
// - The filtered rows are coded in bands of about kBandBytes, each by
//   tools/png_deflate.h into deflate blocks of its own, on as many threads
//   as asked. Every band but the last ends at a byte boundary, so the bands
//   in order are one zlib stream and the file is an ordinary PNG. The bands
//   depend only on the picture's width, so the file is the same bytes for
//   every thread count. Files come out 5 to 7% larger than libpng's
//   defaults make them, about as large as zlib's fastest settings do
//   (docs/speed.md).
//
// The container (signature, IHDR, one IDAT chunk per band, IEND) is written
// here; zlib gives the CRCs and the Adler-32 checksum.
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <new>
#include <thread>
#include <vector>

#include "tools/png_deflate.h"
#include "tools/png_filter.h"
#include "tools/png_io.h"

namespace quarn {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// zlib's header for a deflate stream with a 32 KiB window (the coder
// reaches back one byte), marked as coded at the fastest level.
constexpr uint8_t kZlibHeader[2] = {0x78, 0x01};
// Filtered bytes per band: large enough that the block headers and the
// band ends cost about 0.1% of the file, small enough that even a 768x512
// picture gives two threads work.
constexpr std::size_t kBandBytes = std::size_t{1} << 18;
// PNG's limit on sizes and chunk lengths.
constexpr uint64_t kPngMaxValue = 0x7FFFFFFF;
constexpr int32_t kMostThreads = 64;

void put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

struct Picture {
  const uint8_t* pixels;
  std::size_t row_bytes;  // 3 x width, without the filter byte
  int32_t height;
  int32_t rows_per_band;
  int32_t bands;
};

// What one band turns into.
struct Band {
  std::vector<uint8_t> data;  // its deflate bytes; the first band's behind the zlib header
  uint32_t crc = 0;           // CRC-32 of "IDAT" and the data
  uint32_t adler = 1;         // Adler-32 of its filtered bytes
  std::size_t filtered = 0;   // how many there are
};

// One thread's storage, kept from band to band.
class BandCompressor {
 public:
  void compress(const Picture& p, int32_t index, Band* band);

 private:
  std::vector<uint8_t> filtered_;
  std::vector<uint8_t> out_;
  std::vector<uint16_t> tokens_;
};

void BandCompressor::compress(const Picture& p, int32_t index, Band* band) {
  const int32_t first = index * p.rows_per_band;
  const int32_t end = std::min(p.height, first + p.rows_per_band);
  const std::size_t line = p.row_bytes + 1;
  filtered_.resize(static_cast<std::size_t>(end - first) * line);
  for (int32_t y = first; y < end; ++y) {
    const uint8_t* row = p.pixels + static_cast<std::size_t>(y) * p.row_bytes;
    uint8_t* out = filtered_.data() + static_cast<std::size_t>(y - first) * line;
    out[0] = kPngFilterPaeth;
    paeth_filter_row(row, y == 0 ? nullptr : row - p.row_bytes, p.row_bytes, out + 1);
  }
  band->filtered = filtered_.size();
  band->adler = static_cast<uint32_t>(adler32_z(1, filtered_.data(), filtered_.size()));

  const std::size_t header = index == 0 ? sizeof kZlibHeader : 0;
  out_.resize(header + deflate_band_bound(filtered_.size()));
  std::memcpy(out_.data(), kZlibHeader, header);
  const std::size_t coded = deflate_band(filtered_.data(), filtered_.size(), end == p.height,
                                         out_.data() + header, &tokens_);
  band->data.assign(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(header + coded));
  static constexpr uint8_t kIdat[4] = {'I', 'D', 'A', 'T'};
  band->crc =
      static_cast<uint32_t>(crc32_z(crc32_z(0, kIdat, 4), band->data.data(), band->data.size()));
}

// Runs task(band, slot) for every band on up to `threads` threads, the
// calling thread among them as slot 0; `slot` tells the threads apart. The
// calling thread reports the share of bands done as it finishes each of
// its own. False when a task ran out of memory.
template <class Task>
bool run_bands(int32_t bands, int32_t threads, WriteProgress progress, Task task) {
  std::atomic<int32_t> next{0};
  std::atomic<int32_t> finished{0};
  std::atomic<bool> failed{false};
  const auto work = [&](int32_t slot) {
    try {
      for (int32_t b = next++; b < bands && !failed; b = next++) {
        task(b, slot);
        const int32_t done = ++finished;
        if (slot == 0 && progress.report != nullptr) {
          progress.report(progress.user, static_cast<double>(done) / bands);
        }
      }
    } catch (const std::bad_alloc&) {
      failed = true;
    }
  };
  std::vector<std::thread> helpers;
  for (int32_t slot = 1; slot < threads; ++slot) {
    try {
      helpers.emplace_back(work, slot);
    } catch (const std::exception&) {
      break;  // fewer threads, same bytes
    }
  }
  work(0);
  for (std::thread& t : helpers) t.join();
  if (!failed && progress.report != nullptr) progress.report(progress.user, 1.0);
  return !failed;
}

void append_chunk_start(std::vector<uint8_t>* file, std::size_t length, const char* type) {
  uint8_t head[8];
  put32(head, static_cast<uint32_t>(length));
  std::memcpy(head + 4, type, 4);
  file->insert(file->end(), head, head + 8);
}

void append32(std::vector<uint8_t>* file, uint32_t v) {
  uint8_t bytes[4];
  put32(bytes, v);
  file->insert(file->end(), bytes, bytes + 4);
}

std::string write(const Picture& p, int32_t width, int32_t threads, WriteProgress progress,
                  std::vector<uint8_t>* file) {
  std::vector<Band> bands(static_cast<std::size_t>(p.bands));
  std::vector<BandCompressor> compressors(static_cast<std::size_t>(threads));
  const bool done = run_bands(p.bands, threads, progress, [&](int32_t b, int32_t slot) {
    compressors[static_cast<std::size_t>(slot)].compress(p, b, &bands[static_cast<std::size_t>(b)]);
  });
  compressors.clear();
  if (!done) return "out of memory";

  uint32_t adler = 1;
  std::size_t total = sizeof kSignature + 25 + 12;
  for (const Band& band : bands) {
    adler = static_cast<uint32_t>(
        adler32_combine(adler, band.adler, static_cast<z_off_t>(band.filtered)));
    total += band.data.size() + 12;
    if (band.data.size() + 4 > kPngMaxValue) return "a band is too large for a PNG chunk";
  }
  file->clear();
  file->reserve(total + 4);
  file->insert(file->end(), kSignature, kSignature + sizeof kSignature);

  uint8_t ihdr[17] = {'I', 'H', 'D', 'R'};
  put32(ihdr + 4, static_cast<uint32_t>(width));
  put32(ihdr + 8, static_cast<uint32_t>(p.height));
  ihdr[12] = 8;  // bits per sample
  ihdr[13] = 2;  // RGB; deflate, adaptive filtering and no interlace are zeros
  append_chunk_start(file, 13, "IHDR");
  file->insert(file->end(), ihdr + 4, ihdr + 17);
  append32(file, static_cast<uint32_t>(crc32_z(0, ihdr, sizeof ihdr)));

  for (std::size_t i = 0; i < bands.size(); ++i) {
    Band& band = bands[i];
    const bool last = i + 1 == bands.size();
    append_chunk_start(file, band.data.size() + (last ? 4 : 0), "IDAT");
    file->insert(file->end(), band.data.begin(), band.data.end());
    if (last) {
      // The zlib stream's checksum closes the last chunk.
      uint8_t trailer[4];
      put32(trailer, adler);
      file->insert(file->end(), trailer, trailer + 4);
      band.crc = static_cast<uint32_t>(crc32_z(band.crc, trailer, 4));
    }
    append32(file, band.crc);
    std::vector<uint8_t>().swap(band.data);  // copied: freed at once
  }
  static constexpr uint8_t kIend[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  file->insert(file->end(), kIend, kIend + sizeof kIend);
  return {};
}

}  // namespace

std::string write_png(const RgbImage& image, std::vector<uint8_t>* file, int32_t threads,
                      WriteProgress progress) {
  return write_png(image.width, image.height, image.pixels.data(), file, threads, progress);
}

std::string write_png(int32_t width, int32_t height, const uint8_t* pixels,
                      std::vector<uint8_t>* file, int32_t threads, WriteProgress progress) {
  file->clear();
  if (width <= 0 || height <= 0) return "cannot write PNG: the image is empty";
  // A band holds at least one row, whose filtered bytes zlib takes in one go.
  if (static_cast<uint64_t>(width) * 3 + 1 > kPngMaxValue / 2) {
    return "cannot write PNG: the image is too wide";
  }
  Picture p{};
  p.pixels = pixels;
  p.row_bytes = static_cast<std::size_t>(width) * 3;
  p.height = height;
  p.rows_per_band = static_cast<int32_t>(
      std::clamp<std::size_t>(kBandBytes / (p.row_bytes + 1), 1, static_cast<std::size_t>(height)));
  p.bands = (height - 1) / p.rows_per_band + 1;
  if (threads <= 0) threads = static_cast<int32_t>(std::thread::hardware_concurrency());
  threads = std::clamp(threads, 1, std::min(kMostThreads, p.bands));
  std::string problem;
  try {
    problem = write(p, width, threads, progress, file);
  } catch (const std::bad_alloc&) {
    problem = "out of memory";
  }
  if (!problem.empty()) {
    std::vector<uint8_t>().swap(*file);
    return "cannot write PNG: " + problem;
  }
  return {};
}

}  // namespace quarn
