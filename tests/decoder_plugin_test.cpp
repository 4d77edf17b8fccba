// jit.quarnopen driven through the stand-in host: sizing from the prefix,
// several rows, its own bitrate and a bitrate above the stream's, output
// strides, checks, refused rows, both plug-ins end to end with golden rows
// and pixels and against the quarn tool, and threads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>

#include "codec/stream_header.h"
#include "stream/bit_reader.h"
#include "stream/bit_writer.h"
#include "tests/plugin_harness.h"
#if defined(QUARN_HAVE_IMAGEIO)
#include <unistd.h>

#include "tools/pnm.h"
#endif

namespace quarn {

namespace {

using namespace plugin_test;

class DecoderPlugin : public PluginTest {};

// A coded row of the test picture, made by the codec library.
std::vector<uint8_t> coded_row(int32_t width, int32_t height, double bitrate = 0.5) {
  return encode_row(test_picture(width, height), bitrate, row_cells(width, height, bitrate));
}

// The row with the stream header's size replaced (the prefix is kept).
std::vector<uint8_t> with_header_size(std::vector<uint8_t> row, int32_t width, int32_t height) {
  BitReader r;
  begin_read(r, row.data() + kPrefixBytes, row.size() - kPrefixBytes);
  StreamHeader h;
  read_header(r, h);
  h.width = width;
  h.height = height;
  // Room for the header and the whole word that the writer stores last.
  uint8_t header[kHeaderBytes + 8] = {};
  BitWriter w;
  begin_write(w, header);
  write_header(w, h);
  end_write(w);
  // All but the last header bit lie in the first 26 bytes; that bit is unchanged.
  std::copy(header, header + kHeaderBytes - 1, row.begin() + kPrefixBytes);
  return row;
}

TEST_F(DecoderPlugin, DecodesAnEncoderRowAtItsSize) {
  void* x = instance(kOpen);
  void* out = platform::output_matrix(x);
  EXPECT_EQ(platform::matrix_info(out).planecount, 4);
  const std::vector<uint8_t> row = coded_row(320, 240);
  void* in = matrix(row_matrix({row}));
  ASSERT_EQ(platform::run_frame(x, in), 0);
  const t_jit_matrix_info info = platform::matrix_info(out);
  EXPECT_EQ(info.dim[0], 320);
  EXPECT_EQ(info.dim[1], 240);
  EXPECT_EQ(info.planecount, 4);
  EXPECT_EQ(info.type, _jit_sym_char);
  EXPECT_TRUE(plane0_all_255(out));
  EXPECT_EQ(rgb_of(out), decode_row(row, 0.5).pixels);
  EXPECT_TRUE(platform::take_errors().empty());
}

TEST_F(DecoderPlugin, DecodesTheLastOfSeveralRowsAtItsOwnSize) {
  void* x = instance(kOpen);
  void* out = platform::output_matrix(x);
  const std::vector<uint8_t> first = coded_row(128, 96);
  const std::vector<uint8_t> second = coded_row(64, 80);
  void* in = matrix(row_matrix({first, second}));
  ASSERT_EQ(platform::run_frame(x, in), 0);
  EXPECT_EQ(platform::matrix_info(out).dim[0], 64);
  EXPECT_EQ(platform::matrix_info(out).dim[1], 80);
  // The second row is zero-padded to the first's length.
  std::vector<uint8_t> padded = second;
  padded.resize(first.size(), 0);
  EXPECT_EQ(rgb_of(out), decode_row(padded, 0.5).pixels);
  EXPECT_EQ(rgb_of(out), decode_row(second, 0.5).pixels);
}

TEST_F(DecoderPlugin, LowerBitrateReadsLessOfTheStream) {
  const RgbImage p = test_picture(320, 240);
  const std::vector<uint8_t> row = coded_row(320, 240, 0.5);
  void* in = matrix(row_matrix({row}));
  void* full = instance(kOpen);
  void* coarse = instance(kOpen, "@bitrate 0.25");
  ASSERT_EQ(platform::run_frame(full, in), 0);
  ASSERT_EQ(platform::run_frame(coarse, in), 0);
  const std::vector<uint8_t> fine_rgb = rgb_of(platform::output_matrix(full));
  const std::vector<uint8_t> coarse_rgb = rgb_of(platform::output_matrix(coarse));
  EXPECT_EQ(coarse_rgb, decode_row(row, 0.25).pixels);
  EXPECT_EQ(coarse_rgb, decode_row(coded_row(320, 240, 0.25), 0.25).pixels);
  EXPECT_GT(psnr(p.pixels, fine_rgb), psnr(p.pixels, coarse_rgb) + 1.0);
  EXPECT_GT(psnr(p.pixels, coarse_rgb), 15.0);
  EXPECT_TRUE(platform::take_errors().empty());
}

// A decoder bitrate above the stream's own decodes the whole stream and no
// more: the pixels of the stream's own rate, not zero bits read past its end
// as if they had been coded. The second row is one cell shorter than its
// stream, whose own rate is then that of the bytes it holds.
TEST_F(DecoderPlugin, BitrateAboveTheStreamsDecodesExactlyTheWholeStream) {
  for (const auto& [w, h, rate] : {std::tuple{256, 256, 0.5}, std::tuple{40, 264, 0.7}}) {
    const std::vector<uint8_t> row = coded_row(w, h, rate);
    const double whole =
        bitrate_for_bytes(w, h, static_cast<int32_t>(row.size()) - kPrefixBytes);
    void* in = matrix(row_matrix({row}));
    std::vector<uint8_t> pixels[2];
    for (int twice = 0; twice < 2; ++twice) {
      void* x = instance(kOpen);
      ASSERT_TRUE(platform::set_attribute(x, "bitrate", whole * (1 + twice)));
      ASSERT_EQ(platform::run_frame(x, in), 0);
      pixels[twice] = rgb_of(platform::output_matrix(x));
    }
    EXPECT_EQ(pixels[0], pixels[1]) << w << "x" << h << " at " << rate;
  }
  EXPECT_TRUE(platform::take_errors().empty());
}

TEST_F(DecoderPlugin, FillsRowsAtTheOutputStrideAndLeavesTheRestAlone) {
  void* x = instance(kOpen);
  void* out = platform::output_matrix(x);
  platform::set_row_padding(out, 52);
  t_jit_matrix_info info = platform::matrix_info(out);
  info.dim[0] = 96;
  info.dim[1] = 64;
  jit_object_method(out, _jit_sym_setinfo, &info);
  std::memset(platform::matrix_data(out), 0xA5, platform::matrix_bytes(out));

  const std::vector<uint8_t> row = coded_row(96, 64);
  void* in = matrix(row_matrix({row}));
  ASSERT_EQ(platform::run_frame(x, in), 0);
  info = platform::matrix_info(out);
  ASSERT_EQ(info.dimstride[1], 96 * 4 + 52);
  EXPECT_EQ(rgb_of(out), decode_row(row, 0.5).pixels);
  EXPECT_TRUE(plane0_all_255(out));
  const uint8_t* data = platform::matrix_data(out);
  for (long y = 0; y < 64; ++y) {
    for (long b = 96 * 4; b < info.dimstride[1]; ++b) {
      ASSERT_EQ(data[y * info.dimstride[1] + b], 0xA5) << "row " << y << " byte " << b;
    }
  }
}

TEST_F(DecoderPlugin, MatrixProblemsGiveTheHostCodes) {
  void* x = instance(kOpen);
  void* out = platform::output_matrix(x);
  const std::vector<uint8_t> row = coded_row(320, 240);

  // Four planes: the output is sized from the first row's prefix, then the
  // plane count fails. A float32 row likewise fails on its type.
  void* four = matrix(platform::new_matrix(_jit_sym_char, 4, 1201, 1, 0, "in"));
  std::copy(row.begin(), row.end(), platform::matrix_data(four));
  EXPECT_EQ(platform::run_frame(x, four), kMSPL);
  EXPECT_EQ(platform::matrix_info(out).dim[0], 320);
  EXPECT_EQ(platform::matrix_info(out).dim[1], 240);
  EXPECT_EQ(platform::lock_state(four), 0);

  void* floats = matrix(platform::new_matrix(_jit_sym_float32, 1, 1201, 1, 0, "in"));
  std::copy(row.begin(), row.end(), platform::matrix_data(floats));
  platform::matrix_data(floats)[0] = 0;  // width 64
  platform::matrix_data(floats)[1] = 64;
  EXPECT_EQ(platform::run_frame(x, floats), kMSTP);
  EXPECT_EQ(platform::matrix_info(out).dim[0], 64);

  void* in = matrix(row_matrix({row}));
  EXPECT_EQ(platform::matrix_calc(x, {in}, {nullptr}), kINVP);
  EXPECT_EQ(platform::matrix_calc(x, {nullptr}, {out}), kINVP);
  EXPECT_EQ(platform::matrix_calc_on("jit_quarnopen", nullptr, {in}, {out}), kINVP);
  EXPECT_EQ(platform::lock_calls(in), 0);
  EXPECT_TRUE(platform::take_errors().empty());

  platform::start_trace();
  ASSERT_EQ(platform::run_frame(x, in), 0);
  EXPECT_EQ(lock_events(platform::take_trace()),
            (std::vector<std::string>{"in lock 1", "out1 lock 1", "out1 lock 0", "in lock 0"}));
}

// Rows the decoder cannot take are refused with EROR and one message; the
// host keeps running and the next good frame is decoded.
struct BadInput {
  const char* name;
  std::vector<std::vector<uint8_t>> rows;  // empty: a matrix without rows
  double bitrate;
  const char* message;
};

void PrintTo(const BadInput& b, std::ostream* os) { *os << b.name; }

class DecoderRefusal : public PluginTest, public ::testing::WithParamInterface<BadInput> {};

TEST_P(DecoderRefusal, RefusesWithOneMessageAndRecovers) {
  const BadInput& b = GetParam();
  void* x = instance(kOpen);
  ASSERT_TRUE(platform::set_attribute(x, "bitrate", b.bitrate));
  void* bad = matrix(b.rows.empty() ? platform::new_matrix(_jit_sym_char, 1, 4804, 0, 0, "in")
                                    : row_matrix(b.rows));
  EXPECT_EQ(platform::run_frame(x, bad), kEROR);
  EXPECT_EQ(platform::take_errors(), std::vector<std::string>{b.message});
  EXPECT_EQ(platform::lock_state(bad), 0);

  ASSERT_TRUE(platform::set_attribute(x, "bitrate", 0.5));
  const std::vector<uint8_t> good = coded_row(64, 48);
  void* in = matrix(row_matrix({good}));
  ASSERT_EQ(platform::run_frame(x, in), 0);
  EXPECT_EQ(rgb_of(platform::output_matrix(x)), decode_row(good, 0.5).pixels);
  EXPECT_TRUE(platform::take_errors().empty());
}

std::vector<BadInput> bad_inputs() {
  const std::vector<uint8_t> row = coded_row(320, 240);
  std::vector<uint8_t> not_n = row;
  not_n[4] = 'N';
  std::vector<uint8_t> small = row;
  small[0] = 0;
  small[1] = 20;
  std::vector<uint8_t> large = row;
  large[0] = 9000 / 256;
  large[1] = 9000 % 256;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  return {
      {"no_rows", {}, 0.5, "jit.quarnopen: the input matrix has no rows"},
      {"three_bytes", {{0x01, 0x40, 0x00}}, 0.5,
       "jit.quarnopen: coded row is 3 bytes, shorter than its size prefix and header (31 bytes)"},
      {"prefix_and_part_of_header",
       {std::vector<uint8_t>(row.begin(), row.begin() + 30)}, 0.5,
       "jit.quarnopen: coded row is 30 bytes, shorter than its size prefix and header (31 bytes)"},
      {"not_n", {not_n}, 0.5, "jit.quarnopen: invalid < Decoder > file: the stream does not start with the byte \"n\""},
      {"prefix_too_small", {small}, 0.5,
       "jit.quarnopen: size prefix: image is 20x240; the smallest size is 32x32"},
      {"prefix_too_large", {large}, 0.5,
       "jit.quarnopen: size prefix: image is 9000x240; the largest size is 8192x8192"},
      {"header_differs", {with_header_size(row, 321, 240)}, 0.5,
       "jit.quarnopen: stream header says 321x240 but its size prefix says 320x240"},
      {"header_too_small", {with_header_size(row, 320, 20)}, 0.5,
       "jit.quarnopen: stream header says 320x20 but its size prefix says 320x240"},
      {"bad_second_row", {row, not_n}, 0.5,
       "jit.quarnopen: row 1: invalid < Decoder > file: the stream does not start with the byte \"n\""},
      {"nan_bitrate", {row}, nan, "jit.quarnopen: bitrate is not a finite number"},
      {"zero_bitrate", {row}, 0.0, "jit.quarnopen: bitrate 0 is not positive"},
      {"negative_bitrate", {row}, -2.0, "jit.quarnopen: bitrate -2 is not positive"},
  };
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DecoderRefusal, ::testing::ValuesIn(bad_inputs()),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

class PluginGolden : public PluginTest, public ::testing::WithParamInterface<GoldenCase> {};

// A frame through both plug-ins: the encoder's row and the decoder's pixels
// as the library gives them, each pinned by hash.
TEST_P(PluginGolden, RowAndPixelsEqualTheLibraryAndTheirHashes) {
  const GoldenCase& c = GetParam();
  void* pack = instance(kPack);
  void* open = instance(kOpen);
  ASSERT_TRUE(platform::set_attribute(pack, "bitrate", c.bitrate));
  ASSERT_TRUE(platform::set_attribute(open, "bitrate", c.bitrate));
  const RgbImage p = test_picture(c.width, c.height, static_cast<uint32_t>(c.width));
  void* image = matrix(image_matrix(p));
  ASSERT_EQ(platform::run_frame(pack, image), 0);
  const std::vector<uint8_t> row = first_row(platform::output_matrix(pack));
  const std::size_t cells = row_cells(c.width, c.height, c.bitrate);
  EXPECT_EQ(row.size(), cells);
  EXPECT_EQ(row, encode_row(p, c.bitrate, cells));
  EXPECT_EQ(fnv1a(row), c.row_hash) << std::hex << fnv1a(row);

  ASSERT_EQ(platform::run_frame(open, platform::output_matrix(pack)), 0);
  const std::vector<uint8_t> rgb = rgb_of(platform::output_matrix(open));
  EXPECT_TRUE(plane0_all_255(platform::output_matrix(open)));
  EXPECT_EQ(rgb, decode_row(row, c.bitrate).pixels);
  EXPECT_EQ(fnv1a(rgb), c.pixel_hash) << std::hex << fnv1a(rgb);
}

INSTANTIATE_TEST_SUITE_P(Frames, PluginGolden, ::testing::ValuesIn(golden_cases()));

#if defined(QUARN_HAVE_IMAGEIO)
// The bundled photograph through both plug-ins, as a patch would carry it
// from one to the other: the same bytes and pixels as the library gives.
TEST_F(DecoderPlugin, SamplePhotoEndToEndEqualsTheLibrary) {
  const RgbImage p = load_sample();
  ASSERT_GT(p.width, 0);

  void* pack = instance(kPack);
  void* open = instance(kOpen);
  void* in = matrix(image_matrix(p));
  ASSERT_EQ(platform::run_frame(pack, in), 0);
  const std::vector<uint8_t> row = first_row(platform::output_matrix(pack));
  EXPECT_EQ(row, encode_row(p, 0.5, row.size()));
  ASSERT_EQ(platform::run_frame(open, platform::output_matrix(pack)), 0);
  const std::vector<uint8_t> rgb = rgb_of(platform::output_matrix(open));
  EXPECT_EQ(rgb, decode_row(row, 0.5).pixels);
  EXPECT_GT(psnr(p.pixels, rgb), 30.0);
}

// The plug-ins and the quarn tool on the bundled photograph at 0.5 bits per
// pixel: the encoder's row holds the tool's stream file (and one cell more,
// as its length rule gives here), and the decoder, given that file, gives the
// tool's pixels at the stream's rate and above it, where both decode the
// whole stream. The golden hashes carry this to the builds without the tool.
TEST_F(DecoderPlugin, SamplePhotoEqualsTheToolsFileAndPixels) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::temp_directory_path() / ("quarn_plugin_tool_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const auto run = [&](const std::string& args) {
    const std::string command = "cd '" + dir.string() + "' && '" QUARN_BINARY "' " + args +
                                " 2>/dev/null";
    return std::system(command.c_str());
  };
  ASSERT_EQ(run("encode '" QUARN_SAMPLE "' k.qrn -b 0.5"), 0);
  ASSERT_EQ(run("decode k.qrn k.ppm -b 0.5"), 0);
  ASSERT_EQ(run("decode k.qrn above.ppm -b 2"), 0);
  const std::vector<uint8_t> file = read_file((dir / "k.qrn").string());
  RgbImage tool_pixels;
  RgbImage tool_above;
  ASSERT_EQ(read_pnm(read_file((dir / "k.ppm").string()), &tool_pixels), "");
  ASSERT_EQ(read_pnm(read_file((dir / "above.ppm").string()), &tool_above), "");
  fs::remove_all(dir);

  void* pack = instance(kPack);
  ASSERT_EQ(platform::run_frame(pack, matrix(image_matrix(load_sample()))), 0);
  const std::vector<uint8_t> row = first_row(platform::output_matrix(pack));
  ASSERT_EQ(row.size(), file.size() + 1);
  EXPECT_TRUE(std::equal(file.begin(), file.end(), row.begin()));

  void* in = matrix(row_matrix({file}));
  for (const double rate : {0.5, 1.0, 2.0}) {
    void* open = instance(kOpen);
    ASSERT_TRUE(platform::set_attribute(open, "bitrate", rate));
    ASSERT_EQ(platform::run_frame(open, in), 0);
    EXPECT_EQ(rgb_of(platform::output_matrix(open)), tool_pixels.pixels) << rate;
  }
  EXPECT_EQ(tool_above.pixels, tool_pixels.pixels);
}
#endif

TEST_F(DecoderPlugin, ThreadsTwoInstancesAtOnceGiveIdenticalImages) {
  const std::vector<uint8_t> row = coded_row(160, 128, 1.0);
  const std::vector<uint8_t> expected = decode_row(row, 1.0).pixels;
  const auto images = frames_on_two_threads(kOpen, "@bitrate 1.0", [&] { return row_matrix({row}); },
                                            rgb_of);
  for (std::size_t i = 0; i < images.size(); ++i) EXPECT_EQ(images[i], expected) << "frame " << i;
}

}  // namespace

}  // namespace quarn
