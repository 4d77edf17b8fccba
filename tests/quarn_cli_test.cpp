// The quarn tool as users run it: the built binary, real files, pipes, the
// forms of its options, its notes, and every refusal with its exit status
// and its one line on stderr. How it treats its outputs:
// quarn_cli_output_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "codec/stream_header.h"
#include "stream/budget.h"
#include "tests/cli_harness.h"
#include "tests/codec_test_util.h"
#include "tests/image_variants.h"
#include "tests/libpng_reader.h"
#include "tools/png_io.h"
#include "tools/pnm.h"

namespace quarn {

namespace fs = std::filesystem;

namespace {

using namespace cli;

// ---------------------------------------------------------------- happy paths

TEST_F(Cli, EncodeWritesTheSizePrefixAndExactlyBStreamBytes) {
  put_sample("k.png");
  ok("encode k.png k.qrn --bitrate 0.5");
  const std::vector<uint8_t> coded = read_file(at("k.qrn"));
  const int32_t B = stream_bytes(0.5, stream_rate_for(768, 512));
  ASSERT_EQ(coded.size(), static_cast<std::size_t>(B) + kPrefixBytes);
  EXPECT_EQ(std::vector<uint8_t>(coded.begin(), coded.begin() + 5),
            (std::vector<uint8_t>{3, 0, 2, 0, 'n'}));
  // The default rate is 0.5 and the short option works the same.
  ok("encode k.png default.qrn");
  ok("encode -b 0.5 k.png short.qrn");
  EXPECT_EQ(read_file(at("default.qrn")), coded);
  EXPECT_EQ(read_file(at("short.qrn")), coded);
}

TEST_F(Cli, DecodeGivesTheWholeStreamByDefaultAndAPrefixAtALowerRate) {
  put_sample("k.png");
  ok("encode k.png k.qrn -b 0.5");
  ok("decode k.qrn whole.png");
  ok("decode k.qrn same.png -b 0.5");
  ok("decode k.qrn prefix.png -b 0.1");
  const RgbImage original = load_png_file(at("k.png"));
  const RgbImage whole = load_png_file(at("whole.png"));
  const RgbImage prefix = load_png_file(at("prefix.png"));
  ASSERT_EQ(whole.width, 768);
  ASSERT_EQ(whole.height, 512);
  EXPECT_EQ(read_file(at("same.png")), read_file(at("whole.png")));
  EXPECT_GT(psnr(original.pixels, whole.pixels), 35.0);
  EXPECT_LT(psnr(original.pixels, prefix.pixels), psnr(original.pixels, whole.pixels) - 5.0);

  // Asking for more than the stream holds decodes all of it, and says so.
  const Outcome above = ok("decode k.qrn above.png -b 2");
  EXPECT_EQ(read_file(at("above.png")), read_file(at("whole.png")));
  EXPECT_EQ(above.err,
            "quarn: k.qrn: holds 24575 of 98303 stream bytes; decoding that prefix (0.5 bits "
            "per pixel)\n");

  // PPM by extension holds the same pixels.
  ok("decode k.qrn whole.ppm");
  const std::vector<uint8_t> ppm = read_file(at("whole.ppm"));
  const std::string header = "P6\n768 512\n255\n";
  ASSERT_EQ(ppm.size(), header.size() + whole.pixels.size());
  EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + static_cast<std::ptrdiff_t>(header.size())), header);
  EXPECT_TRUE(std::equal(whole.pixels.begin(), whole.pixels.end(),
                         ppm.begin() + static_cast<std::ptrdiff_t>(header.size())));
}

TEST_F(Cli, EveryThreadCountAndInstructionSetGivesTheSameFiles) {
  put_sample("k.png");
  ok("encode k.png k.qrn -b 0.3");
  ok("decode k.qrn k.ppm");
  ok("ladder k.png k-ladder.ppm -r 0.1,0.4");
  for (const char* path : {"--no-simd", "--isa scalar", "--isa=sse2", "--isa avx2",
                           "--isa avx512", "--threads 1", "--threads=2", "--threads 7",
                           "--threads 0 --isa sse2", "--threads 3 --no-simd"}) {
    SCOPED_TRACE(path);
    ok(std::string("encode k.png other.qrn -b 0.3 ") + path);
    EXPECT_EQ(read_file(at("other.qrn")), read_file(at("k.qrn")));
    ok(std::string("decode ") + path + " k.qrn other.ppm");
    EXPECT_EQ(read_file(at("other.ppm")), read_file(at("k.ppm")));
    EXPECT_EQ(ok(std::string("compare k.png k.qrn ") + path).out, ok("compare k.png k.qrn").out);
    ok(std::string("ladder k.png other-ladder.ppm -r 0.1,0.4 ") + path);
    EXPECT_EQ(read_file(at("other-ladder.ppm")), read_file(at("k-ladder.ppm")));
  }
  // Options that cannot be followed, and info, which codes nothing.
  for (const char* bad : {"--threads -1", "--threads 65", "--threads two", "--threads 1.5",
                          "--threads", "--isa neon", "--isa AVX2", "--isa"}) {
    const Outcome run = quarn(std::string("encode k.png bad.qrn ") + bad);
    EXPECT_EQ(run.status, 2) << bad;
    EXPECT_NE(run.err.find("quarn encode: "), std::string::npos) << bad << ": " << run.err;
  }
  EXPECT_EQ(quarn("info k.qrn --no-simd").status, 2);
  EXPECT_EQ(quarn("info k.qrn --threads 2").status, 2);
  EXPECT_EQ(quarn("info k.qrn --isa avx2").status, 2);
}

