// The C API (include/quarn/quarn.h) against the codec's own pipelines, and
// against hostile input, failed allocations included: every failure must be
// a code, never the end of the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "quarn/quarn.h"

#if defined(__linux__)
#include <sys/resource.h>
#endif

#include "codec_test_util.h"

namespace quarn {

namespace {

// A coded file through the C API, and the same through encode_image.
std::vector<uint8_t> api_file(const RgbImage& image, double rate) {
  unsigned char* out = nullptr;
  std::size_t size = 0;
  const int code = quarn_encode_rgb(image.pixels.data(), image.width, image.height,
                                    static_cast<std::size_t>(image.width) * 3, rate, &out, &size);
  EXPECT_EQ(code, QUARN_OK) << quarn_error_string(code);
  std::vector<uint8_t> file(out, out + size);
  quarn_free(out);
  return file;
}

std::vector<uint8_t> api_pixels(const std::vector<uint8_t>& file, double rate) {
  unsigned char* rgb = nullptr;
  int w = 0, h = 0;
  const int code = quarn_decode_rgb(file.data(), file.size(), rate, &rgb, &w, &h);
  EXPECT_EQ(code, QUARN_OK) << quarn_error_string(code);
  std::vector<uint8_t> pixels(rgb, rgb + static_cast<std::size_t>(w) * h * 3);
  quarn_free(rgb);
  return pixels;
}

// The library gives the codec's bytes and pixels, for awkward sizes and
// rates; a rate of 0, or one above the stream's, reads the whole stream; a
// prefix at least as long as the header decodes as the prefix that a lower
// rate reads.
TEST(QuarnApi, FilesAndPixelsAreTheCodecs) {
  for (const auto& [w, h, rate] : {std::tuple{32, 32, 0.9}, std::tuple{97, 66, 0.25},
                                   std::tuple{417, 211, 2.0}, std::tuple{256, 40, 0.05}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    const RgbImage image = test_picture(w, h, 7);
    const std::vector<uint8_t> file = api_file(image, rate);
    EXPECT_EQ(file, encode_row(image, rate));
    const std::vector<uint8_t> pixels = api_pixels(file, 0);
    EXPECT_EQ(pixels, decode_row(file, rate).pixels);
    EXPECT_EQ(api_pixels(file, rate), pixels);
    EXPECT_EQ(api_pixels(file, rate * 4), pixels);

    const double half = rate / 2;
    const std::size_t cut = static_cast<std::size_t>(stream_bytes(half, stream_rate_for(w, h)));
    if (cut < static_cast<std::size_t>(kHeaderBytes)) continue;
    const std::vector<uint8_t> prefix(file.begin(), file.begin() + kPrefixBytes + cut);
    EXPECT_EQ(api_pixels(prefix, 0), decode_row(file, half).pixels);
  }
}

// Every byte of a stream after its header may be anything: it decodes.
// A context's thread count changes nothing in what it codes; contexts on
// several threads at once share the library's worker threads.
TEST(QuarnApi, EveryThreadCountAndContextsOnSeveralThreadsGiveTheSameBytes) {
  const RgbImage image = test_picture(333, 217, 4);
  const std::vector<uint8_t> file = encode_row(image, 0.7);
  const std::vector<uint8_t> pixels = decode_row(file, 0.7).pixels;
  auto code = [&](int threads, std::vector<uint8_t>* coded, std::vector<uint8_t>* decoded) {
    quarn_context* context = quarn_context_new();
    ASSERT_NE(context, nullptr);
    if (threads >= 0) {
      ASSERT_EQ(quarn_context_set_threads(context, threads), QUARN_OK);
    }
    coded->assign(file.size() + 64, 0);
    std::size_t size = 0;
    ASSERT_EQ(quarn_encode(context, image.pixels.data(), image.width, image.height,
                           static_cast<std::size_t>(image.width) * 3, QUARN_RGB, 0.7,
                           coded->data(), coded->size(), &size),
              QUARN_OK);
    coded->resize(size);
    decoded->assign(pixels.size(), 0);
    ASSERT_EQ(quarn_decode(context, coded->data(), coded->size(), 0, QUARN_RGB, decoded->data(),
                           static_cast<std::size_t>(image.width) * 3, decoded->size()),
              QUARN_OK);
    quarn_context_free(context);
  };
  for (int threads : {-1, 0, 1, 2, 3, 7, 1000}) {  // -1: as a new context comes
    std::vector<uint8_t> coded, decoded;
    code(threads, &coded, &decoded);
    EXPECT_EQ(coded, file) << threads;
    EXPECT_EQ(decoded, pixels) << threads;
  }
  std::vector<std::vector<uint8_t>> coded(3), decoded(3);
  std::vector<std::thread> callers;
  for (int i = 0; i < 3; ++i) {
    callers.emplace_back([&, i] { code(i == 0 ? 0 : 2, &coded[i], &decoded[i]); });
  }
  for (std::thread& t : callers) t.join();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(coded[i], file);
    EXPECT_EQ(decoded[i], pixels);
  }
}

TEST(QuarnApi, DamagedStreamsBehindTheHeaderStillDecode) {
  std::vector<uint8_t> file = api_file(test_picture(64, 48, 3), 1.0);
  uint32_t state = 5;
  for (std::size_t i = kPrefixBytes + kHeaderBytes; i < file.size(); ++i) {
    file[i] = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
  }
  EXPECT_EQ(api_pixels(file, 0).size(), 64u * 48 * 3);
}

// A context's progress callback: on the calling thread, from 0 up to 1, a
// few times a call, for encoding and decoding alike; the bytes and pixels
// stay the same; a null callback ends the calls.
TEST(QuarnApi, ProgressRisesOnTheCallingThreadToOne) {
  struct Seen {
    std::vector<double> done;
    bool other_thread = false;
    std::thread::id caller = std::this_thread::get_id();
  } seen;
  const auto record = [](void* user, double done) {
    auto* s = static_cast<Seen*>(user);
    s->done.push_back(done);
    s->other_thread |= std::this_thread::get_id() != s->caller;
  };
  const RgbImage image = test_picture(417, 211, 4);
  const std::vector<uint8_t> expected = encode_row(image, 2.0);
  quarn_context* context = quarn_context_new();
  ASSERT_EQ(quarn_context_set_progress(context, record, &seen), QUARN_OK);
  std::vector<uint8_t> file(expected.size() + 64);
  std::size_t size = 0;
  std::vector<uint8_t> pixels(image.pixels.size());
  for (const bool encoding : {true, false}) {
    seen.done.clear();
    if (encoding) {
      ASSERT_EQ(quarn_encode(context, image.pixels.data(), 417, 211, 417 * 3, QUARN_RGB, 2.0,
                             file.data(), file.size(), &size),
                QUARN_OK);
      file.resize(size);
      EXPECT_EQ(file, expected);
    } else {
      ASSERT_EQ(quarn_decode(context, file.data(), file.size(), 0, QUARN_RGB, pixels.data(),
                             417 * 3, pixels.size()),
                QUARN_OK);
      EXPECT_EQ(pixels, decode_row(file, 2.0).pixels);
    }
    SCOPED_TRACE(encoding ? "encoding" : "decoding");
    ASSERT_GE(seen.done.size(), 4u);
    EXPECT_EQ(seen.done.front(), 0.0);
    EXPECT_EQ(seen.done.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(seen.done.begin(), seen.done.end()));
    // The coder's share grows with the rate: at 2 bits per pixel it is
    // neither nothing nor everything.
    EXPECT_GT(seen.done[seen.done.size() - 2], 0.05);
    EXPECT_LT(seen.done[1], 0.95);
  }
  EXPECT_FALSE(seen.other_thread);
  seen.done.clear();
  ASSERT_EQ(quarn_context_set_progress(context, nullptr, nullptr), QUARN_OK);
  ASSERT_EQ(quarn_decode(context, file.data(), file.size(), 0, QUARN_RGB, pixels.data(), 417 * 3,
                         pixels.size()),
            QUARN_OK);
  EXPECT_TRUE(seen.done.empty());
  quarn_context_free(context);
}

// A coding that ends before its budget says where the stream is whole: the
// file's prefix up to there decodes to the same pixels, and zeros follow. A
// coding that the budget cuts, and a failed call, give 0.
TEST(QuarnApi, CompleteSizeMarksWhereTheStreamIsWhole) {
  quarn_context* context = quarn_context_new();
  ASSERT_NE(context, nullptr);
  RgbImage flat = test_picture(64, 48);
  std::fill(flat.pixels.begin(), flat.pixels.end(), 90);
  std::vector<uint8_t> out(64 * 48 * 8 + 128);
  std::size_t size = 0;
  const auto encode = [&](double rate) {
    return quarn_encode(context, flat.pixels.data(), 64, 48, 64 * 3, QUARN_RGB, rate, out.data(),
                        out.size(), &size);
  };
  ASSERT_EQ(encode(64.0), QUARN_OK);
  const std::size_t complete = quarn_context_complete_size(context);
  ASSERT_GT(complete, 31u);
  ASSERT_LT(complete, size);
  const std::vector<uint8_t> file(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size));
  const std::vector<uint8_t> whole(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(complete));
  EXPECT_EQ(api_pixels(whole, 0), api_pixels(file, 0));
  EXPECT_TRUE(std::all_of(file.begin() + static_cast<std::ptrdiff_t>(complete), file.end(),
                          [](uint8_t b) { return b == 0; }));

