// jit.quarnpack driven through the stand-in host: registration, sizing and
// checks of matrix_calc, refused frames, and threads. Its golden rows are
// pinned with the decoder's pixels in decoder_plugin_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

#include "host/encoder_row.h"
#include "host/plugin_records.h"
#include "tests/plugin_harness.h"

namespace quarn {

namespace {

using namespace plugin_test;

class EncoderPlugin : public PluginTest {};

TEST_F(EncoderPlugin, BothPluginsRegisterAsTheHostExpects) {
  const std::pair<const char*, const char*> plugins[] = {{"jit_quarnpack", kPack},
                                                         {"jit_quarnopen", kOpen}};
  for (const char* path : {QUARN_PACK_MODULE, QUARN_OPEN_MODULE}) {
    platform::Module m;
    ASSERT_EQ(platform::load_module(path, &m), "");
    EXPECT_EQ(m.entry, "ext_main") << path;
  }
  for (const auto& [jit_name, max_name] : plugins) {
    SCOPED_TRACE(max_name);
    const platform::ClassInfo jit = platform::jit_class_info(jit_name);
    ASSERT_TRUE(jit.found);
    EXPECT_EQ(jit.size, static_cast<long>(sizeof(t_jit_quarn)));
    EXPECT_EQ(jit.methods, std::vector<std::string>{"matrix_calc/9"});
    ASSERT_EQ(jit.attributes.size(), 1u);
    const platform::AttributeInfo& a = jit.attributes[0];
    EXPECT_EQ(a.name, "bitrate");
    EXPECT_EQ(a.type, "float64");
    EXPECT_EQ(a.flags, 0x08040000L);
    EXPECT_EQ(a.offset, static_cast<long>(offsetof(t_jit_quarn, bitrate)));
    EXPECT_FALSE(a.has_getter || a.has_setter);
    EXPECT_EQ(jit.mop_inputs, 1);
    EXPECT_EQ(jit.mop_outputs, 1);
    EXPECT_EQ(jit.mop_types, std::vector<std::string>{"char"});
    EXPECT_EQ(jit.output_planelink, 0);

    const platform::ClassInfo max = platform::max_class_info(max_name);
    ASSERT_TRUE(max.found);
    EXPECT_EQ(max.size, static_cast<long>(sizeof(t_max_jit_quarn)));
    EXPECT_EQ(max.obex_offset, static_cast<long>(offsetof(t_max_jit_quarn, obex)));
    EXPECT_EQ(max.new_types, std::vector<int>{8});
    EXPECT_EQ(max.wrapped, jit_name);
    EXPECT_TRUE(max.mop_wrapped && max.standard_wrapped);
    EXPECT_EQ(max.methods, std::vector<std::string>{"assist/9"});

    void* x = instance(max_name);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(platform::assist(x, 1, 0), "(matrix) inlet 1");
    // One inlet for the image or row; the output matrix's outlet, then the
    // dumpout outlet.
    const platform::Ports ports = platform::ports(x);
    EXPECT_EQ(ports.inlets, 1);
    EXPECT_EQ(ports.outlets, (std::vector<std::string>{"jit_matrix", ""}));
  }
  EXPECT_TRUE(platform::take_errors().empty());
}

TEST_F(EncoderPlugin, FreshInstanceCodesAt05BitsPerPixel) {
  void* x = instance(kPack);
  ASSERT_NE(x, nullptr);
  double rate = 0.0;
  ASSERT_TRUE(platform::get_attribute(x, "bitrate", &rate));
  EXPECT_EQ(rate, 0.5);
  void* out = platform::output_matrix(x);
  const t_jit_matrix_info made = platform::matrix_info(out);
  EXPECT_EQ(made.type, _jit_sym_char);
  EXPECT_EQ(made.planecount, 1);
  EXPECT_EQ(made.dimcount, 2);

  const RgbImage p = test_picture(256, 256);
  void* in = matrix(image_matrix(p));
  ASSERT_EQ(platform::run_frame(x, in), 0);
  const std::vector<uint8_t> row = first_row(out);
  ASSERT_EQ(row.size(), 4100u);
  EXPECT_EQ(platform::matrix_info(out).dim[1], 1);
  EXPECT_EQ(std::vector<uint8_t>(row.begin(), row.begin() + 5),
            (std::vector<uint8_t>{0x01, 0x00, 0x01, 0x00, 'n'}));
  EXPECT_EQ(row, encode_row(p, 0.5, row.size()));
  EXPECT_TRUE(platform::take_errors().empty());
}

TEST_F(EncoderPlugin, CreationArgumentsSetTheBitrate) {
  void* x = instance(kPack, "@bitrate 0.25");
  ASSERT_NE(x, nullptr);
  double rate = 0.0;
  ASSERT_TRUE(platform::get_attribute(x, "bitrate", &rate));
  EXPECT_EQ(rate, 0.25);
  const RgbImage p = test_picture(256, 256);
  void* in = matrix(image_matrix(p));
  ASSERT_EQ(platform::run_frame(x, in), 0);
  EXPECT_EQ(first_row(platform::output_matrix(x)), encode_row(p, 0.25, 2052));

  // An integer value counts too; a misspelt attribute is reported and the
  // object is still made.
  x = instance(kPack, "@bitrate 2 @bitrat 1");
  ASSERT_NE(x, nullptr);
  ASSERT_TRUE(platform::get_attribute(x, "bitrate", &rate));
  EXPECT_EQ(rate, 2.0);
  EXPECT_EQ(platform::take_errors(),
            std::vector<std::string>{"jit.quarnpack: no attribute \"bitrat\""});
}

TEST_F(EncoderPlugin, MatrixProblemsGiveTheHostCodes) {
  void* x = instance(kPack);
  void* out = platform::output_matrix(x);
  const RgbImage p = test_picture(256, 256);

  // Three planes: the output row is sized first, then the plane count fails.
  void* three = matrix(platform::new_matrix(_jit_sym_char, 3, 256, 256, 0, "in"));
  EXPECT_EQ(platform::run_frame(x, three), kMSPL);
  EXPECT_EQ(platform::matrix_info(out).dim[0], 4100);
  EXPECT_EQ(platform::matrix_info(out).dim[1], 1);
  EXPECT_EQ(first_row(out), std::vector<uint8_t>(4100, 0));
  EXPECT_EQ(platform::lock_state(three), 0);

  void* floats = matrix(platform::new_matrix(_jit_sym_float32, 4, 64, 64, 0, "in"));
  EXPECT_EQ(platform::run_frame(x, floats), kMSTP);
  EXPECT_EQ(platform::matrix_info(out).dim[0], 260);

  // No output, or no input: nothing is locked.
  void* in = matrix(image_matrix(p));
  EXPECT_EQ(platform::matrix_calc(x, {in}, {nullptr}), kINVP);
  EXPECT_EQ(platform::matrix_calc(x, {in}, {}), kINVP);
  EXPECT_EQ(platform::lock_calls(in), 0);
  EXPECT_EQ(platform::matrix_calc(x, {nullptr}, {out}), kINVP);
  EXPECT_EQ(platform::matrix_calc_on("jit_quarnpack", nullptr, {in}, {out}), kINVP);

  // Checks report through the codes only.
  EXPECT_TRUE(platform::take_errors().empty());
}

TEST_F(EncoderPlugin, LocksInputThenOutputAndRestoresTheirStates) {
  void* x = instance(kPack);
  void* out = platform::output_matrix(x);
  void* in = matrix(image_matrix(test_picture(64, 64)));
  jit_object_method(in, _jit_sym_lock, 1L);  // the host may hold it already

  platform::start_trace();
  ASSERT_EQ(platform::run_frame(x, in), 0);
  const std::vector<std::string> trace = platform::take_trace();
  EXPECT_EQ(lock_events(trace), (std::vector<std::string>{"in lock 1", "out1 lock 1",
                                                          "out1 lock 0", "in lock 1"}));
  EXPECT_EQ(platform::lock_state(in), 1);
  EXPECT_EQ(platform::lock_state(out), 0);
  // The output is sized before any data pointer is taken.
  const auto setinfo = std::find(trace.begin(), trace.end(), "out1 setinfo 260x1 1 char");
  const auto getdata = std::find(trace.begin(), trace.end(), "in getdata");
  EXPECT_LT(setinfo, getdata);

  // A refused frame unlocks as well.
  platform::set_attribute(x, "bitrate", -1.0);
  platform::start_trace();
  EXPECT_EQ(platform::run_frame(x, in), kEROR);
  EXPECT_EQ(lock_events(platform::take_trace()).back(), "in lock 1");
  EXPECT_EQ(platform::lock_state(out), 0);
  platform::take_errors();
}

TEST_F(EncoderPlugin, ReadsRowsAtTheirStrideAndIgnoresAlpha) {
  void* x = instance(kPack);
  const RgbImage p = test_picture(96, 80);
  void* plain = matrix(image_matrix(p));
  ASSERT_EQ(platform::run_frame(x, plain), 0);
  const std::vector<uint8_t> expected = first_row(platform::output_matrix(x));
  ASSERT_EQ(expected, encode_row(p, 0.5, expected.size()));

  struct Layout {
    long padding;
    uint8_t alpha;
  };
  for (const Layout layout : {Layout{36, 255}, Layout{1, 0}, Layout{0, 17}}) {
    SCOPED_TRACE(layout.padding);
    void* in = matrix(image_matrix(p, layout.padding, layout.alpha, 0xEE));
    EXPECT_EQ(platform::matrix_info(in).dimstride[1], 96 * 4 + layout.padding);
    ASSERT_EQ(platform::run_frame(x, in), 0);
    EXPECT_EQ(first_row(platform::output_matrix(x)), expected);
  }
}

// A row one byte shorter than the stream: the row is filled, never overrun.
TEST_F(EncoderPlugin, StreamLongerThanTheRowIsCutToIt) {
  void* x = instance(kPack);
  ASSERT_TRUE(platform::set_attribute(x, "bitrate", 0.7));
  const RgbImage p = test_picture(40, 264);
  void* in = matrix(image_matrix(p));
  ASSERT_EQ(platform::run_frame(x, in), 0);
  const std::vector<uint8_t> row = first_row(platform::output_matrix(x));
  ASSERT_EQ(row.size(), 927u);
  const std::vector<uint8_t> full = encode_row(p, 0.7, 928);
  EXPECT_EQ(row, std::vector<uint8_t>(full.begin(), full.end() - 1));
}

// A row one cell longer than the stream: at 320x240 and 0.5 the row rule
// gives 4804 cells and B is 4799. The last cell is zero, whatever the host
// left in the row before.
TEST_F(EncoderPlugin, CellPastTheStreamIsZeroed) {
  void* x = instance(kPack);
  const RgbImage p = test_picture(320, 240);
  void* in = matrix(image_matrix(p));
  void* out = platform::output_matrix(x);
  ASSERT_EQ(platform::run_frame(x, in), 0);
  ASSERT_EQ(platform::matrix_info(out).dim[0], 4804);
  std::memset(platform::matrix_data(out), 0xEE, platform::matrix_bytes(out));
  ASSERT_EQ(platform::run_frame(x, in), 0);
  const std::vector<uint8_t> row = first_row(out);
  ASSERT_EQ(row.size(), 4804u);
  const std::vector<uint8_t> file = encode_row(p, 0.5);
  ASSERT_EQ(file.size(), 4803u);
  EXPECT_TRUE(std::equal(file.begin(), file.end(), row.begin()));
  EXPECT_EQ(row.back(), 0);
}

// At the lowest rate the codec takes, the row still holds the whole header,
// so the decoder takes what the encoder made, also where the row is shorter
// than B + 4.
TEST_F(EncoderPlugin, RowAtTheLowestRateDecodes) {
  void* pack = instance(kPack);
  void* open = instance(kOpen);
  for (const auto& [w, h] : {std::pair{32, 83}, {33, 169}, {64, 64}, {768, 512}}) {
    const double lowest = host::lowest_row_bitrate(w, h);
    ASSERT_TRUE(platform::set_attribute(pack, "bitrate", lowest));
    ASSERT_TRUE(platform::set_attribute(open, "bitrate", lowest));
    void* in = matrix(image_matrix(test_picture(w, h)));
    ASSERT_EQ(platform::run_frame(pack, in), 0) << w << "x" << h;
    EXPECT_EQ(platform::run_frame(open, platform::output_matrix(pack)), 0) << w << "x" << h;
    EXPECT_TRUE(platform::take_errors().empty()) << w << "x" << h;
  }
}

// Frames the codec cannot take are refused with EROR and one message; the
// host keeps running and the next good frame is coded.
struct Refusal {
  const char* name;
  int32_t width;
  int32_t height;
  double bitrate;
  const char* message;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class EncoderRefusal : public PluginTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(EncoderRefusal, RefusesWithOneMessageAndRecovers) {
  const Refusal& r = GetParam();
  void* x = instance(kPack);
  ASSERT_TRUE(platform::set_attribute(x, "bitrate", r.bitrate));
  void* bad = matrix(image_matrix(test_picture(r.width, r.height)));
  EXPECT_EQ(platform::run_frame(x, bad), kEROR);
  EXPECT_EQ(platform::take_errors(), std::vector<std::string>{r.message});
  EXPECT_EQ(platform::lock_state(bad), 0);

  ASSERT_TRUE(platform::set_attribute(x, "bitrate", 1.0));
  const RgbImage good = test_picture(64, 48);
  void* in = matrix(image_matrix(good));
  ASSERT_EQ(platform::run_frame(x, in), 0);
  EXPECT_EQ(first_row(platform::output_matrix(x)), encode_row(good, 1.0, 388));
  EXPECT_TRUE(platform::take_errors().empty());
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Frames, EncoderRefusal,
    ::testing::Values(
        Refusal{"narrow", 31, 64, 0.5,
                "jit.quarnpack: image is 31x64; the smallest size is 32x32"},
        Refusal{"short", 64, 8, 0.5, "jit.quarnpack: image is 64x8; the smallest size is 32x32"},
        Refusal{"wide", 8193, 32, 0.5,
                "jit.quarnpack: image is 8193x32; the largest size is 8192x8192"},
        Refusal{"nan", 64, 64, kNaN, "jit.quarnpack: bitrate is not a finite number"},
        Refusal{"infinite", 64, 64, kInf, "jit.quarnpack: bitrate is not a finite number"},
        Refusal{"zero", 64, 64, 0.0, "jit.quarnpack: bitrate 0 is not positive"},
        Refusal{"negative", 64, 64, -0.5, "jit.quarnpack: bitrate -0.5 is not positive"},
        Refusal{"huge", 64, 64, 1e300,
                "jit.quarnpack: bitrate 1e+300 is above the largest, 64 bits per pixel"},
        Refusal{"below_header", 64, 64, 0.05,
                "jit.quarnpack: bitrate 0.05 is too low to hold the stream header at 64x64; "
                "the lowest that works is 0.0527344"},
        // B is 27 here, but the row of 30 cells would cut the header's last byte.
        Refusal{"header_cut_by_row", 32, 83, 0.0813253,
                "jit.quarnpack: bitrate 0.0813253 is too low to hold the stream header at "
                "32x83; the lowest that works is 0.0813254"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

// Two instances share the module's one codec record; frames coded on two
// threads at once must come out as if coded one after the other.
TEST_F(EncoderPlugin, ThreadsTwoInstancesAtOnceGiveIdenticalRows) {
  const RgbImage p = test_picture(192, 160);
  const std::vector<uint8_t> expected = encode_row(p, 0.75, 2884);
  const auto rows = frames_on_two_threads(kPack, "@bitrate 0.75", [&] { return image_matrix(p); },
                                          first_row);
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i], expected) << "frame " << i;
}

}  // namespace

}  // namespace quarn