// The PNG files the tool writes are read back by libpng itself, pixel for
// pixel the PPM's: colour and grey pictures, odd widths, and a ladder sheet.
TEST_F(Cli, PngOutputIsReadBackByLibpng) {
  RgbImage grey = test_picture(57, 33, 2);
  for (std::size_t i = 0; i < grey.pixels.size(); i += 3) {
    grey.pixels[i + 1] = grey.pixels[i + 2] = grey.pixels[i];
  }
  const RgbImage pictures[] = {test_picture(33, 47, 1), grey, test_picture(1023, 35, 3)};
  for (const RgbImage& picture : pictures) {
    SCOPED_TRACE(std::to_string(picture.width) + "x" + std::to_string(picture.height));
    write_png_image(at("in.png"), picture);
    ok("encode in.png in.qrn -b 1.5");
    ok("decode in.qrn out.png");
    ok("decode in.qrn out.ppm");
    int32_t width = 0;
    int32_t height = 0;
    const std::vector<uint8_t> pixels = read_with_libpng(read_file(at("out.png")), &width, &height);
    ASSERT_EQ(width, picture.width);
    ASSERT_EQ(height, picture.height);
    RgbImage ppm;
    ASSERT_EQ(read_pnm(read_file(at("out.ppm")), &ppm), "");
    EXPECT_EQ(pixels, ppm.pixels);
  }
  ok("ladder in.png sheet.png -r 0.1,1");
  int32_t width = 0;
  int32_t height = 0;
  EXPECT_FALSE(read_with_libpng(read_file(at("sheet.png")), &width, &height).empty());
  EXPECT_EQ(width, 8 + 2 * (1023 + 8));
}

// -v gives the coding's time and the whole run's, with the reading and the
// writing; in a file it is plain lines, with no progress line.
TEST_F(Cli, VerboseGivesTheCodingAndTheWholeRun) {
  put_sample("k.png");
  const std::string number = "[0-9]+\\.[0-9]";  // as -v writes times
  const std::string ms = number + " ms";
  const Outcome encoded = ok("encode k.png k.qrn -v");
  EXPECT_TRUE(std::regex_match(
      encoded.err,
      std::regex("quarn: k.png: encoded 768x512 at 0.5 bits per pixel: 24575 stream bytes, "
                 "24579 with the size prefix, in " + ms + "; " + ms + " in all \\(reading " +
                 number + ", writing " + ms + "\\)\n")))
      << encoded.err;
  const Outcome png = ok("decode k.qrn k.png -v");
  EXPECT_TRUE(std::regex_match(
      png.err, std::regex("quarn: k.qrn: decoded 768x512 from 24575 of 24575 stream bytes "
                          "\\(0.5 bits per pixel\\) in " + ms + "; " + ms + " in all \\(reading " +
                          number + ", PNG " + number + ", writing " + ms + "\\)\n")))
      << png.err;
  const Outcome ppm = ok("decode k.qrn k.ppm -v -b 0.25");
  EXPECT_TRUE(std::regex_match(
      ppm.err, std::regex("quarn: k.qrn: decoded 768x512 from 12287 of 24575 stream bytes "
                          "\\(0.25 bits per pixel\\) in " + ms + "; " + ms + " in all \\(reading " +
                          number + ", writing " + ms + "\\)\n")))
      << ppm.err;
  const Outcome ladder = ok("ladder k.png sheet.png -r 0.1,0.5 -v");
  EXPECT_TRUE(std::regex_match(
      ladder.err,
      std::regex("quarn: sheet.png: ladder sheet of 2 tiles, 1560x602; [0-9.]+ ms in all\n")))
      << ladder.err;
  // The whole run is no shorter than its coding.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(png.err, m, std::regex("in ([0-9.]+) ms; ([0-9.]+) ms in all")));
  EXPECT_LE(std::stod(m[1]), std::stod(m[2]));
}

TEST_F(Cli, InfoShowsTheSizeLengthAndHeader) {
  put_sample("k.png");
  ok("encode k.png k.qrn -b 0.25");
  const std::vector<uint8_t> coded = read_file(at("k.qrn"));
  BitReader reader;
  begin_read(reader, coded.data() + kPrefixBytes, coded.size() - kPrefixBytes);
  StreamHeader h;
  read_header(reader, h);

  const std::string out = ok("info k.qrn").out;
  const auto has = [&](const std::string& line) {
    EXPECT_NE(out.find(line + "\n"), std::string::npos) << "missing: " << line << "\n" << out;
  };
  has("size:            768 x 512");
  has("stream bytes:    " + std::to_string(coded.size() - 4) + " (file " +
      std::to_string(coded.size()) + " bytes with the size prefix)");
  has("bits per pixel:  0.24998");
  has("top exponent:    " + std::to_string(h.top_exponent));
  has("means:           " + std::to_string(h.mean_q[0]) + " " + std::to_string(h.mean_q[1]) +
      " " + std::to_string(h.mean_q[2]));
  char row[64];
  std::snprintf(row, sizeof row, " %8.4f %8.4f %8.4f", h.matrix_q[0] * 0.0001 - 1.0,
                h.matrix_q[1] * 0.0001 - 1.0, h.matrix_q[2] * 0.0001 - 1.0);
  has(std::string("colour matrix:  ") + row);
}