  ASSERT_EQ(encode(0.1), QUARN_OK);
  EXPECT_EQ(quarn_context_complete_size(context), 0u);
  ASSERT_EQ(encode(64.0), QUARN_OK);
  EXPECT_EQ(encode(-1.0), QUARN_ERROR_BITRATE);
  EXPECT_EQ(quarn_context_complete_size(context), 0u);
  quarn_context_free(context);
}

// A refusal through a context says why in one line; a stream that does not
// start with "n" gets the decoder's own text.
TEST(QuarnApi, ContextsSayWhyTheyRefuse) {
  std::vector<uint8_t> file = encode_row(test_picture(64, 64), 0.5);
  file[kPrefixBytes] = 'm';
  quarn_context* context = quarn_context_new();
  ASSERT_NE(context, nullptr);
  quarn_info info;
  std::vector<uint8_t> pixels(64 * 64 * 3);
  EXPECT_EQ(quarn_context_read_info(context, file.data(), file.size(), &info), QUARN_ERROR_STREAM);
  const std::string said = quarn_context_message(context);
  EXPECT_EQ(said.rfind("invalid < Decoder > file", 0), 0u) << said;
  EXPECT_EQ(said.find('\n'), std::string::npos);
  EXPECT_EQ(quarn_decode(context, file.data(), file.size(), 0, QUARN_RGB, pixels.data(), 192,
                         pixels.size()),
            QUARN_ERROR_STREAM);
  EXPECT_EQ(quarn_context_message(context), said);

  file[kPrefixBytes] = 'n';
  ASSERT_EQ(quarn_context_read_info(context, file.data(), file.size(), &info), QUARN_OK);
  EXPECT_STREQ(quarn_context_message(context), "");
  EXPECT_EQ(info.width, 64);
  EXPECT_EQ(info.stream_bytes, file.size() - kPrefixBytes);
  EXPECT_EQ(quarn_context_read_info(context, file.data(), 30, &info), QUARN_ERROR_STREAM);
  EXPECT_NE(std::string(quarn_context_message(context)), "");
  quarn_context_free(context);
}

// One hostile call and the code it must give.
struct Hostile {
  const char* name;
  int code;
  std::function<int()> call;
};

void PrintTo(const Hostile& h, std::ostream* os) { *os << h.name; }

std::vector<Hostile> hostile_calls() {
  static const RgbImage image = test_picture(64, 64);
  static const std::vector<uint8_t> file = encode_row(image, 0.5);
  static const std::vector<uint8_t> tiny(10 * 10 * 3, 128);
  static std::vector<uint8_t> out(file.size() + 64);
  static std::vector<uint8_t> pixels(64 * 64 * 4);
  const auto encode = [](const uint8_t* px, int w, int h, std::size_t stride, int format,
                         double rate, std::size_t capacity) {
    static quarn_context* context = quarn_context_new();
    std::size_t size = 0;
    return quarn_encode(context, px, w, h, stride, format, rate, out.data(), capacity, &size);
  };
  const auto decode = [](std::vector<uint8_t> data, double rate, int format, std::size_t stride,
                         std::size_t capacity) {
    static quarn_context* context = quarn_context_new();
    return quarn_decode(context, data.data(), data.size(), rate, format, pixels.data(), stride,
                        capacity);
  };
  const auto changed = [](std::size_t at, uint8_t value) {
    std::vector<uint8_t> f = file;
    f[at] = value;
    return f;
  };
  const auto cut = [](std::size_t n) {
    return std::vector<uint8_t>(file.begin(), file.begin() + n);
  };
  const uint8_t* px = image.pixels.data();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  return {
      {"Encode10x10", QUARN_ERROR_SIZE,
       [=] { return encode(tiny.data(), 10, 10, 30, QUARN_RGB, 0.5, out.size()); }},
      {"EncodeRgb10x10", QUARN_ERROR_SIZE,
       [] {
         unsigned char* o = nullptr;
         std::size_t s = 0;
         return quarn_encode_rgb(tiny.data(), 10, 10, 30, 8.0, &o, &s);
       }},
      {"EncodeWide", QUARN_ERROR_SIZE,
       [=] { return encode(px, 8193, 64, 8193 * 3, QUARN_RGB, 0.5, out.size()); }},
      {"EncodeNegativeSize", QUARN_ERROR_SIZE,
       [=] { return encode(px, -64, 64, 192, QUARN_RGB, 0.5, out.size()); }},
      {"EncodeNaNRate", QUARN_ERROR_BITRATE,
       [=] { return encode(px, 64, 64, 192, QUARN_RGB, nan, out.size()); }},
      {"EncodeNegativeRate", QUARN_ERROR_BITRATE,
       [=] { return encode(px, 64, 64, 192, QUARN_RGB, -0.5, out.size()); }},
      {"EncodeZeroRate", QUARN_ERROR_BITRATE,
       [=] { return encode(px, 64, 64, 192, QUARN_RGB, 0.0, out.size()); }},
      {"EncodeHugeRate", QUARN_ERROR_BITRATE,
       [=] { return encode(px, 64, 64, 192, QUARN_RGB, 1e300, out.size()); }},
      {"EncodeInfiniteRate", QUARN_ERROR_BITRATE,
       [=] { return encode(px, 64, 64, 192, QUARN_RGB, inf, out.size()); }},
      {"EncodeRateBelowTheHeader", QUARN_ERROR_BITRATE,
       [=] { return encode(px, 64, 64, 192, QUARN_RGB, 0.01, out.size()); }},
      {"EncodeNullPixels", QUARN_ERROR_ARGUMENT,
       [=] { return encode(nullptr, 64, 64, 192, QUARN_RGB, 0.5, out.size()); }},
      {"EncodeShortStride", QUARN_ERROR_ARGUMENT,
       [=] { return encode(px, 64, 64, 191, QUARN_RGB, 0.5, out.size()); }},
      {"EncodeUnknownFormat", QUARN_ERROR_ARGUMENT,
       [=] { return encode(px, 64, 64, 192, 5, 0.5, out.size()); }},
      {"EncodeSmallBuffer", QUARN_ERROR_BUFFER,
       [=] { return encode(px, 64, 64, 192, QUARN_RGB, 0.5, file.size() - 1); }},
      {"EncodeNullContext", QUARN_ERROR_ARGUMENT,
       [=] {
         std::size_t s = 0;
         return quarn_encode(nullptr, px, 64, 64, 192, QUARN_RGB, 0.5, out.data(), out.size(), &s);
       }},
      {"EncodeNullOut", QUARN_ERROR_ARGUMENT,
       [=] { return quarn_encode_rgb(px, 64, 64, 192, 0.5, nullptr, nullptr); }},
      {"EncodedSizeNaN", QUARN_ERROR_BITRATE,
       [=] {
         std::size_t s = 0;
         return quarn_encoded_size(64, 64, nan, &s);
       }},
      {"DecodeWhole", QUARN_OK, [=] { return decode(file, 0, QUARN_RGB, 192, pixels.size()); }},
      {"DecodeEmpty", QUARN_ERROR_STREAM,
       [=] {
         unsigned char* o = nullptr;
         int ww = 0, hh = 0;
         return quarn_decode_rgb(file.data(), 0, 0, &o, &ww, &hh);
       }},
      {"DecodePrefixOnly", QUARN_ERROR_STREAM,
       [=] { return decode(cut(4), 0, QUARN_RGB, 192, pixels.size()); }},
      {"DecodeCutInTheHeader", QUARN_ERROR_STREAM,
       [=] { return decode(cut(30), 0, QUARN_RGB, 192, pixels.size()); }},
      {"DecodeJustTheHeader", QUARN_OK,
       [=] { return decode(cut(31), 0, QUARN_RGB, 192, pixels.size()); }},
      {"DecodeNoN", QUARN_ERROR_STREAM,
       [=] { return decode(changed(4, 'm'), 0, QUARN_RGB, 192, pixels.size()); }},
      {"DecodePrefixDisagrees", QUARN_ERROR_STREAM,
       [=] { return decode(changed(1, 65), 0, QUARN_RGB, 192, pixels.size()); }},
      {"DecodePrefix10x10", QUARN_ERROR_STREAM,
       [=] {
         std::vector<uint8_t> f = changed(1, 10);
         f[3] = 10;
         return decode(f, 0, QUARN_RGB, 192, pixels.size());
       }},
      {"DecodeNaNRate", QUARN_ERROR_BITRATE,
       [=] { return decode(file, nan, QUARN_RGB, 192, pixels.size()); }},
      {"DecodeNegativeRate", QUARN_ERROR_BITRATE,
       [=] { return decode(file, -1.0, QUARN_RGB, 192, pixels.size()); }},
      {"DecodeHugeRate", QUARN_ERROR_BITRATE,
       [=] { return decode(file, 1e300, QUARN_RGB, 192, pixels.size()); }},
      {"DecodeShortStride", QUARN_ERROR_ARGUMENT,
       [=] { return decode(file, 0, QUARN_RGBA, 255, pixels.size()); }},
      {"DecodeSmallBuffer", QUARN_ERROR_BUFFER,
       [=] { return decode(file, 0, QUARN_RGBA, 256, pixels.size() - 1); }},
      {"DecodeNullData", QUARN_ERROR_ARGUMENT,
       [] {
         unsigned char* o = nullptr;
         int ww = 0, hh = 0;
         return quarn_decode_rgb(nullptr, 100, 0, &o, &ww, &hh);
       }},
      {"DecodeNullOut", QUARN_ERROR_ARGUMENT,
       [=] { return quarn_decode_rgb(file.data(), file.size(), 0, nullptr, nullptr, nullptr); }},
      {"DecodeNullPixels", QUARN_ERROR_ARGUMENT,
       [=] {
         quarn_context* c = quarn_context_new();
         const int code = quarn_decode(c, file.data(), file.size(), 0, QUARN_RGB, nullptr, 192, 0);
         quarn_context_free(c);
         return code;
       }},
      {"InfoNull", QUARN_ERROR_ARGUMENT,
       [=] { return quarn_read_info(file.data(), file.size(), nullptr); }},
      {"InfoContextNull", QUARN_ERROR_ARGUMENT,
       [=] {
         quarn_info info;
         return quarn_context_read_info(nullptr, file.data(), file.size(), &info);
       }},
      {"InfoContextNullInfo", QUARN_ERROR_ARGUMENT,
       [=] {
         quarn_context* c = quarn_context_new();
         const int code = quarn_context_read_info(c, file.data(), file.size(), nullptr);
         quarn_context_free(c);
         return code;
       }},
      {"InfoCut", QUARN_ERROR_STREAM,
       [=] {
         quarn_info info;
         return quarn_read_info(file.data(), 30, &info);
       }},
      {"ThreadsNegative", QUARN_ERROR_ARGUMENT,
       [] {
         quarn_context* c = quarn_context_new();
         const int code = quarn_context_set_threads(c, -1);
         quarn_context_free(c);
         return code;
       }},
      {"ThreadsNullContext", QUARN_ERROR_ARGUMENT,
       [] { return quarn_context_set_threads(nullptr, 2); }},
      {"ProgressNullContext", QUARN_ERROR_ARGUMENT,
       [] { return quarn_context_set_progress(nullptr, nullptr, nullptr); }},
  };
}

class QuarnApiHostile : public ::testing::TestWithParam<Hostile> {};

TEST_P(QuarnApiHostile, GivesItsCode) {
  const int code = GetParam().call();
  EXPECT_EQ(code, GetParam().code) << quarn_error_string(code);
  EXPECT_NE(std::string(quarn_error_string(code)), "");
}

INSTANTIATE_TEST_SUITE_P(Calls, QuarnApiHostile, ::testing::ValuesIn(hostile_calls()),
                         [](const auto& info) { return std::string(info.param.name); });

// The address-space cap means nothing under the sanitizers, whose shadow
// memory it would take, nor under an emulator, whose own it counts.
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) && \
    !defined(QUARN_EMULATED)