// --json: the same fields as one JSON object on one line. Any file name
// makes a valid JSON string: quotes, backslashes and control characters
// escaped, UTF-8 kept, other bytes given as U+FFFD.
TEST_F(Cli, InfoJsonGivesTheSameFieldsAsOneObject) {
  put_sample("k.png");
  ok("encode k.png k.qrn -b 0.25");
  const std::string name = "a \"b\"\\\t\xff\xc3\xa9.qrn";
  fs::copy_file(at("k.qrn"), at(name));
  Child c;
  c.args = {"info", name, "--json"};
  const Outcome json = run(c);
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out,
            "{\"file\": \"a \\\"b\\\"\\\\\\u0009\\ufffd\xc3\xa9.qrn\", \"width\": 768, "
            "\"height\": 512, \"stream_bytes\": 12287, \"file_bytes\": 12291, "
            "\"bits_per_pixel\": 0.24998, \"top_exponent\": 13, \"means\": [122, 110, 76], "
            "\"colour_matrix\": [[0.6100, 0.5732, 0.5472], [-0.7170, 0.1051, 0.6891], "
            "[-0.3375, 0.8126, -0.4751]]}\n");
  // The text gives the same numbers.
  const std::string text = ok("info k.qrn").out;
  EXPECT_NE(text.find("top exponent:    13\nmeans:           122 110 76\ncolour matrix:     0.6100 "
                      "  0.5732   0.5472\n"),
            std::string::npos)
      << text;
}

TEST_F(Cli, CompareReportsPsnrAndTheLargestDifference) {
  put_sample("k.png");
  ok("encode k.png k.qrn -b 0.3");
  ok("decode k.qrn d.png");
  const RgbImage a = load_png_file(at("k.png"));
  const RgbImage b = load_png_file(at("d.png"));
  int largest = 0;
  std::vector<uint8_t> channel_a[3], channel_b[3];
  for (std::size_t i = 0; i < a.pixels.size(); ++i) {
    largest = std::max(largest, std::abs(a.pixels[i] - b.pixels[i]));
    channel_a[i % 3].push_back(a.pixels[i]);
    channel_b[i % 3].push_back(b.pixels[i]);
  }
  char expected[256];
  std::snprintf(expected, sizeof expected,
                "PSNR RGB:            %.2f dB\nPSNR R, G, B:        %.2f %.2f %.2f dB\n"
                "largest difference:  %d\n",
                psnr(a.pixels, b.pixels), psnr(channel_a[0], channel_b[0]),
                psnr(channel_a[1], channel_b[1]), psnr(channel_a[2], channel_b[2]), largest);
  EXPECT_EQ(ok("compare k.png d.png").out, expected);
  // A stream file is decoded in full before it is compared.
  EXPECT_EQ(ok("compare k.png k.qrn").out, expected);
  EXPECT_EQ(ok("compare k.png k.png").out,
            "PSNR RGB:            inf dB\nPSNR R, G, B:        inf inf inf dB\n"
            "largest difference:  0\n");
}

TEST_F(Cli, LadderWritesOneSheetAndATableWhosePsnrRisesWithTheRate) {
  put_sample("k.png");
  const Outcome r = ok("ladder k.png sheet.png --rates 0.5,0.02,0.1");
  // Rates come out in ascending order, each with its prefix length and PSNR.
  std::istringstream table(r.out);
  std::string line;
  std::getline(table, line);
  EXPECT_EQ(line, "       bpp      bytes    PSNR dB");
  const double rates[] = {0.02, 0.1, 0.5};
  double last_psnr = 0.0;
  for (const double rate : rates) {
    ASSERT_TRUE(std::getline(table, line)) << r.out;
    std::istringstream fields(line);
    double bpp = 0.0, db = 0.0;
    int32_t bytes = 0;
    fields >> bpp >> bytes >> db;
    EXPECT_EQ(bpp, rate);
    EXPECT_EQ(bytes, stream_bytes(rate, stream_rate_for(768, 512)));
    EXPECT_GT(db, last_psnr + 1.0) << line;
    last_psnr = db;
  }
  EXPECT_FALSE(std::getline(table, line));

  // Three 768 x 512 tiles with an 8-pixel gutter around and between them
  // and a 74-pixel label strip below.
  const RgbImage sheet = load_png_file(at("sheet.png"));
  EXPECT_EQ(sheet.width, 3 * 768 + 4 * 8);
  EXPECT_EQ(sheet.height, 512 + 74 + 2 * 8);

  // The middle tile is the stream's 0.1 prefix, as decode gives it.
  ok("encode k.png k.qrn -b 0.5");
  ok("decode k.qrn tile.png -b 0.1");
  const RgbImage tile = load_png_file(at("tile.png"));
  const RgbImage placed = crop(sheet, 768, 512, 8 + 768 + 8, 8);
  EXPECT_TRUE(placed.pixels == tile.pixels);
  // Something is written in the label strip under it.
  const RgbImage label = crop(sheet, 768, 74, 8 + 768 + 8, 8 + 512);
  EXPECT_NE(std::count(label.pixels.begin(), label.pixels.end(), 255),
            static_cast<std::ptrdiff_t>(label.pixels.size()));
}

TEST_F(Cli, LadderLeavesOutDefaultRatesTooLowForASmallImage) {
  write_png_image(at("small.png"), crop(load_sample(), 40, 32, 200, 200));
  const Outcome r = ok("ladder small.png sheet.png");
  // 40 x 32 needs at least 0.16875 bits per pixel for its header.
  EXPECT_EQ(r.out.find("0.1 "), std::string::npos);
  EXPECT_NE(r.out.find("\n      0.25 "), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("leaving out 0.02 bits per pixel"), std::string::npos) << r.err;
  const RgbImage sheet = load_png_file(at("sheet.png"));
  // Four tiles (0.25, 0.5, 1, 2), each column as wide as its longest label,
  // "0.25 bits per pixel", and a space: 20 characters of 12 pixels, less the
  // space after the last.
  EXPECT_EQ(sheet.width, 4 * 238 + 5 * 8);
}

TEST_F(Cli, HelpAndVersion) {
  EXPECT_NE(ok("--help").out.find("usage: quarn COMMAND"), std::string::npos);
  for (const std::string command : {"encode", "decode", "info", "compare", "ladder"}) {
    const std::string usage = "usage: quarn " + command;
    EXPECT_EQ(ok(command + " --help").out.rfind(usage, 0), 0u) << command;
    EXPECT_EQ(ok("help " + command).out.rfind(usage, 0), 0u) << command;
  }
  EXPECT_EQ(ok("--version").out, std::string("quarn ") + QUARN_VERSION + "\n");
}

// ------------------------------------------------------ options and notes

TEST_F(Cli, OptionFormsGiveTheSameFile) {
  write_png_image(at("k.png"), crop(load_sample(), 128, 96, 300, 200));
  fs::copy_file(at("k.png"), at("-k.png"));
  ok("encode k.png ref.qrn --bitrate 0.3");
  const std::vector<uint8_t> ref = read_file(at("ref.qrn"));
  for (const std::string form :
       {"encode k.png a.qrn -b0.3", "encode k.png a.qrn --bitrate=0.3", "encode -b 0.3 k.png a.qrn",
        "encode k.png -b ' 0.3' a.qrn", "encode k.png a.qrn -b '0.3 '",
        "encode k.png a.qrn --bitrate=' 0.3 '", "encode -b0.3 -- -k.png a.qrn"}) {
    ok(form);
    EXPECT_EQ(read_file(at("a.qrn")), ref) << form;
    fs::remove(at("a.qrn"));
  }
  // Sizes, lists and formats take them too.
  ok("encode --size=' 1.5k ' k.png a.qrn");
  ok("encode k.png b.qrn --size 1536");
  EXPECT_EQ(fs::file_size(at("a.qrn")), 1536u);
  EXPECT_EQ(read_file(at("a.qrn")), read_file(at("b.qrn")));
  ok("ladder k.png a.png -r '0.1, 0.3 '");
  ok("ladder -r0.1,0.3 k.png b.png");
  EXPECT_EQ(read_file(at("a.png")), read_file(at("b.png")));
  ok("decode ref.qrn a.ppm");
  ok("decode -fppm ref.qrn b.out");
  ok("decode --format=' ppm' ref.qrn c.out");
  EXPECT_EQ(read_file(at("b.out")), read_file(at("a.ppm")));
  EXPECT_EQ(read_file(at("c.out")), read_file(at("a.ppm")));
  // Without "--" a name that starts with "-" is an option; the help says so.
  EXPECT_EQ(quarn("encode -k.png a.qrn").status, 2);
  EXPECT_NE(ok("--help").out.find("\"--\" ends the options"), std::string::npos);
}

// The stream length as the help, the README and the format notes give it
// is the one the tool writes.
TEST_F(Cli, TheDocumentedStreamLengthIsTheOneWritten) {
  put_sample("k.png");
  ok("encode k.png k.qrn -b 0.25");
  EXPECT_EQ(fs::file_size(at("k.qrn")), 12291u);
  const auto words = [](std::string text) {
    std::string out;
    for (const char c : text) {
      if (std::isspace(static_cast<unsigned char>(c))) {
        if (!out.empty() && out.back() != ' ') out += ' ';
      } else {
        out += c;
      }
    }
    return out;
  };
  const fs::path top = fs::path(QUARN_SAMPLE).parent_path().parent_path();
  const std::string help = words(ok("encode --help").out);
  const std::string readme = words(text_of(top / "README.md"));
  const std::string format = words(text_of(top / "docs" / "format.md"));
  EXPECT_NE(help.find("B = R / s rounded down, s = 8 / (width x height) rounded to a float"),
            std::string::npos);
  EXPECT_NE(help.find("0.25 bits per pixel at 768x512 gives 12287 bytes, a file of 12291"),
            std::string::npos);
  EXPECT_NE(readme.find("B = R / s rounded down, s = 8 / (width x height) rounded to a float"),
            std::string::npos);
  EXPECT_NE(readme.find("768 x 512, B is 12287, not 12288, and the file has 12291 bytes"),
            std::string::npos);
  EXPECT_NE(format.find("768 x 512 at 0.25 gives 12287, not 12288"), std::string::npos);
  const float s = static_cast<float>(8.0 / (768.0 * 512.0));
  EXPECT_EQ(static_cast<int32_t>(0.25 / static_cast<double>(s)), 12287);
}

TEST_F(Cli, ACutStreamSaysHowMuchOfItIsLeft) {
  put_sample("k.png");
  ok("encode k.png k.qrn");
  const std::vector<uint8_t> coded = read_file(at("k.qrn"));
  write_bytes(at("cut.qrn"), std::vector<uint8_t>(coded.begin(), coded.begin() + 100));
  const Outcome r = ok("decode cut.qrn asked.png -b 0.5");
  EXPECT_EQ(r.err,
            "quarn: cut.qrn: holds 96 of 24575 stream bytes; decoding that prefix "
            "(0.00196 bits per pixel)\n");
  // What is there is decoded, as the file decodes by itself.
  EXPECT_EQ(ok("decode cut.qrn own.png").err, "");
  EXPECT_EQ(read_file(at("asked.png")), read_file(at("own.png")));
}