#if !defined(__has_feature)
#define QUARN_PLAIN_HEAP 1
#elif !__has_feature(address_sanitizer) && !__has_feature(thread_sanitizer)
#define QUARN_PLAIN_HEAP 1
#endif
#endif

#if defined(QUARN_PLAIN_HEAP)
// With the address space capped a little above what the process already
// holds, a large image cannot get its storage: the calls give the memory
// code and the process goes on.
void code_without_memory() {
  const RgbImage image = test_picture(4096, 4096);
  const std::vector<uint8_t> header =
      encode_row(test_picture(4096, 4096, 2), 0.001 + 27.0 * 8 / (4096.0 * 4096));
  long pages = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  const rlimit cap{static_cast<rlim_t>(pages) * 4096 + (rlim_t{96} << 20),
                   static_cast<rlim_t>(pages) * 4096 + (rlim_t{96} << 20)};
  if (pages == 0 || setrlimit(RLIMIT_AS, &cap) != 0) std::exit(2);
  unsigned char* out = nullptr;
  std::size_t size = 0;
  if (quarn_encode_rgb(image.pixels.data(), 4096, 4096, 4096 * 3, 4.0, &out, &size) !=
      QUARN_ERROR_MEMORY) {
    std::exit(3);
  }
  quarn_context* context = quarn_context_new();
  std::vector<uint8_t> small(64 * 64 * 3);
  if (quarn_encode(context, image.pixels.data(), 4096, 4096, 4096 * 3, QUARN_RGB, 0.5, small.data(),
                   small.size(), &size) != QUARN_ERROR_BUFFER) {
    std::exit(4);
  }
  int w = 0, h = 0;
  if (quarn_decode_rgb(header.data(), header.size(), 0, &out, &w, &h) != QUARN_ERROR_MEMORY) {
    std::exit(5);
  }
  // The same context still codes what fits.
  const RgbImage little = test_picture(64, 64);
  std::vector<uint8_t> file(2048);
  if (quarn_encode(context, little.pixels.data(), 64, 64, 192, QUARN_RGB, 0.5, file.data(),
                   file.size(), &size) != QUARN_OK) {
    std::exit(6);
  }
  quarn_context_free(context);
  std::exit(0);
}

TEST(QuarnApiDeathTest, FailedAllocationsGiveTheMemoryCode) {
  EXPECT_EXIT(code_without_memory(), ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace

}  // namespace quarn