// The stream length at which the stream is complete: the number in the note.
int32_t complete_in(const std::string& note) {
  const std::size_t open = note.find(" (");
  return open == std::string::npos ? -1 : std::atoi(note.c_str() + open + 2);
}

std::string rate_in(const std::string& note) {
  const std::size_t end = note.find(" bits per pixel");
  const std::size_t start = note.rfind(' ', end - 1);
  return note.substr(start + 1, end - start - 1);
}

TEST_F(Cli, EncodeSaysOnceWhenTheRateIsMoreThanTheImageNeeds) {
  RgbImage gradient = test_picture(64, 64);
  for (std::size_t i = 0; i < gradient.pixels.size(); ++i) {
    gradient.pixels[i] = static_cast<uint8_t>((i / 3 % 64) * 4);
  }
  write_png_image(at("g.png"), gradient);
  const Outcome r = ok("encode g.png g.qrn -b 16");
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(r.err.rfind("quarn: g.png: the stream is complete at ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("bytes are zero padding"), std::string::npos) << r.err;
  const std::vector<uint8_t> padded = read_file(at("g.qrn"));
  ASSERT_EQ(padded.size(), 4u + 8192u);

  // At the rate it names, the stream is the padded one's beginning, and
  // decodes to the same picture.
  const int32_t complete = complete_in(r.err);
  ASSERT_GT(complete, 0) << r.err;
  EXPECT_EQ(ok("encode g.png whole.qrn -b " + rate_in(r.err)).err, "");
  const std::vector<uint8_t> whole = read_file(at("whole.qrn"));
  ASSERT_EQ(whole.size(), 4u + static_cast<std::size_t>(complete));
  EXPECT_TRUE(std::equal(whole.begin(), whole.end(), padded.begin()));
  ok("decode g.qrn padded.ppm");
  ok("decode whole.qrn whole.ppm");
  EXPECT_EQ(read_file(at("whole.ppm")), read_file(at("padded.ppm")));
  // A photo at an ordinary rate gets no note.
  put_sample("k.png");
  EXPECT_EQ(ok("encode k.png k.qrn -b 1").err, "");
}

// ------------------------------------------------- budgets as people say them

TEST_F(Cli, SizeGivesTheLongestFileThatFits) {
  put_sample("k.png");
  const Outcome r = ok("encode k.png s.qrn --size 10k");
  EXPECT_EQ(r.err.rfind("quarn: k.png: the highest rate that fits in 10240 bytes: ", 0), 0u)
      << r.err;
  EXPECT_NE(r.err.find(" bits per pixel, 10236 stream bytes, 10240 with the size prefix\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(fs::file_size(at("s.qrn")), 10240u);
  // It is the file of the rate it names, which decodes as every file does.
  ok("encode k.png b.qrn -b " + rate_in(r.err));
  EXPECT_EQ(read_file(at("s.qrn")), read_file(at("b.qrn")));
  ok("decode s.qrn s.png");
  ok("decode b.qrn b.png");
  EXPECT_EQ(read_file(at("s.png")), read_file(at("b.png")));
  ok("encode k.png m.qrn --size 0.5M");
  EXPECT_EQ(fs::file_size(at("m.qrn")), 524288u);

  // A picture whose whole stream is shorter gets just that stream.
  RgbImage flat = test_picture(64, 64);
  std::fill(flat.pixels.begin(), flat.pixels.end(), 90);
  write_png_image(at("flat.png"), flat);
  const Outcome f = ok("encode flat.png flat.qrn --size 1M");
  ok("encode flat.png padded.qrn -b 16");
  const std::vector<uint8_t> whole = read_file(at("flat.qrn"));
  const std::vector<uint8_t> padded = read_file(at("padded.qrn"));
  ASSERT_LT(whole.size(), 2000u) << f.err;
  EXPECT_TRUE(std::equal(whole.begin(), whole.end(), padded.begin()));
  for (std::size_t i = whole.size(); i < padded.size(); ++i) ASSERT_EQ(padded[i], 0) << i;
  EXPECT_EQ(f.err.rfind("quarn: flat.png: the whole stream takes less than 1048576 bytes: ", 0),
            0u)
      << f.err;
}

TEST_F(Cli, PsnrGivesTheShortestPrefixThatReachesIt) {
  const RgbImage original = crop(load_sample(), 256, 192, 200, 100);
  write_png_image(at("k.png"), original);
  for (const double target : {29.0, 36.5}) {
    char db[16];
    std::snprintf(db, sizeof db, "%g", target);
    const Outcome r = ok(std::string("encode k.png p.qrn --psnr ") + db);
    EXPECT_EQ(r.err.rfind(std::string("quarn: k.png: the shortest prefix that reaches ") + db +
                              " dB (",
                          0),
              0u)
        << r.err;
    const std::vector<uint8_t> coded = read_file(at("p.qrn"));
    const auto B = static_cast<int32_t>(coded.size()) - 4;
    EXPECT_NE(r.err.find(" " + std::to_string(B) + " stream bytes"), std::string::npos) << r.err;
    // Decoded, the file reaches the target; a byte shorter, it does not.
    const double reached =
        psnr(original.pixels, decode_row(coded, bitrate_for_bytes(256, 192, B)).pixels);
    const std::vector<uint8_t> shorter(coded.begin(), coded.end() - 1);
    const double short_of =
        psnr(original.pixels, decode_row(shorter, bitrate_for_bytes(256, 192, B - 1)).pixels);
    EXPECT_GE(reached, target);
    EXPECT_LT(short_of, target);
    // The rate it names codes a file of that length.
    ok("encode k.png b.qrn -b " + rate_in(r.err));
    EXPECT_EQ(fs::file_size(at("b.qrn")), coded.size());
  }
}

// ------------------------------------------------------------------- pipes

TEST_F(Cli, PipesGiveTheSameBytesAsFiles) {
  put_sample("k.png");
  ok("encode k.png file.qrn -b 0.2");
  ok("encode - - -b 0.2", "k.png", "pipe.qrn");
  EXPECT_EQ(read_file(at("pipe.qrn")), read_file(at("file.qrn")));
  // The same picture as a PPM (coded from the file's own bytes), and through
  // a pipe, which is read in growing steps (1.2 MB).
  write_bytes(at("k.ppm"), write_ppm(load_png_file(at("k.png"))));
  ok("encode k.ppm ppm.qrn -b 0.2");
  EXPECT_EQ(read_file(at("ppm.qrn")), read_file(at("file.qrn")));
  const std::string cat = "cd '" + dir_.string() + "' && cat k.ppm | '" QUARN_BINARY
                          "' encode - ppm_pipe.qrn -b 0.2";
  EXPECT_EQ(std::system(cat.c_str()), 0);
  EXPECT_EQ(read_file(at("ppm_pipe.qrn")), read_file(at("file.qrn")));

  ok("decode file.qrn file.png -b 0.1");
  ok("decode - - -b 0.1", "file.qrn", "pipe.png");
  EXPECT_EQ(read_file(at("pipe.png")), read_file(at("file.png")));
  ok("decode file.qrn file.ppm");
  ok("decode - - --format=ppm", "file.qrn", "pipe.ppm");
  EXPECT_EQ(read_file(at("pipe.ppm")), read_file(at("file.ppm")));

  // Through a pipe from one command to the next.
  const std::string chain = "cd '" + dir_.string() + "' && '" QUARN_BINARY
                            "' encode - - -b 0.2 <k.png | '" QUARN_BINARY "' decode - - >chain.png";
  EXPECT_EQ(std::system(chain.c_str()), 0);
  ok("decode file.qrn whole.png");
  EXPECT_EQ(read_file(at("chain.png")), read_file(at("whole.png")));

  // The ladder's sheet on stdout, its table on stderr.
  ok("ladder k.png file_sheet.png -r 0.05,0.2");
  const Outcome piped = ok("ladder - - -r 0.05,0.2", "k.png", "pipe_sheet.png");
  EXPECT_EQ(read_file(at("pipe_sheet.png")), read_file(at("file_sheet.png")));
  EXPECT_EQ(piped.err.rfind("       bpp", 0), 0u) << piped.err;
  EXPECT_EQ(ok("compare - file.png", "pipe.png").out.rfind("PSNR RGB:            inf dB", 0), 0u);
}

// ------------------------------------------------------- other file kinds

// Every layout reads as its 8-bit RGB image (image_file_test.cpp); the tool
// reads through the same reader, shown here for one of each kind.
TEST_F(Cli, OtherFileKindsEncodeToTheStreamOfTheirEightBitImage) {
  const std::vector<ImageVariant> variants = image_variants(crop(load_sample(), 64, 48, 420, 100));
  for (const std::string name : {"png_rgba16_interlaced", "png_palette2_trns", "p6_1023_comments",
                                  "pam_grey_alpha16"}) {
    const auto v = std::find_if(variants.begin(), variants.end(),
                                [&](const ImageVariant& each) { return each.name == name; });
    ASSERT_NE(v, variants.end()) << name;
    write_bytes(at("variant"), v->file);
    write_png_image(at("rgb8.png"), v->equivalent);
    ok("encode variant variant.qrn -b 1");
    ok("encode rgb8.png rgb8.qrn -b 1");
    const std::vector<uint8_t> stream = read_file(at("rgb8.qrn"));
    EXPECT_EQ(stream.size(), 4u + static_cast<std::size_t>(stream_bytes(1.0, stream_rate_for(64, 48))));
    EXPECT_TRUE(read_file(at("variant.qrn")) == stream) << name;
  }
}

// ---------------------------------------------------------------- refusals

struct Refusal {
  const char* name;
  std::string args;
  int status;
  std::string message;  // the line after "quarn"
  bool message_starts = false;  // true: the line only starts with it
  std::string input = "/dev/null";
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class CliRefusal : public Cli, public ::testing::WithParamInterface<Refusal> {
 protected:
  // The bad files every case draws on, beside a good image and stream.
  void SetUp() override {
    Cli::SetUp();
    const RgbImage sample = load_sample();
    write_png_image(at("good.png"), crop(sample, 64, 48));
    write_png_image(at("other.png"), crop(sample, 48, 64));
    write_png_image(at("tiny.png"), crop(sample, 31, 40));
    RgbImage wide;
    wide.width = 8193;
    wide.height = 32;
    wide.pixels.assign(8193u * 32 * 3, 90);
    write_png_image(at("wide.png"), wide);

    const std::vector<uint8_t> png = read_file(at("good.png"));
    write_bytes(at("truncated.png"), std::vector<uint8_t>(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2)));
    const std::size_t idat = 33;  // the first IDAT, after the signature and IHDR
    std::vector<uint8_t> corrupt = png;
    corrupt[idat + 8 + get32(png, idat)] ^= 0x40;  // its CRC
    write_bytes(at("corrupt.png"), corrupt);
    std::vector<uint8_t> damaged = png;
    damaged[idat + 8 + 10] ^= 0x40;  // its compressed data, CRC made good
    fix_crc(&damaged, idat);
    write_bytes(at("damaged.png"), damaged);
    std::vector<uint8_t> huge = png;  // IHDR claims 100000 x 100000
    put32(&huge, 16, 100000);
    put32(&huge, 20, 100000);
    fix_crc(&huge, 8);
    write_bytes(at("huge.png"), huge);

    const std::string ppm = "P6\n64 48\n255\n" + std::string(64 * 48 * 3 - 10, 'x');
    write_bytes(at("truncated.ppm"), std::vector<uint8_t>(ppm.begin(), ppm.end()));
    const std::string bad_ppm = "P6\n64 forty-eight\n255\n";
    write_bytes(at("corrupt.ppm"), std::vector<uint8_t>(bad_ppm.begin(), bad_ppm.end()));

    ok("encode good.png good.qrn -b 1");
    const std::vector<uint8_t> coded = read_file(at("good.qrn"));
    write_bytes(at("short.qrn"), std::vector<uint8_t>(coded.begin(), coded.begin() + 30));
    std::vector<uint8_t> not_n = coded;
    not_n[4] = 'N';
    write_bytes(at("not_n.qrn"), not_n);
    std::vector<uint8_t> mismatch = coded;
    mismatch[3] = 64;  // the prefix says 64 x 64, the header 64 x 48
    write_bytes(at("mismatch.qrn"), mismatch);
    std::vector<uint8_t> prefix_too_small = coded;
    prefix_too_small[1] = 16;
    write_bytes(at("prefix16.qrn"), prefix_too_small);
  }
};

TEST_P(CliRefusal, ExitsWithItsStatusAndOneLine) {
  const Refusal& c = GetParam();
  const Outcome r = quarn(c.args, c.input);
  EXPECT_FALSE(r.crashed) << r.err;
  EXPECT_EQ(r.status, c.status) << r.err;
  if (c.message_starts) {
    EXPECT_EQ(r.err.rfind("quarn" + c.message, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.back(), '\n');
  } else {
    EXPECT_EQ(r.err, "quarn" + c.message + "\n");
  }
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(fs::exists(at("out.qrn")));
  EXPECT_FALSE(fs::exists(at("out.png")));
}

const std::string kTooLow =
    "bitrate 0.01 is too low to hold the stream header at 64x48; the lowest that works is 0.0703126";

const Refusal kRefusals[] = {
    // Images the codec cannot take.
    {"SmallImage", "encode tiny.png out.qrn", 1, ": tiny.png: image is 31x40; the smallest size is 32x32"},
    {"LargeImage", "encode wide.png out.qrn", 1, ": wide.png: image is 8193x32; the largest size is 8192x8192"},
    {"HugePngHeader", "encode huge.png out.qrn", 1,
     ": huge.png: image is 100000x100000; the largest size is 8192x8192"},
    {"TruncatedPng", "encode truncated.png out.qrn", 1, ": truncated.png: PNG file is truncated"},
    {"TruncatedPngOnStdin", "encode - out.qrn", 1, ": stdin: PNG file is truncated", false, "truncated.png"},
    {"CorruptPng", "encode corrupt.png out.qrn", 1, ": corrupt.png: damaged PNG: IDAT: CRC error"},
    {"DamagedPngData", "encode damaged.png out.qrn", 1, ": damaged.png: damaged PNG: IDAT: ", true},
    {"TruncatedPnm", "encode truncated.ppm out.qrn", 1,
     ": truncated.ppm: PNM pixel data is truncated (9206 of 9216 bytes)"},
    {"CorruptPnm", "encode corrupt.ppm out.qrn", 1, ": corrupt.ppm: damaged PNM header"},
    {"NotAnImage", "encode good.qrn out.qrn", 1, ": good.qrn: not a PNG, PNM or PAM image"},
    {"MissingInput", "encode missing.png out.qrn", 1, ": missing.png: No such file or directory"},
    {"UnwritableOutput", "encode good.png no/such/dir/out.qrn", 1,
     ": no/such/dir/out.qrn: No such file or directory"},
    // Streams the decoder cannot take.
    {"ShortStream", "decode short.qrn out.png", 1,
     ": short.qrn: coded row is 30 bytes, shorter than its size prefix and header (31 bytes)"},
    {"FirstByteNotN", "decode not_n.qrn out.png", 1, ": not_n.qrn: invalid < Decoder > file: the stream does not start with the byte \"n\""},
    {"HeaderDisagreesWithPrefix", "decode mismatch.qrn out.png", 1,
     ": mismatch.qrn: stream header says 64x48 but its size prefix says 64x64"},
    {"PrefixOutOfRange", "decode prefix16.qrn out.png", 1,
     ": prefix16.qrn: size prefix: image is 16x48; the smallest size is 32x32"},
    {"InfoOnShortStream", "info short.qrn", 1,
     ": short.qrn: coded row is 30 bytes, shorter than its size prefix and header (31 bytes)"},
    {"InfoOnAnImage", "info good.png", 1, ": good.png: this is an image file, not a coded stream"},
    {"CompareOnBadStream", "compare good.png not_n.qrn", 1,
     ": not_n.qrn: neither an image nor a coded stream: invalid < Decoder > file: the stream does not start with the byte \"n\""},
    {"CompareDifferentSizes", "compare good.png other.png", 1, ": other.png: image is 48x64 but good.png is 64x48"},
    // Bitrates.
    {"BitrateNaN", "encode good.png out.qrn -b nan", 2,
     " encode: bitrate is not a finite number (see 'quarn encode --help')"},
    {"BitrateInfinite", "encode good.png out.qrn --bitrate inf", 2,
     " encode: bitrate is not a finite number (see 'quarn encode --help')"},
    {"BitrateZero", "encode good.png out.qrn -b 0", 2,
     " encode: bitrate 0 is not positive (see 'quarn encode --help')"},
    {"BitrateNegative", "decode good.qrn out.png -b -1", 2,
     " decode: bitrate -1 is not positive (see 'quarn decode --help')"},
    {"BitrateAbsurd", "encode good.png out.qrn -b 1e9", 2,
     " encode: bitrate 1e+09 is above the largest, 64 bits per pixel (see 'quarn encode --help')"},
    {"BitrateNotANumber", "encode good.png out.qrn -b fast", 2,
     " encode: bitrate 'fast' is not a number (see 'quarn encode --help')"},
    {"BadRateInList", "ladder good.png out.png -r 0.1,,1", 2,
     " ladder: bitrate '' is not a number (see 'quarn ladder --help')"},
    {"EncodeBitrateTooLow", "encode good.png out.qrn -b 0.01", 1, ": good.png: " + kTooLow},
    {"DecodeBitrateTooLow", "decode good.qrn out.png -b 0.01", 1, ": good.qrn: " + kTooLow},
    {"LadderBitrateTooLow", "ladder good.png out.png -r 0.01,1", 1, ": good.png: " + kTooLow},
    // Command lines.
    {"NoCommand", "", 2, ": no command given (see 'quarn --help')"},
    {"UnknownCommand", "squash good.png", 2, ": unknown command 'squash' (see 'quarn --help')"},
    {"MissingFile", "encode good.png", 2,
     " encode: expected 2 file names, got 1 (see 'quarn encode --help')"},
    {"ExtraFile", "info good.qrn good.qrn", 2,
     " info: expected 1 file name, got 2 (see 'quarn info --help')"},
    {"OptionOfAnotherCommand", "encode good.png out.qrn --rates 1", 2,
     " encode: unknown option --rates (see 'quarn encode --help')"},
    {"MissingValue", "decode good.qrn out.png -b", 2,
     " decode: option -b needs a value (see 'quarn decode --help')"},
    {"UnknownOutputFormat", "decode good.qrn out.jpg", 2,
     " decode: cannot tell the format of 'out.jpg': name it .png or .ppm, or use --format "
     "(see 'quarn decode --help')"},
    {"BadFormatName", "decode good.qrn out.png -f gif", 2,
     " decode: format 'gif' is neither png nor ppm (see 'quarn decode --help')"},
    {"TwoStdins", "compare - -", 2, " compare: only one file can be stdin (see 'quarn compare --help')"},
    {"FlagWithAValue", "encode good.png out.qrn -vx", 2,
     " encode: unknown option -vx (see 'quarn encode --help')"},
    {"TwoBudgets", "encode good.png out.qrn -b 1 --size 2k", 2,
     " encode: give only one of --bitrate, --size and --psnr (see 'quarn encode --help')"},
    {"SizeNotABytes", "encode good.png out.qrn --size 10x", 2,
     " encode: size '10x' is not a number of bytes (such as 20000, 20k or 1.5M) "
     "(see 'quarn encode --help')"},
    {"SizeZero", "encode good.png out.qrn --size 0k", 2,
     " encode: size '0k' is not a positive number of bytes (see 'quarn encode --help')"},
    {"SizeForDecode", "decode good.qrn out.png --size 2k", 2,
     " decode: unknown option --size (see 'quarn decode --help')"},
    {"PsnrInfinite", "encode good.png out.qrn --psnr inf", 2,
     " encode: PSNR 'inf' is not a finite, positive number of dB (see 'quarn encode --help')"},
    {"SizeTooSmall", "encode good.png out.qrn --size 30", 1,
     ": good.png: a file of 30 bytes cannot hold the stream header at 64x48; the smallest is 31 "
     "bytes"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CliRefusal, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& info) { return info.param.name; });

TEST_F(CliRefusal, TheLowestRateItNamesWorks) {
  const std::string err = quarn("encode good.png out.qrn -b 0.05").err;
  const std::string lowest = err.substr(err.rfind(' ') + 1, err.size() - err.rfind(' ') - 2);
  ok("encode good.png out.qrn -b " + lowest);
  EXPECT_EQ(read_file(at("out.qrn")).size(), 4u + kHeaderBytes);
  ok("decode out.qrn out.png");
  ok("decode good.qrn out.png -b " + lowest);
}

// Whatever follows a valid header, decoding ends normally.
TEST_F(CliRefusal, DecodesAnyBytesBehindAValidHeader) {
  std::vector<uint8_t> coded = read_file(at("good.qrn"));
  uint32_t state = 12345;
  for (int round = 0; round < 4; ++round) {
    for (std::size_t i = 4 + kHeaderBytes; i < coded.size(); ++i) {
      state = state * 1103515245u + 12345u;
      coded[i] = static_cast<uint8_t>(state >> 16);
    }
    // Header fields beyond the size take any value too.
    for (std::size_t i = 9; i < 4 + kHeaderBytes; ++i) coded[i] ^= static_cast<uint8_t>(round * 77);
    write_bytes(at("noise.qrn"), coded);
    ok("decode noise.qrn noise.png");
    ok("info noise.qrn");
  }
}

}  // namespace

}  // namespace quarn
